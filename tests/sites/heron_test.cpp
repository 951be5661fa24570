// heron.so: its search service, its four mirrors, its inert listing.
#include <gtest/gtest.h>

#include "heron_pages.h"
#include "site_test_support.h"

namespace {

using fetch_harness::Reply;
using heron_pages::Entry;
using testing_support::FixtureServer;

const std::string kSearchTarget =
    "/svc/btsearch0.php?keyword=%B6%AF%BB%AD&type=0&show_query=1&pagenumber=1";

std::string MirrorKeys(const FixtureServer& server) {
    std::string keys = "Search=" + server.Url("/svc/") + "\n";
    for (int i = 0; i < 4; ++i) {
        keys +=
            "Mirror" + std::to_string(i) + "=" + server.Url("/m" + std::to_string(i) + "/") + "\n";
    }
    return keys;
}

TEST(HeronSite, SearchesItsServiceAndFillsTheFourMirrors) {
    FixtureServer server;
    const std::string base = "http://heron.test/";
    const std::vector<Entry> entries = {
        {"5001", "2024/05", "1073741824", 1714700000, 12, 3, "动画 第1集",
         "第一行\r\n[img]http://img.test/a.jpg[/img]\r\n[IMG]b.png[/IMG]"},
        {"5002", "2024/06", "1234567890123", 1714800000, 0, 1, std::string(300, 'x'), ""},
    };
    server.Route(kSearchTarget, Reply(heron_pages::SearchAnswer(entries)));
    site_harness::LoadedSite site("heron.so", base, MirrorKeys(server));

    const TorrentRecordArray rows = site.RunSearch("动画");
    ASSERT_EQ(server.Targets(), std::vector<std::string>{kSearchTarget});
    EXPECT_EQ(server.Requests()[0].Header("referer"), base);
    ASSERT_EQ(rows.size(), 2u);
    const TorrentRecord& first = rows[0];
    EXPECT_EQ(first.Name, "[heron]动画 第1集");
    EXPECT_EQ(first.Comment,
              "第一行<br><img src=\"http://img.test/a.jpg\"><br><img src=\"b.png\">");
    EXPECT_EQ(first.Size, "1GB");
    EXPECT_EQ(first.AddDate.Format(), OleDate::FromUnixTime(1714700000).Format());
    EXPECT_EQ(first.RefreshDate.Format(), first.AddDate.Format());
    EXPECT_EQ(first.Seeds, 12);
    EXPECT_EQ(first.Peers, 3);
    EXPECT_EQ(first.WebAddr, base);
    EXPECT_EQ(first.Type, 0);
    const std::string path = "download.php?s=2024/05&attachmentid=5001";
    EXPECT_EQ(first.Addr0, server.Url("/m0/" + path));
    EXPECT_EQ(first.Addr1, server.Url("/m1/" + path));
    EXPECT_EQ(first.Addr2, server.Url("/m2/" + path));
    EXPECT_EQ(first.Addr3, server.Url("/m3/" + path));
    EXPECT_EQ(rows[1].Name, "[heron]" + std::string(240, 'x'));
    EXPECT_EQ(rows[1].Size, "1TB") << "thirteen digits go on past GB";

    const site_test::ShownComment shown = site_test::ShowComment(site, first);
    EXPECT_EQ(shown.text, first.Comment);
    EXPECT_EQ(shown.length, static_cast<int>(first.Comment.size() + 1));

    // The listing is never fetched, though the slot keeps its date.
    server.ClearRequests();
    EXPECT_EQ(site.StartDownPage(2, 1), 1);
    EXPECT_EQ(site.GetDownPageStatus(2, 1), 100);
    site.StopDownPage(2, 1);
    EXPECT_TRUE(server.Requests().empty());
}

TEST(HeronSite, MirrorsAreTriedInTurnUntilOneHasTheFile) {
    FixtureServer server;
    site_harness::LoadedSite site("heron.so", "http://heron.test/", MirrorKeys(server));
    const std::string path = "download.php?s=a&attachmentid=1";
    TorrentRecord record;
    record.FileName = "heron 1";
    for (int i = 0; i < 4; ++i) {
        std::string* address[] = {&record.Addr0, &record.Addr1, &record.Addr2, &record.Addr3};
        *address[i] = server.Url("/m" + std::to_string(i) + "/" + path);
    }
    const std::string torrent = fetch_harness::Torrent("heron");
    server.Route("/m1/" + path, Reply("<html>busy</html>"));
    server.Route("/m2/" + path, Reply(torrent));

    // The first is missing, the second answers with a page, the third has it.
    const auto fetched = fetch_harness::Fetch(site, record);
    EXPECT_EQ(fetched.handle, 1);
    EXPECT_EQ(fetched.statuses.front(), 0);
    EXPECT_EQ(fetched.statuses.back(), 100);
    EXPECT_EQ(server.Targets(),
              (std::vector<std::string>{"/m0/" + path, "/m1/" + path, "/m2/" + path}));
    for (const auto& request : server.Requests()) {
        EXPECT_EQ(request.Header("referer"), "http://heron.test/");
    }
    EXPECT_EQ(fetch_harness::ReadTorrent(site, "heron 1"), torrent);
    EXPECT_EQ(fetch_harness::TorrentFiles(site), std::vector<std::string>{"heron 1.torrent"});

    // None has it.
    server.ClearRequests();
    server.Route("/m2/" + path, Reply("", 500));
    record.FileName = "heron 2";
    const auto failed = fetch_harness::Fetch(site, record);
    EXPECT_EQ(failed.handle, 2);
    EXPECT_EQ(failed.statuses.back(), -1);
    EXPECT_EQ(server.Requests().size(), 4u);
    EXPECT_EQ(fetch_harness::TorrentFiles(site), std::vector<std::string>{"heron 1.torrent"});
}

}  // namespace
