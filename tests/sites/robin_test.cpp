// robin.so against a fixture board site: page 1 by the board's address, later
// pages by the pager link found on page 1 of each board.
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>

#include "fetch_harness.h"
#include "robin_pages.h"
#include "site_harness.h"

namespace {

using fetch_harness::Reply;
using robin_pages::Row;
using testing_support::FixtureReply;
using testing_support::FixtureServer;

// A row as served, with the date the plug-in must read from it.
struct Served {
    Row row;
    OleDate date;
};

// Dated `days` days before now at hour:minute local time; the site prints no
// year, so the plug-in has to infer it.
Served MakeRow(int id, int days, int hour, int minute, bool recommended = false) {
    const time_t when = std::time(nullptr) - static_cast<time_t>(days) * 24 * 3600;
    std::tm local{};
    localtime_r(&when, &local);
    Served served;
    served.row.id = id;
    served.row.month = local.tm_mon + 1;
    served.row.day = local.tm_mday;
    served.row.hour = hour;
    served.row.minute = minute;
    served.row.title = "剧集 第" + std::to_string(id) + "集 [中字]";
    served.row.recommended = recommended;
    served.row.size = std::to_string(id) + ".2GB";
    served.row.seeds = 20 + id;
    served.row.peers = id % 7;
    served.date =
        OleDate::FromFields(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, hour, minute);
    return served;
}

std::vector<Row> Rows(const std::vector<Served>& served) {
    std::vector<Row> rows;
    for (const Served& s : served) {
        rows.push_back(s.row);
    }
    return rows;
}

std::string Describe(const TorrentRecord& r) {
    return "AddDate=" + r.AddDate.Format() + " RefreshDate=" + r.RefreshDate.Format() +
           " Name=" + r.Name + " Addr0=" + r.Addr0 + " Addr1..3=" + r.Addr1 + r.Addr2 + r.Addr3 +
           " WebAddr=" + r.WebAddr + " Type=" + std::to_string(r.Type) + " Size=" + r.Size +
           " Seeds=" + std::to_string(r.Seeds) + " Peers=" + std::to_string(r.Peers) +
           " Comment=" + r.Comment + " bCompleted=" + std::to_string(r.bCompleted) +
           " FileName=" + r.FileName + " DownHd=" + std::to_string(r.DownHd) +
           " DllID=" + std::to_string(r.DllID);
}

// The detail page is also the torrent page; the title loses its colour but
// not the text, and the note after the link is not part of it.
std::string Expected(const Served& served, const std::string& base, int type,
                     const std::string& title = "") {
    TorrentRecord record;
    record.AddDate = served.date;
    record.RefreshDate = served.date;
    record.Name = "[robin]" + (title.empty() ? served.row.title : title);
    record.Addr0 = base + "Show.asp?ID=" + std::to_string(served.row.id);
    record.WebAddr = record.Addr0;
    record.Type = type;
    record.Size = served.row.size;
    record.Seeds = served.row.seeds;
    record.Peers = served.row.peers;
    return Describe(record);
}

std::vector<std::string> Described(const TorrentRecordArray& rows) {
    std::vector<std::string> out;
    for (const TorrentRecord& r : rows) {
        out.push_back(Describe(r));
    }
    return out;
}

std::string RefreshValue(const OleDate& date) {
    char text[64];
    std::snprintf(text, sizeof text, "%.9f", date.m_dt);
    return text;
}

class RobinSite : public ::testing::Test {
  protected:
    void Serve(const std::string& target, const std::string& page) {
        FixtureReply reply;
        reply.body = page;
        server_.Route(target, reply);
    }

    FixtureServer server_;
    const std::string base_ = server_.Url("/");
};

TEST_F(RobinSite, FollowsThePagerLinkUntilAPageBringsNothingNewer) {
    const Served refresh = MakeRow(0, 3, 12, 0);
    const std::vector<Served> page1 = {MakeRow(11, 1, 21, 5, true), MakeRow(12, 1, 9, 0),
                                       MakeRow(13, 2, 23, 59)};
    // A minute after the refresh date is new; the refresh date itself is not.
    const std::vector<Served> page2 = {MakeRow(14, 3, 12, 1), MakeRow(15, 3, 12, 0),
                                       MakeRow(16, 4, 8, 0)};
    const std::vector<Served> page3 = {MakeRow(17, 5, 8, 0)};
    const std::string prefix = robin_pages::PagerPrefix(1);
    Serve("/Index.asp?ClassID=1", robin_pages::Page(1, Rows(page1), 1, 5));
    Serve("/" + prefix + "2", robin_pages::Page(1, Rows(page2), 2, 5));
    Serve("/" + prefix + "3", robin_pages::Page(1, Rows(page3), 3, 5));
    Serve("/" + prefix + "4", robin_pages::Page(1, Rows(page3), 4, 5));

    site_harness::LoadedSite site("robin.so", base_);
    site.ClearPageRecord(2, 1, refresh.date);
    const TorrentRecordArray rows = site.RunSlot(2, 1);
    EXPECT_EQ(Described(rows),
              (std::vector<std::string>{
                  Expected(page1[0], base_, 2 * 256 + 1), Expected(page1[1], base_, 2 * 256 + 1),
                  Expected(page1[2], base_, 2 * 256 + 1), Expected(page2[0], base_, 2 * 256 + 1)}));
    EXPECT_EQ(
        server_.Targets(),
        (std::vector<std::string>{"/Index.asp?ClassID=1", "/" + prefix + "2", "/" + prefix + "3"}));
    for (const auto& request : server_.Requests()) {
        EXPECT_EQ(request.method, "GET");
        EXPECT_EQ(request.Header("referer"), base_);
    }

    // The stop adopted the newest row: nothing on page 1 is new any more.
    server_.ClearRequests();
    EXPECT_TRUE(site.RunSlot(2, 1).empty());
    EXPECT_EQ(server_.Targets(), std::vector<std::string>{"/Index.asp?ClassID=1"});

    ASSERT_FALSE(rows.empty());
    TorrentRecord record = rows[0];
    char* buffer = nullptr;
    int length = 0;
    EXPECT_EQ(site.WebIOCtl(&record, 1, 0, 0, &buffer, 0, &length), 1);
    ASSERT_NE(buffer, nullptr);
    const std::string frame =
        "<iframe src=\"" + record.WebAddr + "\" width=\"100%\" height=\"500\"></iframe>";
    EXPECT_EQ(std::string(buffer), frame);
    EXPECT_EQ(length, static_cast<int>(frame.size() + 1));
    std::free(buffer);

    site.Unload();
    EXPECT_NE(site.ReadRegistry().find("21=" + RefreshValue(page1[0].date)), std::string::npos)
        << site.ReadRegistry();
}

// A board whose page 1 has no pager has that one page: the pager of the
// board before it leads into another category.
TEST_F(RobinSite, EachBoardPagesOnlyThroughItsOwnPager) {
    std::vector<Served> first;
    const std::string prefix702 = robin_pages::PagerPrefix(702);
    for (int page = 1; page <= 10; ++page) {
        first.push_back(MakeRow(100 + page, 1, 23 - page, 0));
        Serve(page == 1 ? "/Index.asp?ClassID=702" : "/" + prefix702 + std::to_string(page),
              robin_pages::Page(702, {first.back().row}, page, 10));
    }
    const std::vector<Served> second = {MakeRow(201, 2, 10, 0), MakeRow(202, 2, 9, 0)};
    Serve("/Index.asp?ClassID=704", robin_pages::Page(704, Rows(second), 1, 1));

    site_harness::LoadedSite site("robin.so", base_);
    std::vector<int> progress;
    const TorrentRecordArray rows = site.RunSlot(1, 3, &progress);

    std::vector<std::string> expectedTargets = {"/Index.asp?ClassID=702"};
    for (int page = 2; page <= 8; ++page) {
        expectedTargets.push_back("/" + prefix702 + std::to_string(page));
    }
    expectedTargets.push_back("/Index.asp?ClassID=704");
    EXPECT_EQ(server_.Targets(), expectedTargets);

    std::vector<std::string> expectedRows;
    for (int page = 0; page < 8; ++page) {
        expectedRows.push_back(Expected(first[page], base_, 1 * 256 + 3));
    }
    expectedRows.push_back(Expected(second[0], base_, 1 * 256 + 3));
    expectedRows.push_back(Expected(second[1], base_, 1 * 256 + 3));
    EXPECT_EQ(Described(rows), expectedRows);

    // Eight pages of two boards make half the run.
    EXPECT_NE(std::find(progress.begin(), progress.end(), 50), progress.end());
    EXPECT_EQ(progress.back(), 100);

    // A run that begins with a board without a pager does not page through
    // the prefix an earlier run found.
    server_.ClearRequests();
    site.ClearPageRecord(1, 3, OleDate{});
    Serve("/Index.asp?ClassID=702", robin_pages::Page(702, {first[0].row}, 1, 1));
    EXPECT_EQ(site.RunSlot(1, 3).size(), 3u);
    EXPECT_EQ(server_.Targets(),
              (std::vector<std::string>{"/Index.asp?ClassID=702", "/Index.asp?ClassID=704"}));
}

TEST_F(RobinSite, SearchTakesEveryResultWithItsWholeTitle) {
    // Results of any age; the site marks new entries inside the title.
    Served marked = MakeRow(41, 40, 10, 0);
    marked.row.title = "英雄本色<span class=\"new\"><img src=\"images/new.gif\"></span> DVD";
    const Served recommended = MakeRow(42, 41, 9, 0, true);
    // 300 bytes as the site sends it, kept whole.
    Served whole = MakeRow(43, 200, 8, 0);
    whole.row.title.clear();
    for (int i = 0; i < 15; ++i) {
        whole.row.title += "英雄英雄英雄英雄英雄";
    }
    Serve("/Search.asp?SearchType=0&SearchClass=0&SearchText=%D3%A2%D0%DB",
          robin_pages::SearchPage({marked.row, recommended.row, whole.row}));

    site_harness::LoadedSite site("robin.so", base_);
    const TorrentRecordArray found = site.RunSearch("英雄");
    EXPECT_EQ(Described(found), (std::vector<std::string>{
                                    Expected(marked, base_, 0, "英雄本色 DVD"),
                                    Expected(recommended, base_, 0), Expected(whole, base_, 0)}));
    ASSERT_EQ(server_.Requests().size(), 1u);
    EXPECT_EQ(server_.Requests()[0].method, "GET");
    EXPECT_EQ(server_.Requests()[0].Header("referer"), base_);
}

TEST_F(RobinSite, FetchesTheTorrentItsDetailPageLinks) {
    const std::string first = fetch_harness::Torrent("robin 11");
    const std::string second = fetch_harness::Torrent("robin 12");
    Serve("/Show.asp?ID=11", robin_pages::DetailPage("剧集 11", {"/torrent/11.torrent"}));
    server_.Route("/torrent/11.torrent", Reply(first));
    // An absolute link is followed as it stands; one to another host is not
    // the site's.
    Serve("/Show.asp?ID=12",
          robin_pages::DetailPage("剧集 12", {"http://mirror.robin.example/torrent/12.torrent",
                                              base_ + "torrent/2005/12.torrent"}));
    server_.Route("/torrent/2005/12.torrent", Reply(second));
    Serve("/Show.asp?ID=13", robin_pages::DetailPage("剧集 13", {"Down.asp?ID=13"}));

    site_harness::LoadedSite site("robin.so", base_);
    TorrentRecord record;
    record.FileName = "剧集 11";
    record.Addr0 = base_ + "Show.asp?ID=11";
    EXPECT_EQ(fetch_harness::Fetch(site, record).statuses.back(), 100);
    EXPECT_EQ(fetch_harness::ReadTorrent(site, "剧集 11"), first);

    record = TorrentRecord{};
    record.FileName = "剧集 12";
    record.Addr0 = base_ + "Show.asp?ID=12";
    EXPECT_EQ(fetch_harness::Fetch(site, record).statuses.back(), 100);
    EXPECT_EQ(fetch_harness::ReadTorrent(site, "剧集 12"), second);

    // A detail page without a torrent link fails the fetch and leaves no lock.
    record = TorrentRecord{};
    record.FileName = "剧集 13";
    record.Addr0 = base_ + "Show.asp?ID=13";
    EXPECT_EQ(fetch_harness::Fetch(site, record).statuses.back(), -1);

    EXPECT_EQ(server_.Targets(),
              (std::vector<std::string>{"/Show.asp?ID=11", "/torrent/11.torrent", "/Show.asp?ID=12",
                                        "/torrent/2005/12.torrent", "/Show.asp?ID=13"}));
    for (const auto& request : server_.Requests()) {
        EXPECT_EQ(request.Header("referer"), base_);
    }
    EXPECT_EQ(fetch_harness::TorrentFiles(site),
              (std::vector<std::string>{"剧集 11.torrent", "剧集 12.torrent"}));
}

}  // namespace
