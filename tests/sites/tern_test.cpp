// tern.so driven through its exports against a fixture site.
#include <gtest/gtest.h>

#include <tuple>

#include "fetch_harness.h"
#include "site_harness.h"
#include "tern_pages.h"

namespace {

using fetch_harness::Reply;
using fetch_harness::Torrent;
using site_harness::Gbk;
using tern_pages::Row;
using testing_support::FixtureServer;

auto Fields(const TorrentRecord& r) {
    return std::make_tuple(r.AddDate.Format(), r.AddDate.m_status, r.Name, r.Addr0, r.Addr1,
                           r.Addr2, r.Addr3, r.WebAddr, r.Type, r.Size, r.RefreshDate.Format(),
                           r.Seeds, r.Peers, r.Comment, r.bCompleted, r.FileName, r.DllID);
}

// The category word goes out as raw GBK bytes, the way the site reads it.
std::string Target(const std::string& word, int page) {
    return "/index.php?page=" + std::to_string(page) + "&sort=" + Gbk(word);
}

TorrentRecord Expected(const std::string& base, const Row& row, int type) {
    TorrentRecord record;
    record.AddDate = record.RefreshDate = OleDate::Parse(row.date);
    record.Name = "[tern]" + row.title;
    record.Addr0 = base + row.link;
    record.WebAddr = base;
    record.Type = type;
    record.Size = row.size;
    record.Seeds = row.seeds;
    record.Peers = row.peers;
    return record;
}

TEST(TernSite, RunsSlotsUntilNothingIsNewerOrThePageLimit) {
    FixtureServer server;
    const std::string base = server.Url("/");
    const std::vector<Row> page1 = {
        {"2005-03-10 08:09:10", "download.php?id=42", "仙剑奇侠传 DOS 版", "650MB", 3, 5},
        {"2005-03-10 08:09:09", "download.php?id=41", "金庸群侠传", "1.1GB", 0, 12},
    };
    const std::vector<Row> page2 = {
        {"2005-03-09 23:59:59", "download.php?id=40", "轩辕剑 外传", "700MB", 7, 0},
        {"2005-03-09 12:00:00", "download.php?id=39", "已取过的", "1MB", 1, 1},
    };
    const std::vector<Row> page3 = {
        {"2005-03-08 00:00:00", "download.php?id=38", "更早的", "1MB", 1, 1},
    };
    server.Route(Target("游戏", 1), Reply(tern_pages::Page("游戏", page1)));
    server.Route(Target("游戏", 2), Reply(tern_pages::Page("游戏", page2)));
    server.Route(Target("游戏", 3), Reply(tern_pages::Page("游戏", page3)));

    site_harness::LoadedSite site("tern.so", base);
    site.ClearPageRecord(1, 1, OleDate::Parse("2005-03-09 12:00:00"));
    const TorrentRecordArray rows = site.RunSlot(1, 1);
    EXPECT_EQ(server.Targets(),
              (std::vector<std::string>{Target("游戏", 1), Target("游戏", 2), Target("游戏", 3)}));
    for (const auto& request : server.Requests()) {
        EXPECT_EQ(request.method, "GET");
        EXPECT_EQ(request.Header("referer"), base);
    }
    const std::vector<Row> taken = {page1[0], page1[1], page2[0]};
    ASSERT_EQ(rows.size(), taken.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(Fields(rows[i]), Fields(Expected(base, taken[i], 1 * 256 + 1))) << i;
    }

    // The run adopted the newest date: the same pages bring nothing now.
    server.ClearRequests();
    EXPECT_TRUE(site.RunSlot(1, 1).empty());
    EXPECT_EQ(server.Targets(), std::vector<std::string>{Target("游戏", 1)});

    // Series: every page brings something new, so the run ends at page 5.
    server.ClearRequests();
    server.SetHandler([](const testing_support::FixtureRequest& request) {
        const std::string second = "0" + request.target.substr(request.target.find('=') + 1, 1);
        return Reply(tern_pages::Page(
            "连续剧", {{"2005-03-10 08:00:" + second, "download.php?id=1", "剧", "1GB", 0, 0}}));
    });
    std::vector<std::string> expected;
    for (int page = 1; page <= 5; ++page) {
        expected.push_back(Target("连续剧", page));
    }
    EXPECT_EQ(site.RunSlot(2, 2).size(), 5u);
    EXPECT_EQ(server.Targets(), expected);

    char* buffer = nullptr;
    int length = -7;
    TorrentRecord record = Expected(base, page1[0], 0);
    EXPECT_EQ(site.WebIOCtl(&record, 1, 0, 0, &buffer, 0, &length), 1);
    EXPECT_EQ(buffer, nullptr);
    EXPECT_EQ(length, -7);
}

TEST(TernSite, SearchesNothingAndFetchesTorrentsDirectly) {
    FixtureServer server;
    const std::string base = server.Url("/");
    site_harness::LoadedSite site("tern.so", base);

    // No search of this site is known: a search ends at once, asking nothing.
    const SearchHandle handle = site.StartSearch("英雄");
    EXPECT_NE(handle, kNoSearch);
    EXPECT_EQ(site.GetSearchStatus(handle), 100);
    TorrentRecordArray none;
    EXPECT_EQ(site.GetSearchData(handle, &none), 1);
    EXPECT_TRUE(none.empty());
    site.StopSearch(handle);
    EXPECT_TRUE(server.Targets().empty());

    TorrentRecord record =
        Expected(base, {"2005-03-10 08:09:10", "download.php?id=42", "仙剑奇侠传", "650MB", 3, 5},
                 1 * 256 + 1);
    server.Route("/download.php?id=42", Reply(Torrent(Gbk("仙剑奇侠传"))));
    record.FileName = "仙剑奇侠传";
    const fetch_harness::FetchResult fetched = fetch_harness::Fetch(site, record);
    ASSERT_NE(fetched.handle, 0);
    EXPECT_EQ(fetched.statuses.back(), 100);
    EXPECT_EQ(server.Targets(), std::vector<std::string>{"/download.php?id=42"});
    EXPECT_EQ(server.Requests()[0].Header("referer"), base);
    EXPECT_EQ(fetch_harness::ReadTorrent(site, "仙剑奇侠传"), Torrent(Gbk("仙剑奇侠传")));
    EXPECT_EQ(fetch_harness::TorrentFiles(site), std::vector<std::string>{"仙剑奇侠传.torrent"});
}

}  // namespace
