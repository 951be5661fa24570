// crane.so against a fixture discussion board: numbered board pages, several
// boards merged into one category, threads with a torrent attached.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "crane_pages.h"
#include "fetch_harness.h"
#include "site_harness.h"

namespace {

using crane_pages::Thread;
using testing_support::FixtureReply;
using testing_support::FixtureServer;

Thread MakeThread(int id, int month, int day, const std::string& style = "") {
    Thread thread;
    thread.id = id;
    thread.year = 2024;
    thread.month = month;
    thread.day = day;
    thread.title = "【BT】电影 " + std::to_string(id) + " [DVD中字]";
    thread.style = style;
    return thread;
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

// The thread is both the detail page and the page that holds the torrent;
// the board prints no size, seeds or peers.
std::string Expected(const Thread& thread, const std::string& base, int type) {
    TorrentRecord record;
    record.AddDate = OleDate::FromFields(thread.year, thread.month, thread.day);
    record.RefreshDate = record.AddDate;
    record.Name = "[crane]" + thread.title;
    record.Addr0 = base + "viewthread.php?tid=" + std::to_string(thread.id);
    record.WebAddr = record.Addr0;
    record.Type = type;
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
    return "/forumdisplay.php?fid=" + std::to_string(fid) + "&page=" + std::to_string(page);
}

std::string RefreshValue(const OleDate& date) {
    char text[64];
    std::snprintf(text, sizeof text, "%.9f", date.m_dt);
    return text;
}

class CraneSite : public ::testing::Test {
  protected:
    void Serve(int fid, int page, const std::vector<Thread>& threads) {
        FixtureReply reply;
        reply.body = crane_pages::Page(fid, threads);
        server_.Route(Target(fid, page), reply);
    }

    FixtureServer server_;
    const std::string base_ = server_.Url("/");
};

TEST_F(CraneSite, WalksTheBoardsOfACategoryInOrder) {
    const OleDate refresh = OleDate::FromFields(2024, 5, 1);
    const Thread a = MakeThread(2691, 6, 14, "font-weight: bold;color: #EE1B2E");
    const Thread b = MakeThread(2692, 6, 2);
    Thread discussion = MakeThread(2693, 6, 13);
    discussion.attachment = false;
    Serve(269, 1, {a, discussion, b});
    Serve(269, 2, {MakeThread(2694, 5, 1)});
    const Thread c = MakeThread(2661, 5, 20);
    Serve(266, 1, {c});
    Serve(266, 2, {discussion});
    Serve(247, 1, {discussion});
    // Board 137 fails on its second page; board 201 still follows.
    const Thread d = MakeThread(1371, 6, 1);
    Serve(137, 1, {d});
    const Thread e = MakeThread(2011, 5, 2);
    Serve(201, 1, {e});
    Serve(201, 2, {MakeThread(2012, 4, 30)});

    site_harness::LoadedSite site("crane.so", base_);
    site.ClearPageRecord(2, 1, refresh);
    std::vector<int> progress;
    const TorrentRecordArray rows = site.RunSlot(2, 1, &progress);

    EXPECT_EQ(server_.Targets(),
              (std::vector<std::string>{Target(269, 1), Target(269, 2), Target(266, 1),
                                        Target(266, 2), Target(247, 1), Target(137, 1),
                                        Target(137, 2), Target(201, 1), Target(201, 2)}));
    EXPECT_EQ(server_.Targets().at(2), "/forumdisplay.php?fid=266&page=1");
    for (const auto& request : server_.Requests()) {
        EXPECT_EQ(request.Header("referer"), base_);
    }
    const int type = 2 * 256 + 1;
    EXPECT_EQ(Described(rows),
              (std::vector<std::string>{Expected(a, base_, type), Expected(b, base_, type),
                                        Expected(c, base_, type), Expected(d, base_, type),
                                        Expected(e, base_, type)}));
    // Five boards of up to eight pages: each page with new threads adds 100
    // to 40 pages' worth.
    std::erase(progress, 0);
    EXPECT_EQ(progress, (std::vector<int>{2, 5, 7, 10, 100}));
}

TEST_F(CraneSite, OneBoardSlotStopsAtOldThreadsAndKeepsFullTitles) {
    Thread longTitle = MakeThread(2031, 6, 10);
    longTitle.title.clear();
    for (int i = 0; i < 13; ++i) {
        longTitle.title += "十个汉字的一段长标题";  // 20 GBK bytes
    }
    const Thread plain = MakeThread(2032, 6, 9);
    Serve(203, 1, {longTitle, plain});
    Serve(203, 2, {MakeThread(2033, 6, 9), MakeThread(2034, 6, 1)});

    site_harness::LoadedSite site("crane.so", base_);
    site.ClearPageRecord(1, 1, OleDate::FromFields(2024, 6, 9));
    const TorrentRecordArray rows = site.RunSlot(1, 1);
    EXPECT_EQ(Described(rows), (std::vector<std::string>{Expected(longTitle, base_, 1 * 256 + 1)}));
    EXPECT_EQ(server_.Targets(), (std::vector<std::string>{Target(203, 1), Target(203, 2)}));

    server_.ClearRequests();
    EXPECT_TRUE(site.RunSlot(1, 1).empty());
    EXPECT_EQ(server_.Targets(), std::vector<std::string>{Target(203, 1)});

    ASSERT_FALSE(rows.empty());
    TorrentRecord record = rows[0];
    char* buffer = nullptr;
    int length = 0;
    EXPECT_EQ(site.WebIOCtl(&record, 1, 0, 0, &buffer, 0, &length), 1);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(std::string(buffer),
              "<iframe src=\"" + record.WebAddr + "\" width=\"100%\" height=\"500\"></iframe>");
    std::free(buffer);

    site.Unload();
    EXPECT_NE(site.ReadRegistry().find("11=" + RefreshValue(record.AddDate)), std::string::npos)
        << site.ReadRegistry();
}

TEST_F(CraneSite, SearchesNothingAndFetchesTheThreadsAttachment) {
    site_harness::LoadedSite site("crane.so", base_);
    // No search of this board is known: a search ends at once, asking nothing.
    const SearchHandle handle = site.StartSearch("英雄");
    EXPECT_NE(handle, kNoSearch);
    EXPECT_EQ(site.GetSearchStatus(handle), 100);
    TorrentRecordArray none;
    EXPECT_EQ(site.GetSearchData(handle, &none), 1);
    EXPECT_TRUE(none.empty());
    site.StopSearch(handle);
    EXPECT_TRUE(server_.Targets().empty());

    const Thread thread = MakeThread(2691, 6, 14);
    const std::string torrent = fetch_harness::Torrent("crane 2691");
    server_.Route("/viewthread.php?tid=2691",
                  fetch_harness::Reply(crane_pages::ThreadPage(thread, "attachment.php?aid=8812")));
    server_.Route("/attachment.php?aid=8812", fetch_harness::Reply(torrent));
    TorrentRecord record;
    record.FileName = "电影 2691";
    record.Addr0 = base_ + "viewthread.php?tid=2691";
    EXPECT_EQ(fetch_harness::Fetch(site, record).statuses.back(), 100);
    EXPECT_EQ(fetch_harness::ReadTorrent(site, "电影 2691"), torrent);
    EXPECT_EQ(server_.Targets(),
              (std::vector<std::string>{"/viewthread.php?tid=2691", "/attachment.php?aid=8812"}));
    for (const auto& request : server_.Requests()) {
        EXPECT_EQ(request.Header("referer"), base_);
    }
}

}  // namespace
