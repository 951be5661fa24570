// wren.so: posted search ended by its end tag, and the form some torrent
// links answer with.
#include <gtest/gtest.h>

#include "site_test_support.h"
#include "wren_pages.h"

namespace {

using fetch_harness::Reply;
using testing_support::FixtureServer;
using wren_site_pages::Row;

TEST(WrenSite, APostedSearchEndsAtTheEndTagOfItsPage) {
    FixtureServer server;
    const std::string base = server.Url("/");
    const testing_support::FixtureReply open = fetch_harness::HeldOpen(wren_site_pages::SearchPage(
        base, {{"05-03 21:30", "88", "<font color=#FF0000>[字幕组] 动画 12</font>", "简介<br>",
                "350MB", 40, 6}}));
    server.Route("/search.php?", open);
    site_harness::LoadedSite site("wren.so", base);
    fetch_harness::UseFakeClock(site, "wren.so");
    fetch_harness::g_now = OleDate::FromFields(2024, 6, 15, 12).ToUnixTime();

    const TorrentRecordArray found = site.RunSearch("动画 ab");
    ASSERT_EQ(found.size(), 1u);
    const auto request = server.Requests().at(0);
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.body, "key=%B6%AF%BB%AD%20%61%62&cateId=");
    EXPECT_EQ(request.Header("referer"), base);
    EXPECT_EQ(found[0].Name, "[wren][字幕组] 动画 12");
    EXPECT_EQ(found[0].Addr0, base + "download.php?id=88");
    EXPECT_EQ(found[0].WebAddr, base + "show.php?id=88");
    EXPECT_EQ(found[0].Comment, "简介<br>");
    EXPECT_EQ(found[0].AddDate.Format(), "2024-05-03 21:30:00");
    EXPECT_EQ(found[0].Seeds, 40);
    EXPECT_EQ(found[0].Peers, 6);
    EXPECT_EQ(found[0].Type, 0);
}

TEST(WrenSite, ATorrentLinkAnsweringWithAFormIsFollowedByItsPost) {
    FixtureServer server;
    const std::string base = server.Url("/");
    const std::string torrent = fetch_harness::Torrent("wren");
    server.Route("/download.php?id=88",
                 Reply(wren_site_pages::FormPage("download.php?do=post", "9f8e7d")));
    server.Route("/download.php?do=post", Reply(torrent));
    server.Route("/download.php?id=89", Reply(wren_site_pages::FormPage("x", "1")));
    server.Route("/x", Reply("<html>校验失败</html>"));
    site_harness::LoadedSite site("wren.so", base);

    site_test::ExpectFetched(site, site_test::At(base + "download.php?id=88"), "动画 12", torrent);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].method, "POST");
    EXPECT_EQ(requests[1].target, "/download.php?do=post");
    EXPECT_EQ(requests[1].body, "checksum=9f8e7d");
    EXPECT_EQ(requests[1].Header("referer"), base + "download.php?id=88");

    // A post that answers with a page again fails the fetch.
    site_test::ExpectFetchFails(site, site_test::At(base + "download.php?id=89"), "动画 13");
    EXPECT_EQ(fetch_harness::TorrentFiles(site), std::vector<std::string>{"动画 12.torrent"});
}

}  // namespace
