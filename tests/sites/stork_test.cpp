// stork.so driven through its exports against a fixture site.
#include <gtest/gtest.h>

#include <tuple>

#include "fetch_harness.h"
#include "site_harness.h"
#include "stork_pages.h"

namespace {

using fetch_harness::Reply;
using fetch_harness::Torrent;
using site_harness::Gbk;
using stork_pages::Row;
using stork_pages::Seeds;
using testing_support::FixtureServer;

auto Fields(const TorrentRecord& r) {
    return std::make_tuple(r.AddDate.Format(), r.AddDate.m_status, r.Name, r.Addr0, r.Addr1,
                           r.Addr2, r.Addr3, r.WebAddr, r.Type, r.Size, r.RefreshDate.Format(),
                           r.Seeds, r.Peers, r.Comment, r.bCompleted, r.FileName, r.DllID);
}

std::string Target(const std::string& script, int page) {
    return "/" + script + ".php?page=" + std::to_string(page);
}

TorrentRecord Expected(const std::string& base, const Row& row, int type) {
    TorrentRecord record;
    record.AddDate = record.RefreshDate =
        OleDate::FromFields(row.year, row.month, row.day, row.hour, row.minute);
    record.Name = "[stork]" + row.title;
    record.Addr0 = row.link;
    record.WebAddr = base;
    record.Type = type;
    record.Size = row.size;
    record.Seeds = row.seeds;
    record.Peers = row.peers;
    return record;
}

Row MakeRow(int day, int hour, int id, const std::string& title, int seeds, Seeds style) {
    return {.year = 2005,
            .month = 3,
            .day = day,
            .hour = hour,
            .minute = 30,
            .link = "http://bt.stork.example/d/" + std::to_string(id) + ".torrent",
            .title = title,
            .size = "233MB",
            .seeds = seeds,
            .peers = id % 7,
            .style = style};
}

TEST(StorkSite, RunsSlotsUntilNothingIsNewerOrThePageLimit) {
    FixtureServer server;
    const std::string base = server.Url("/");
    const std::vector<Row> page1 = {
        MakeRow(10, 21, 42, "犬夜叉 第12话", 17, Seeds::kHot),
        MakeRow(10, 9, 41, "火影忍者 第120话", 5, Seeds::kBold),
        MakeRow(9, 23, 40, "海贼王 剧场版", 0, Seeds::kPlain),
    };
    const std::vector<Row> page2 = {
        MakeRow(9, 8, 39, "名侦探柯南", 2, Seeds::kPlain),
        MakeRow(8, 12, 38, "已取过的", 1, Seeds::kPlain),
    };
    const std::vector<Row> page3 = {MakeRow(7, 12, 37, "更早的", 1, Seeds::kBold)};
    server.Route(Target("anime", 1), Reply(stork_pages::Page("动画", page1)));
    server.Route(Target("anime", 2), Reply(stork_pages::Page("动画", page2)));
    server.Route(Target("anime", 3), Reply(stork_pages::Page("动画", page3)));

    site_harness::LoadedSite site("stork.so", base);
    site.ClearPageRecord(3, 1, OleDate::FromFields(2005, 3, 8, 12, 30));
    const TorrentRecordArray rows = site.RunSlot(3, 1);
    EXPECT_EQ(server.Targets(), (std::vector<std::string>{Target("anime", 1), Target("anime", 2),
                                                          Target("anime", 3)}));
    for (const auto& request : server.Requests()) {
        EXPECT_EQ(request.method, "GET");
        EXPECT_EQ(request.Header("referer"), base);
    }
    const std::vector<Row> taken = {page1[0], page1[1], page1[2], page2[0]};
    ASSERT_EQ(rows.size(), taken.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(Fields(rows[i]), Fields(Expected(base, taken[i], 3 * 256 + 1))) << i;
    }

    // The run adopted the newest date: the same pages bring nothing now.
    server.ClearRequests();
    EXPECT_TRUE(site.RunSlot(3, 1).empty());
    EXPECT_EQ(server.Targets(), std::vector<std::string>{Target("anime", 1)});

    // Music: every page brings something new, so the run ends at page 8.
    server.ClearRequests();
    server.SetHandler([](const testing_support::FixtureRequest& request) {
        const int page = std::stoi(request.target.substr(request.target.rfind('=') + 1));
        return Reply(
            stork_pages::Page("音乐", {MakeRow(20 - page, 8, page, "专辑", 1, Seeds::kHot)}));
    });
    std::vector<std::string> expected;
    for (int page = 1; page <= 8; ++page) {
        expected.push_back(Target("music", page));
    }
    EXPECT_EQ(site.RunSlot(4, 6).size(), 8u);
    EXPECT_EQ(server.Targets(), expected);

    char* buffer = nullptr;
    int length = -7;
    TorrentRecord record = Expected(base, page1[0], 0);
    EXPECT_EQ(site.WebIOCtl(&record, 1, 0, 0, &buffer, 0, &length), 1);
    EXPECT_EQ(buffer, nullptr);
    EXPECT_EQ(length, -7);
}

TEST(StorkSite, SearchesNothingAndFetchesTorrentsDirectly) {
    FixtureServer server;
    const std::string base = server.Url("/");
    site_harness::LoadedSite site("stork.so", base);

    // No search of this site is known: a search ends at once, asking nothing.
    const SearchHandle handle = site.StartSearch("英雄");
    EXPECT_NE(handle, kNoSearch);
    EXPECT_EQ(site.GetSearchStatus(handle), 100);
    TorrentRecordArray none;
    EXPECT_EQ(site.GetSearchData(handle, &none), 1);
    EXPECT_TRUE(none.empty());
    site.StopSearch(handle);
    EXPECT_TRUE(server.Targets().empty());

    // The site links its files absolutely.
    Row row = MakeRow(10, 21, 42, "犬夜叉 第12话", 17, Seeds::kHot);
    row.link = server.Url("/d/42.torrent");
    TorrentRecord record = Expected(base, row, 3 * 256 + 1);
    server.Route("/d/42.torrent", Reply(Torrent(Gbk("犬夜叉"))));
    record.FileName = "犬夜叉";
    const fetch_harness::FetchResult fetched = fetch_harness::Fetch(site, record);
    ASSERT_NE(fetched.handle, 0);
    EXPECT_EQ(fetched.statuses.back(), 100);
    EXPECT_EQ(server.Targets(), std::vector<std::string>{"/d/42.torrent"});
    EXPECT_EQ(server.Requests()[0].Header("referer"), base);
    EXPECT_EQ(fetch_harness::ReadTorrent(site, "犬夜叉"), Torrent(Gbk("犬夜叉")));
    EXPECT_EQ(fetch_harness::TorrentFiles(site), std::vector<std::string>{"犬夜叉.torrent"});
}

}  // namespace
