// robin.so against a fixture board site: page 1 by the board's address, later
// pages by the pager link found on page 1 of each board.
#include <gtest/gtest.h>

#include "robin_pages.h"
#include "site_test_support.h"

namespace {

using fetch_harness::Reply;
using robin_pages::Row;
using Served = site_test::Served<Row>;
using site_test::Described;
using site_test::Rows;

Served MakeRow(int id, int days, int hour, int minute, bool recommended = false) {
    Served served = site_test::ServedAt<Row>(id, days, hour, minute);
    served.row.title = "剧集 第" + std::to_string(id) + "集 [中字]";
    served.row.recommended = recommended;
    served.row.size = std::to_string(id) + ".2GB";
    served.row.seeds = 20 + id;
    served.row.peers = id % 7;
    return served;
}

// The detail page is also the torrent page; the title loses its colour but
// not the text, and the note after the link is not part of it.
std::string Expected(const Served& served, const std::string& base, int type,
                     const std::string& title = "") {
    TorrentRecord record =
        site_test::Listed("robin", (title.empty() ? served.row.title : title), served.date);
    record.Addr0 = base + "Show.asp?ID=" + std::to_string(served.row.id);
    record.WebAddr = record.Addr0;
    record.Type = type;
    site_test::AddCounts(record, served.row);
    return site_test::Describe(record);
}

using RobinSite = site_test::SiteTest;

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
    ExpectReferred("GET");

    // The stop adopted the newest row: nothing on page 1 is new any more.
    ExpectRerunStopsAt(site, 2, 1, "/Index.asp?ClassID=1");

    ASSERT_FALSE(rows.empty());
    const site_test::ShownComment shown = site_test::ShowComment(site, rows[0]);
    const std::string frame = site_test::Frame(rows[0].WebAddr);
    EXPECT_EQ(shown.result, 1);
    EXPECT_EQ(shown.text, frame);
    EXPECT_EQ(shown.length, static_cast<int>(frame.size() + 1));

    site.Unload();
    EXPECT_NE(site.ReadRegistry().find("21=" + site_test::RefreshValue(page1[0].date)),
              std::string::npos)
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
    ExpectReferred("GET");
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
    site_test::ExpectFetched(site, site_test::At(base_ + "Show.asp?ID=11"), "剧集 11", first);
    site_test::ExpectFetched(site, site_test::At(base_ + "Show.asp?ID=12"), "剧集 12", second);

    // A detail page without a torrent link fails the fetch and leaves no lock.
    site_test::ExpectFetchFails(site, site_test::At(base_ + "Show.asp?ID=13"), "剧集 13");

    EXPECT_EQ(server_.Targets(),
              (std::vector<std::string>{"/Show.asp?ID=11", "/torrent/11.torrent", "/Show.asp?ID=12",
                                        "/torrent/2005/12.torrent", "/Show.asp?ID=13"}));
    ExpectReferred();
    EXPECT_EQ(fetch_harness::TorrentFiles(site),
              (std::vector<std::string>{"剧集 11.torrent", "剧集 12.torrent"}));
}

}  // namespace
