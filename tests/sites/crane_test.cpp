// crane.so against a fixture discussion board: numbered board pages, several
// boards merged into one category, threads with a torrent attached.
#include <gtest/gtest.h>

#include "crane_pages.h"
#include "site_test_support.h"

namespace {

using crane_pages::Thread;
using site_test::Described;

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

// The thread is both the detail page and the page that holds the torrent;
// the board prints no size, seeds or peers.
std::string Expected(const Thread& thread, const std::string& base, int type) {
    TorrentRecord record = site_test::Listed(
        "crane", thread.title, OleDate::FromFields(thread.year, thread.month, thread.day));
    record.Addr0 = base + "viewthread.php?tid=" + std::to_string(thread.id);
    record.WebAddr = record.Addr0;
    record.Type = type;
    return site_test::Describe(record);
}

std::string Target(int fid, int page) {
    return "/forumdisplay.php?fid=" + std::to_string(fid) + "&page=" + std::to_string(page);
}

class CraneSite : public site_test::SiteTest {
  protected:
    void Serve(int fid, int page, const std::vector<Thread>& threads) {
        SiteTest::Serve(Target(fid, page), crane_pages::Page(fid, threads));
    }
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
    ExpectReferred();
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

    ExpectRerunStopsAt(site, 1, 1, Target(203, 1));

    ASSERT_FALSE(rows.empty());
    const site_test::ShownComment shown = site_test::ShowComment(site, rows[0]);
    EXPECT_EQ(shown.result, 1);
    EXPECT_EQ(shown.text, site_test::Frame(rows[0].WebAddr));

    site.Unload();
    EXPECT_NE(site.ReadRegistry().find("11=" + site_test::RefreshValue(rows[0].AddDate)),
              std::string::npos)
        << site.ReadRegistry();
}

TEST_F(CraneSite, SearchesNothingAndFetchesTheThreadsAttachment) {
    site_harness::LoadedSite site("crane.so", base_);
    ExpectInertSearch(site);

    const Thread thread = MakeThread(2691, 6, 14);
    const std::string torrent = fetch_harness::Torrent("crane 2691");
    server_.Route("/viewthread.php?tid=2691",
                  fetch_harness::Reply(crane_pages::ThreadPage(thread, "attachment.php?aid=8812")));
    server_.Route("/attachment.php?aid=8812", fetch_harness::Reply(torrent));
    site_test::ExpectFetched(site, site_test::At(base_ + "viewthread.php?tid=2691"), "电影 2691",
                             torrent);
    EXPECT_EQ(server_.Targets(),
              (std::vector<std::string>{"/viewthread.php?tid=2691", "/attachment.php?aid=8812"}));
    ExpectReferred();
}

}  // namespace
