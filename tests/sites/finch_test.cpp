// finch.so: listing, search with the end-tag check, direct torrent links.
#include <gtest/gtest.h>

#include "finch_pages.h"
#include "site_test_support.h"

namespace {

using fetch_harness::Reply;
using finch_pages::Row;
using testing_support::FixtureServer;

TEST(FinchSite, ListingAndSearchRowsWithoutTheirMarkup) {
    FixtureServer server;
    const std::string base = server.Url("/");
    const std::vector<Row> rows = {
        {"2024-05-03", base + "dl/1.torrent", "<strong><font color=red>仙剑</font></strong>",
         "1.2GB", 12, 3, true},
        {"2024-05-02", base + "dl/2.torrent", "大航海时代", "650MB", 0, 1, false},
    };
    server.Route("/index.html?page=1&filter=%D3%CE%CF%B7", Reply(finch_pages::Page(rows)));
    server.Route("/index.html?page=2&filter=%D3%CE%CF%B7", Reply(finch_pages::Page({})));
    // The site holds the connection open after its result page.
    server.Route("/index.html?search=%61%62%63%31",
                 fetch_harness::HeldOpen(finch_pages::Page(rows)));

    site_harness::LoadedSite site("finch.so", base);
    const TorrentRecordArray listed = site.RunSlot(1, 1);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].Name, "[finch]仙剑");
    EXPECT_EQ(listed[0].Addr0, base + "dl/1.torrent");
    EXPECT_EQ(listed[0].WebAddr, base);
    EXPECT_EQ(listed[0].AddDate.Format(), OleDate::FromFields(2024, 5, 3).Format());
    EXPECT_EQ(listed[0].Size, "1.2GB");
    EXPECT_EQ(listed[0].Seeds, 12);
    EXPECT_EQ(listed[0].Peers, 3);
    EXPECT_EQ(listed[0].Type, 1 * 256 + 1);

    const TorrentRecordArray found = site.RunSearch("abc1");
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[1].Name, "[finch]大航海时代");
    EXPECT_EQ(found[1].Type, 0);
    EXPECT_EQ(server.Targets().back(), "/index.html?search=%61%62%63%31");
}

TEST(FinchSite, ATorrentLinkIsSavedAsItIsAndAnErrorPageIsNot) {
    FixtureServer server;
    const std::string torrent = fetch_harness::Torrent("finch");
    server.Route("/dl/1.torrent", Reply(torrent));
    server.Route("/dl/2.torrent", Reply("<html>该种子已被删除</html>"));
    site_harness::LoadedSite site("finch.so", server.Url("/"));

    site_test::ExpectFetched(site, site_test::At(server.Url("/dl/1.torrent")), "仙剑", torrent);
    EXPECT_EQ(server.Requests().at(0).Header("referer"), server.Url("/"));

    const TorrentRecord gone = site_test::At(server.Url("/dl/2.torrent"));
    site_test::ExpectFetchFails(site, gone, "gone");
    EXPECT_EQ(fetch_harness::TorrentFiles(site), std::vector<std::string>{"仙剑.torrent"});

    site_test::ExpectNoComment(site, gone);
}

}  // namespace
