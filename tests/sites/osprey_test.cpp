// yarrow.so (site osprey): listing, search, and the file behind the numbered
// links of a detail page.
#include <gtest/gtest.h>

#include "osprey_pages.h"
#include "site_test_support.h"

namespace {

using fetch_harness::Reply;
using osprey_pages::Row;
using testing_support::FixtureServer;

TEST(OspreySite, ListingTitlesAreWholeAndSearchTitlesLoseTheirFont) {
    FixtureServer server;
    const std::string base = server.Url("/");
    const std::string longTitle(300, 'y');
    server.Route("/sort/6_1.htm",
                 Reply(osprey_pages::ListingPage({{"html/12.htm", longTitle, "2024-05-03", ""}})));
    server.Route("/sort/6_2.htm", Reply(osprey_pages::ListingPage({})));
    server.Route(
        "/search.asp?type=soft&k=%B5%E7%D3%B0",
        Reply(osprey_pages::SearchPage(
            {{"html/13.htm", "<font color=red>电影</font> 合集</font>", "2024-05-04", "2.1GB"}})));
    site_harness::LoadedSite site("yarrow.so", base);

    const TorrentRecordArray listed = site.RunSlot(2, 1);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].Name, "[osprey]" + longTitle);
    EXPECT_EQ(listed[0].WebAddr, base + "html/12.htm");
    EXPECT_EQ(listed[0].Addr0, base + "html/12.htm");
    EXPECT_EQ(listed[0].AddDate.Format(), "2024-05-03 00:00:00");
    EXPECT_EQ(listed[0].Size, "");

    const TorrentRecordArray found = site.RunSearch("电影");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].Name, "[osprey]电影 合集</font>");
    EXPECT_EQ(found[0].Addr0, base + "html/13.htm");
    EXPECT_EQ(found[0].Size, "2.1GB");
    EXPECT_EQ(found[0].Type, 0);
}

TEST(OspreySite, ALinkThatFailsGivesWayToTheNextAndALineBeforeTheFileIsSkipped) {
    FixtureServer server;
    const std::string base = server.Url("/");
    const std::string torrent = fetch_harness::Torrent("osprey");
    server.Route("/html/12.htm", Reply(osprey_pages::DetailPage("12")));
    server.Route("/down.asp?id=12&no=1", Reply("<html>服务器忙</html>"));
    // A line of its own before the file, and the connection left open after.
    server.Route("/down.asp?id=12&no=2",
                 fetch_harness::HeldOpen("OK 12\r\n" + torrent + "\r\n\r\n"));
    server.Route("/html/14.htm", Reply(osprey_pages::DetailPage("")));
    site_harness::LoadedSite site("yarrow.so", base);

    site_test::ExpectFetched(site, site_test::At(base + "html/12.htm"), "osprey 12", torrent);
    EXPECT_EQ(server.Targets(), (std::vector<std::string>{"/html/12.htm", "/down.asp?id=12&no=1",
                                                          "/down.asp?id=12&no=2"}));

    // A detail page without links ends the fetch; no address is made up.
    server.ClearRequests();
    site_test::ExpectFetchFails(site, site_test::At(base + "html/14.htm"), "osprey 14");
    EXPECT_EQ(server.Targets(), std::vector<std::string>{"/html/14.htm"});
    EXPECT_EQ(fetch_harness::TorrentFiles(site), std::vector<std::string>{"osprey 12.torrent"});
}

TEST(OspreySite, AStalledLinkGivesWayAfterAMinute) {
    FixtureServer server;
    const std::string base = server.Url("/");
    const std::string torrent = fetch_harness::Torrent("osprey");
    server.Route("/html/12.htm", Reply(osprey_pages::DetailPage("12")));
    testing_support::FixtureReply hanging = Reply(torrent);
    hanging.stallAfterBytes = 0;
    server.Route("/down.asp?id=12&no=1", hanging);
    server.Route("/down.asp?id=12&no=2", Reply(torrent));
    site_harness::LoadedSite site("yarrow.so", base);
    fetch_harness::UseFakeClock(site, "yarrow.so");
    std::filesystem::create_directories(fetch_harness::Torrents(site));

    TorrentRecord record;
    record.FileName = "osprey";
    record.Addr0 = base + "html/12.htm";
    record.DownHd = site.StartDownTFile(&record);
    ASSERT_EQ(record.DownHd, 1);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (server.Targets().size() < 2 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        EXPECT_EQ(site.GetDownTFileStatus(&record), 0);
    }
    fetch_harness::g_now += 60;
    EXPECT_EQ(site.GetDownTFileStatus(&record), 0);
    EXPECT_EQ(server.Targets().size(), 2u);
    fetch_harness::g_now += 1;
    int status = site.GetDownTFileStatus(&record);
    while (status == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        status = site.GetDownTFileStatus(&record);
    }
    EXPECT_EQ(status, 100);
    EXPECT_EQ(server.Targets().back(), "/down.asp?id=12&no=2");
    EXPECT_EQ(fetch_harness::ReadTorrent(site, "osprey"), torrent);
}

}  // namespace
