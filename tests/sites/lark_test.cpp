// larkspur.so (site lark): listing, posted search, the file's link found on
// the detail page.
#include <gtest/gtest.h>

#include "fetch_harness.h"
#include "lark_pages.h"
#include "site_harness.h"

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

    char* buffer = nullptr;
    int length = 0;
    site.WebIOCtl(const_cast<TorrentRecord*>(&found[0]), 1, 0, 0, &buffer, 0, &length);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(std::string(buffer),
              "<iframe src=\"" + base + "show/30.html\" width=\"100%\" height=\"500\"></iframe>");
    std::free(buffer);
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
    record.FileName = "无间道";
    record.Addr0 = record.WebAddr = base + "show/31.html";
    const auto fetched = fetch_harness::Fetch(site, record);
    EXPECT_EQ(fetched.statuses.back(), 100);
    EXPECT_EQ(fetch_harness::ReadTorrent(site, "无间道"), torrent);
    ASSERT_EQ(server.Targets(),
              (std::vector<std::string>{"/show/31.html", "/show/Down.asp?id=31&t=9"}));
    EXPECT_EQ(server.Requests()[0].Header("referer"), base);
    EXPECT_EQ(server.Requests()[1].Header("referer"), base + "show/31.html");

    // A link that leads to yet another such page is not followed forever.
    server.Route("/show/33.html", Reply(lark_pages::DetailPage("show/Down.asp?id=33")));
    server.Route("/show/Down.asp?id=33", Reply(lark_pages::DetailPage("show/Down.asp?id=33")));
    server.ClearRequests();
    record.FileName = "loop";
    record.Addr0 = record.WebAddr = base + "show/33.html";
    EXPECT_EQ(fetch_harness::Fetch(site, record).statuses.back(), -1);
    EXPECT_EQ(server.Requests().size(), 4u);

    // A detail page without the link: the fetch fails and leaves no lock.
    record.FileName = "英雄";
    record.Addr0 = record.WebAddr = base + "show/32.html";
    EXPECT_EQ(fetch_harness::Fetch(site, record).statuses.back(), -1);
    EXPECT_EQ(fetch_harness::TorrentFiles(site), std::vector<std::string>{"无间道.torrent"});
}

}  // namespace
