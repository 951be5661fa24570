// larkspur.so (site lark): listing, posted search, the file's link found on
// the detail page.
#include <gtest/gtest.h>

#include "lark_pages.h"
#include "site_test_support.h"

namespace {

using fetch_harness::Reply;
using lark_pages::Row;
using testing_support::FixtureServer;

TEST(LarkSite, ListingAndPostedSearchRowsLinkTheirDetailPage) {
    FixtureServer server;
    const std::string base = server.Url("/");
    const std::vector<Row> rows = {{"show/31.html", "无间道", 5, 3, "700MB"},
                                   {"show/30.html", "英雄", 5, 2, "1.4GB"}};
    server.Route("/Class.asp?curpage=1&id=1", Reply(lark_pages::Page(rows)));
    server.Route("/Class.asp?curpage=2&id=1", Reply(lark_pages::Page({})));
    server.Route("/search.asp", Reply(lark_pages::Page({rows[1]})));
    site_harness::LoadedSite site("larkspur.so", base);
    fetch_harness::UseFakeClock(site, "larkspur.so");
    fetch_harness::g_now = OleDate::FromFields(2024, 6, 15, 12).ToUnixTime();

    const TorrentRecordArray listed = site.RunSlot(2, 1);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].Name, "[lark]无间道");
    EXPECT_EQ(listed[0].WebAddr, base + "show/31.html");
    EXPECT_EQ(listed[0].Addr0, base + "show/31.html");
    EXPECT_EQ(listed[0].Size, "700MB");
    EXPECT_EQ(listed[0].AddDate.Format(), "2024-05-03 00:00:00");

    server.ClearRequests();
    const TorrentRecordArray found = site.RunSearch("英雄");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].Name, "[lark]英雄");
    const auto request = server.Requests().at(0);
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.body, "searchKey=%D3%A2%D0%DB&D=30");
    EXPECT_EQ(request.Header("referer"), base + "search.asp");

    EXPECT_EQ(site_test::ShowComment(site, found[0]).text, site_test::Frame(base + "show/30.html"));
}

TEST(LarkSite, TheFileComesThroughTheLinkOnTheDetailPage) {
    FixtureServer server;
    const std::string base = server.Url("/");
    const std::string torrent = fetch_harness::Torrent("lark");
    server.Route("/show/31.html", Reply(lark_pages::DetailPage("show/Down.asp?id=31&t=9")));
    server.Route("/show/Down.asp?id=31&t=9", Reply(torrent));
    server.Route("/show/32.html", Reply(lark_pages::DetailPage("")));
    site_harness::LoadedSite site("larkspur.so", base);

    TorrentRecord record;
    record.Addr0 = record.WebAddr = base + "show/31.html";
    site_test::ExpectFetched(site, record, "无间道", torrent);
    ASSERT_EQ(server.Targets(),
              (std::vector<std::string>{"/show/31.html", "/show/Down.asp?id=31&t=9"}));
    EXPECT_EQ(server.Requests()[0].Header("referer"), base);
    EXPECT_EQ(server.Requests()[1].Header("referer"), base + "show/31.html");

    // A link that leads to yet another such page is not followed forever.
    server.Route("/show/33.html", Reply(lark_pages::DetailPage("show/Down.asp?id=33")));
    server.Route("/show/Down.asp?id=33", Reply(lark_pages::DetailPage("show/Down.asp?id=33")));
    server.ClearRequests();
    record.Addr0 = record.WebAddr = base + "show/33.html";
    site_test::ExpectFetchFails(site, record, "loop");
    EXPECT_EQ(server.Requests().size(), 4u);

    // A detail page without the link: the fetch fails and leaves no lock.
    record.Addr0 = record.WebAddr = base + "show/32.html";
    site_test::ExpectFetchFails(site, record, "英雄");
    EXPECT_EQ(fetch_harness::TorrentFiles(site), std::vector<std::string>{"无间道.torrent"});
}

}  // namespace
