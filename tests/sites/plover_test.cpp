// plover.so driven through its exports against a fixture site.
#include <gtest/gtest.h>

#include <cstdlib>
#include <tuple>

#include "fetch_harness.h"
#include "plover_pages.h"
#include "site_harness.h"

namespace {

using fetch_harness::Reply;
using fetch_harness::Torrent;
using plover_pages::Row;
using site_harness::Gbk;
using testing_support::FixtureServer;

auto Fields(const TorrentRecord& r) {
    return std::make_tuple(r.AddDate.Format(), r.AddDate.m_status, r.Name, r.Addr0, r.Addr1,
                           r.Addr2, r.Addr3, r.WebAddr, r.Type, r.Size, r.RefreshDate.Format(),
                           r.Seeds, r.Peers, r.Comment, r.bCompleted, r.FileName, r.DllID);
}

std::string Target(int category, int page) {
    return "/index_A_" + std::to_string(category) + "_" + std::to_string(page) + ".htm";
}

TorrentRecord Expected(const std::string& base, const Row& row, int type) {
    TorrentRecord record;
    record.AddDate = record.RefreshDate = OleDate::Parse(row.date + ":00");
    record.Name = "[plover]" + row.title;
    record.Addr0 = row.torrent;
    record.WebAddr = base + plover_pages::DetailLink(row);
    record.Type = type;
    record.Size = row.size;
    return record;
}

Row MakeRow(const std::string& date, int id, const std::string& title) {
    return {date, id, "http://dl.plover.example/" + std::to_string(id) + ".torrent", title,
            std::to_string(id % 9 + 1) + ".5GB"};
}

TEST(PloverSite, RunsSlotsUntilNothingIsNewerOrThePageLimit) {
    FixtureServer server;
    const std::string base = server.Url("/");
    // Both row classes on every page, so neither half of the rows is lost.
    const std::vector<Row> page1 = {
        MakeRow("2005-03-10 21:30", 77, "英雄 DVD"),
        MakeRow("2005-03-10 08:00", 76, "十面埋伏"),
        MakeRow("2005-03-09 22:15", 75, "天下无贼"),
        MakeRow("2005-03-09 20:00", 74, "功夫"),
    };
    const std::vector<Row> page2 = {
        MakeRow("2005-03-09 12:01", 73, "手机"),
        MakeRow("2005-03-09 12:00", 72, "已取过的"),
    };
    const std::vector<Row> page3 = {MakeRow("2005-03-08 00:00", 71, "更早的")};
    server.Route(Target(1, 1), Reply(plover_pages::Page("电影", page1)));
    server.Route(Target(1, 2), Reply(plover_pages::Page("电影", page2)));
    server.Route(Target(1, 3), Reply(plover_pages::Page("电影", page3)));

    site_harness::LoadedSite site("plover.so", base);
    site.ClearPageRecord(2, 1, OleDate::Parse("2005-03-09 12:00:00"));
    const TorrentRecordArray rows = site.RunSlot(2, 1);
    EXPECT_EQ(server.Targets(),
              (std::vector<std::string>{Target(1, 1), Target(1, 2), Target(1, 3)}));
    for (const auto& request : server.Requests()) {
        EXPECT_EQ(request.method, "GET");
        EXPECT_EQ(request.Header("referer"), base);
    }
    const std::vector<Row> taken = {page1[0], page1[1], page1[2], page1[3], page2[0]};
    ASSERT_EQ(rows.size(), taken.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(Fields(rows[i]), Fields(Expected(base, taken[i], 2 * 256 + 1))) << i;
    }

    // The run adopted the newest date: the same pages bring nothing now.
    server.ClearRequests();
    EXPECT_TRUE(site.RunSlot(2, 1).empty());
    EXPECT_EQ(server.Targets(), std::vector<std::string>{Target(1, 1)});

    // Other (index_A_10): every page brings something new, so the run ends at
    // page 10.
    server.ClearRequests();
    server.SetHandler([](const testing_support::FixtureRequest& request) {
        const int page = std::atoi(request.target.c_str() + request.target.rfind('_') + 1);
        return Reply(plover_pages::Page(
            "其他", {MakeRow("2005-02-" + std::to_string(28 - page) + " 10:00", page, "其他")}));
    });
    std::vector<std::string> expected;
    for (int page = 1; page <= 10; ++page) {
        expected.push_back(Target(10, page));
    }
    EXPECT_EQ(site.RunSlot(5, 2).size(), 10u);
    EXPECT_EQ(server.Targets(), expected);

    // The record's detail page, framed.
    char* buffer = nullptr;
    int length = 0;
    TorrentRecord record = Expected(base, page1[0], 0);
    EXPECT_EQ(site.WebIOCtl(&record, 1, 0, 0, &buffer, 0, &length), 1);
    ASSERT_NE(buffer, nullptr);
    const std::string frame =
        "<iframe src=\"" + base + "show_77.htm\" width=\"100%\" height=\"500\"></iframe>";
    EXPECT_EQ(std::string(buffer), frame);
    EXPECT_EQ(length, static_cast<int>(frame.size() + 1));
    std::free(buffer);
}

TEST(PloverSite, SearchesNothingAndFetchesTorrentsDirectly) {
    FixtureServer server;
    const std::string base = server.Url("/");
    site_harness::LoadedSite site("plover.so", base);

    // No search of this site is known: a search ends at once, asking nothing.
    const SearchHandle handle = site.StartSearch("英雄");
    EXPECT_NE(handle, kNoSearch);
    EXPECT_EQ(site.GetSearchStatus(handle), 100);
    TorrentRecordArray none;
    EXPECT_EQ(site.GetSearchData(handle, &none), 1);
    EXPECT_TRUE(none.empty());
    site.StopSearch(handle);
    EXPECT_TRUE(server.Targets().empty());

    // The site links its files absolutely, on a download host of its own.
    Row row = MakeRow("2005-03-10 21:30", 77, "英雄 DVD");
    row.torrent = server.Url("/dl/77.torrent");
    TorrentRecord record = Expected(base, row, 2 * 256 + 1);
    server.Route("/dl/77.torrent", Reply(Torrent(Gbk("英雄"))));
    record.FileName = "英雄";
    const fetch_harness::FetchResult fetched = fetch_harness::Fetch(site, record);
    ASSERT_NE(fetched.handle, 0);
    EXPECT_EQ(fetched.statuses.back(), 100);
    EXPECT_EQ(server.Targets(), std::vector<std::string>{"/dl/77.torrent"});
    EXPECT_EQ(server.Requests()[0].Header("referer"), base);
    EXPECT_EQ(fetch_harness::ReadTorrent(site, "英雄"), Torrent(Gbk("英雄")));
    EXPECT_EQ(fetch_harness::TorrentFiles(site), std::vector<std::string>{"英雄.torrent"});
}

}  // namespace
