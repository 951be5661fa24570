// swift.so driven through its exports against a fixture site.
#include <gtest/gtest.h>

#include <tuple>

#include "fetch_harness.h"
#include "site_harness.h"
#include "swift_pages.h"

namespace {

using fetch_harness::Reply;
using fetch_harness::Torrent;
using site_harness::Gbk;
using swift_pages::Row;
using testing_support::FixtureReply;
using testing_support::FixtureServer;

auto Fields(const TorrentRecord& r) {
    return std::make_tuple(r.AddDate.Format(), r.AddDate.m_status, r.Name, r.Addr0, r.Addr1,
                           r.Addr2, r.Addr3, r.WebAddr, r.Type, r.Size, r.RefreshDate.Format(),
                           r.Seeds, r.Peers, r.Comment, r.bCompleted, r.FileName, r.DllID);
}

// `minutes` before an hour ago. The site prints no year; any date of the
// last twelve months gets the right one.
time_t Before(int minutes) {
    return std::time(nullptr) - 3600 - minutes * 60;
}

OleDate DateOf(time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    return OleDate::FromFields(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                               local.tm_min);
}

std::string Target(const std::string& code, int page) {
    return "/?noseed=&category=" + code +
           "&uploadtype=&&searchstr=&&searchtype=&&sort=&&spage=" + std::to_string(page);
}

TorrentRecord Expected(const std::string& base, const Row& row, int type) {
    TorrentRecord record;
    record.AddDate = record.RefreshDate = DateOf(row.when);
    record.Name = "[swift]" + row.title;
    record.Addr0 = base + row.link;
    record.WebAddr = base;
    record.Type = type;
    record.Size = row.size;
    record.Seeds = row.seeds;
    record.Peers = row.peers;
    return record;
}

TEST(SwiftSite, RunsSlotsUntilNothingIsNewerOrThePageLimit) {
    FixtureServer server;
    const std::string base = server.Url("/");
    const std::vector<Row> page1 = {
        {Before(0), "torrents/301.torrent", "仙剑奇侠传 完整版", "2.1GB", 8, 2, true},
        {Before(10), "torrents/302.torrent", "大航海时代", "650MB", 0, 1, false},
        {Before(20), "torrents/303.torrent", "三国志 IX", "1.2GB", 15, 30, false},
    };
    const std::vector<Row> page2 = {
        {Before(50), "torrents/304.torrent", "轩辕剑", "700MB", 3, 3, false},
        {Before(60), "torrents/305.torrent", "已取过的", "1MB", 1, 1, false},
        {Before(70), "torrents/306.torrent", "更早的", "1MB", 1, 1, false},
    };
    const std::vector<Row> page3 = {{Before(80), "torrents/307.torrent", "旧", "1MB", 0, 0, false}};
    // The site may keep the connection open after a page: its closing tag
    // ends it.
    FixtureReply first = Reply(swift_pages::Page("电影", page1));
    first.omitLength = true;
    first.stallAfterBytes = static_cast<long>(first.body.size());
    server.Route(Target("%A1%F6", 1), first);
    server.Route(Target("%A1%F6", 2), Reply(swift_pages::Page("电影", page2)));
    server.Route(Target("%A1%F6", 3), Reply(swift_pages::Page("电影", page3)));

    site_harness::LoadedSite site("swift.so", base);
    site.ClearPageRecord(2, 1, DateOf(page2[1].when));
    const TorrentRecordArray rows = site.RunSlot(2, 1);
    EXPECT_EQ(server.Targets(), (std::vector<std::string>{Target("%A1%F6", 1), Target("%A1%F6", 2),
                                                          Target("%A1%F6", 3)}));
    for (const auto& request : server.Requests()) {
        EXPECT_EQ(request.method, "GET");
        EXPECT_EQ(request.Header("referer"), base);
    }
    const std::vector<Row> taken = {page1[0], page1[1], page1[2], page2[0]};
    ASSERT_EQ(rows.size(), taken.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(Fields(rows[i]), Fields(Expected(base, taken[i], 2 * 256 + 1))) << i;
    }

    // The run adopted the newest date: the same pages bring nothing now.
    server.ClearRequests();
    EXPECT_TRUE(site.RunSlot(2, 1).empty());
    EXPECT_EQ(server.Targets(), std::vector<std::string>{Target("%A1%F6", 1)});

    // Software: every page brings something new, so the run ends at page 15.
    server.ClearRequests();
    server.SetHandler([](const testing_support::FixtureRequest& request) {
        const int page = std::stoi(request.target.substr(request.target.rfind('=') + 1));
        return Reply(swift_pages::Page(
            "软件", {{Before(page), "torrents/9.torrent", "软件", "1MB", 0, 0, false}}));
    });
    std::vector<std::string> expected;
    for (int page = 1; page <= 15; ++page) {
        expected.push_back(Target("%A1%F9", page));
    }
    EXPECT_EQ(site.RunSlot(5, 3).size(), 15u);
    EXPECT_EQ(server.Targets(), expected);

    char* buffer = nullptr;
    int length = -7;
    TorrentRecord record = Expected(base, page1[0], 0);
    EXPECT_EQ(site.WebIOCtl(&record, 1, 0, 0, &buffer, 0, &length), 1);
    EXPECT_EQ(buffer, nullptr);
    EXPECT_EQ(length, -7);
}

TEST(SwiftSite, SearchesWithTheKeywordEscapedAndFetchesTorrentsDirectly) {
    FixtureServer server;
    const std::string base = server.Url("/");
    const std::vector<Row> found = {
        {Before(0), "torrents/301.torrent", "仙剑奇侠传 三", "2.1GB", 8, 2, true},
        {Before(3000), "torrents/112.torrent", "新仙剑 OL", "1.1GB", 0, 4, false},
    };
    // The result page, too, may keep its connection open.
    FixtureReply results = Reply(swift_pages::Page("搜索结果", found));
    results.omitLength = true;
    results.stallAfterBytes = static_cast<long>(results.body.size());
    server.Route("/?searchstr=%CF%C9%BD%A3&searchtype=0", results);

    site_harness::LoadedSite site("swift.so", base);
    const TorrentRecordArray rows = site.RunSearch("仙剑");
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].method, "GET");
    EXPECT_EQ(server.Requests()[0].Header("referer"), base);
    ASSERT_EQ(rows.size(), found.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(Fields(rows[i]), Fields(Expected(base, found[i], 0))) << i;
    }

    // The torrent is written byte for byte, whatever its bytes.
    server.Route("/torrents/301.torrent", Reply(Torrent(Gbk("仙剑三"))));
    server.ClearRequests();
    TorrentRecord record = rows[0];
    record.FileName = "仙剑奇侠传 三";
    const fetch_harness::FetchResult fetched = fetch_harness::Fetch(site, record);
    ASSERT_NE(fetched.handle, 0);
    EXPECT_EQ(fetched.statuses.back(), 100);
    EXPECT_EQ(server.Targets(), std::vector<std::string>{"/torrents/301.torrent"});
    EXPECT_EQ(server.Requests()[0].Header("referer"), base);
    EXPECT_EQ(fetch_harness::ReadTorrent(site, "仙剑奇侠传 三"), Torrent(Gbk("仙剑三")));
    EXPECT_EQ(fetch_harness::TorrentFiles(site), std::vector<std::string>{"仙剑奇侠传 三.torrent"});
}

}  // namespace
