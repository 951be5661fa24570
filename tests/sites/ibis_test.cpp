// ibis.so against a fixture tracker: pages numbered per forum id, two forums
// merged into some categories.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "fetch_harness.h"
#include "ibis_pages.h"
#include "site_harness.h"

namespace {

using ibis_pages::Row;
using testing_support::FixtureReply;
using testing_support::FixtureServer;

struct Served {
    Row row;
    OleDate date;
};

// Dated `days` days before now at hour:minute; the site prints no year.
Served MakeRow(int id, int days, int hour, int minute) {
    const time_t when = std::time(nullptr) - static_cast<time_t>(days) * 24 * 3600;
    std::tm local{};
    localtime_r(&when, &local);
    Served served;
    served.row.id = id;
    served.row.month = local.tm_mon + 1;
    served.row.day = local.tm_mday;
    served.row.hour = hour;
    served.row.minute = minute;
    served.row.title = "[电影] 片名" + std::to_string(id) + " (2004) DVDRip";
    served.row.size = std::to_string(id % 4 + 1) + ".37GB";
    served.row.seeds = 50 + id;
    served.row.peers = id % 11;
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

// Icons and colour are not part of the name; the detail page doubles as
// the comment.
std::string Expected(const Served& served, const std::string& base, int type,
                     const std::string& title = "") {
    TorrentRecord record;
    record.AddDate = served.date;
    record.RefreshDate = served.date;
    record.Name = "[ibis]" + (title.empty() ? served.row.title : title);
    record.Addr0 = base + "download.php?id=" + std::to_string(served.row.id);
    record.WebAddr = base + "view.php?id=" + std::to_string(served.row.id);
    record.Comment = record.WebAddr;
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

std::string Target(int fid, int page) {
    return "/index.php?language=cn&fid=" + std::to_string(fid) +
           "&title=&page_num_id=3&time_limit_id=1&page=" + std::to_string(page);
}

class IbisSite : public ::testing::Test {
  protected:
    void Serve(int fid, int page, const std::vector<Served>& rows) {
        FixtureReply reply;
        reply.body = ibis_pages::Page(fid, Rows(rows));
        server_.Route(Target(fid, page), reply);
    }

    FixtureServer server_;
    const std::string base_ = server_.Url("/");
};

TEST_F(IbisSite, FillsTheForumIdOfEachSectionAndPagesThrough) {
    const Served refresh = MakeRow(0, 3, 18, 0);
    Served featured = MakeRow(11, 1, 22, 40);
    featured.row.color = "#FF0000";
    featured.row.icons = 2;
    Served plain = MakeRow(12, 1, 13, 5);
    plain.row.icons = 1;
    const Served third = MakeRow(13, 3, 18, 1);
    Serve(1, 1, {featured, plain});
    Serve(1, 2, {third, MakeRow(14, 3, 18, 0)});
    Serve(1, 3, {MakeRow(15, 4, 9, 0)});
    const Served other = MakeRow(21, 2, 9, 30);
    Serve(2, 1, {other});
    Serve(2, 2, {});

    site_harness::LoadedSite site("ibis.so", base_);
    site.ClearPageRecord(2, 1, refresh.date);
    const TorrentRecordArray rows = site.RunSlot(2, 1);
    EXPECT_EQ(server_.Targets(), (std::vector<std::string>{Target(1, 1), Target(1, 2), Target(1, 3),
                                                           Target(2, 1), Target(2, 2)}));
    for (const auto& request : server_.Requests()) {
        EXPECT_EQ(request.Header("referer"), base_);
    }
    const int type = 2 * 256 + 1;
    EXPECT_EQ(Described(rows), (std::vector<std::string>{
                                   Expected(featured, base_, type), Expected(plain, base_, type),
                                   Expected(third, base_, type), Expected(other, base_, type)}));
}

TEST_F(IbisSite, OneForumSlotCutsLongTitlesAndStopsAtOldRows) {
    // 150 characters, 300 bytes as the site sends them: the first 240 bytes
    // are the first 120 characters.
    Served longTitle = MakeRow(31, 1, 10, 0);
    longTitle.row.title.clear();
    std::string cut;
    for (int i = 0; i < 15; ++i) {
        longTitle.row.title += "一二三四五六七八九十";
        if (i < 12) {
            cut += "一二三四五六七八九十";
        }
    }
    const Served next = MakeRow(32, 2, 10, 0);
    Serve(3, 1, {longTitle, next});
    Serve(3, 2, {MakeRow(33, 3, 10, 0)});

    site_harness::LoadedSite site("ibis.so", base_);
    site.ClearPageRecord(2, 3, MakeRow(0, 3, 10, 0).date);
    const TorrentRecordArray rows = site.RunSlot(2, 3);
    const int type = 2 * 256 + 3;
    EXPECT_EQ(Described(rows), (std::vector<std::string>{Expected(longTitle, base_, type, cut),
                                                         Expected(next, base_, type)}));
    EXPECT_EQ(server_.Targets(), (std::vector<std::string>{Target(3, 1), Target(3, 2)}));

    server_.ClearRequests();
    EXPECT_TRUE(site.RunSlot(2, 3).empty());
    EXPECT_EQ(server_.Targets(), std::vector<std::string>{Target(3, 1)});

    ASSERT_FALSE(rows.empty());
    TorrentRecord record = rows[0];
    char* buffer = nullptr;
    int length = 0;
    EXPECT_EQ(site.WebIOCtl(&record, 1, 0, 0, &buffer, 0, &length), 1);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(std::string(buffer),
              "<iframe src=\"" + record.WebAddr + "\" width=\"100%\" height=\"500\"></iframe>");
    std::free(buffer);
}

TEST_F(IbisSite, SearchEscapesEveryByteAndFetchesThroughTheDownloadPage) {
    Served featured = MakeRow(41, 30, 10, 0);
    featured.row.color = "#FF0000";
    const Served old = MakeRow(42, 300, 9, 0);
    FixtureReply results;
    results.body = ibis_pages::Page(0, Rows({featured, old}));
    server_.Route(
        "/index.php?language=cn&fid=0&title=%D3%A2%D0%DB%20%61%62&page_num_id=4&time_limit_id=1"
        "&submit=Go",
        results);
    const std::string torrent = fetch_harness::Torrent("ibis 41");
    server_.Route("/download.php?id=41", fetch_harness::Reply(ibis_pages::DownloadPage(
                                             "片名41", "torrent/200506/41.torrent")));
    server_.Route("/torrent/200506/41.torrent", fetch_harness::Reply(torrent));

    site_harness::LoadedSite site("ibis.so", base_);
    const TorrentRecordArray found = site.RunSearch("英雄 ab");
    EXPECT_EQ(Described(found),
              (std::vector<std::string>{Expected(featured, base_, 0), Expected(old, base_, 0)}));

    ASSERT_FALSE(found.empty());
    TorrentRecord record = found[0];
    record.FileName = "片名41";
    EXPECT_EQ(fetch_harness::Fetch(site, record).statuses.back(), 100);
    EXPECT_EQ(fetch_harness::ReadTorrent(site, "片名41"), torrent);
    EXPECT_EQ(server_.Targets().size(), 3u);
    EXPECT_EQ(server_.Targets().back(), "/torrent/200506/41.torrent");
    for (const auto& request : server_.Requests()) {
        EXPECT_EQ(request.Header("referer"), base_);
    }
}

}  // namespace
