// The second larkspur build, for the site petrel, installed as
// kernel/petrel/larkspur.so and driven through its exports against a
// fixture site.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <tuple>

#include "fetch_harness.h"
#include "petrel_pages.h"
#include "site_harness.h"

namespace {

using fetch_harness::Reply;
using fetch_harness::Torrent;
using petrel_pages::Row;
using site_harness::Gbk;
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

std::string Target(int category, int page) {
    const std::string id = std::to_string(category);
    return "/index.php?active=&category=" + id + "&category=" + id +
           "&page=" + std::to_string(page);
}

TorrentRecord Expected(const std::string& base, const Row& row, int type) {
    TorrentRecord record;
    record.AddDate = record.RefreshDate = DateOf(row.when);
    record.Name = "[petrel]" + row.title;
    record.Addr0 = base + petrel_pages::TorrentLink(row);
    record.WebAddr = base + petrel_pages::DetailLink(row);
    record.Type = type;
    record.Size = row.size;
    record.Seeds = row.seeds;
    record.Peers = row.peers;
    return record;
}

TEST(PetrelSite, RunsSlotsUntilNothingIsNewerOrThePageLimit) {
    FixtureServer server;
    const std::string base = server.Url("/");
    const std::vector<Row> page1 = {
        {Before(0), "a1f3", "我的父亲母亲", "700 MB", 4, 6, true},
        {Before(5), "a1f2", "大长今 第1-10集", "3.5 GB", 120, 45, false},
    };
    const std::vector<Row> page2 = {
        {Before(30), "a1f1", "还珠格格", "1.4 GB", 0, 2, true},
        {Before(40), "a1f0", "已取过的", "1 MB", 1, 1, false},
    };
    const std::vector<Row> page3 = {{Before(90), "a1e9", "更早的", "1 MB", 1, 1, false}};
    server.Route(Target(5, 1), Reply(petrel_pages::Page(page1)));
    server.Route(Target(5, 2), Reply(petrel_pages::Page(page2)));
    server.Route(Target(5, 3), Reply(petrel_pages::Page(page3)));

    site_harness::LoadedSite site("petrel/larkspur.so", base);
    site.ClearPageRecord(2, 2, DateOf(page2[1].when));
    const TorrentRecordArray rows = site.RunSlot(2, 2);
    EXPECT_EQ(server.Targets(),
              (std::vector<std::string>{Target(5, 1), Target(5, 2), Target(5, 3)}));
    for (const auto& request : server.Requests()) {
        EXPECT_EQ(request.method, "GET");
        EXPECT_EQ(request.Header("referer"), base);
    }
    const std::vector<Row> taken = {page1[0], page1[1], page2[0]};
    ASSERT_EQ(rows.size(), taken.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(Fields(rows[i]), Fields(Expected(base, taken[i], 2 * 256 + 2))) << i;
    }

    // The run adopted the newest date: the same pages bring nothing now.
    server.ClearRequests();
    EXPECT_TRUE(site.RunSlot(2, 2).empty());
    EXPECT_EQ(server.Targets(), std::vector<std::string>{Target(5, 1)});

    // Variety shows: every page brings something new, so the run ends at
    // page 8.
    server.ClearRequests();
    server.SetHandler([](const testing_support::FixtureRequest& request) {
        const int page = std::stoi(request.target.substr(request.target.rfind('=') + 1));
        return Reply(petrel_pages::Page(
            {{Before(page), "b" + std::to_string(page), "综艺", "350 MB", 1, 1, false}}));
    });
    std::vector<std::string> expected;
    for (int page = 1; page <= 8; ++page) {
        expected.push_back(Target(2, page));
    }
    EXPECT_EQ(site.RunSlot(2, 3).size(), 8u);
    EXPECT_EQ(server.Targets(), expected);

    // The record's detail page, framed.
    char* buffer = nullptr;
    int length = 0;
    TorrentRecord record = Expected(base, page1[0], 0);
    EXPECT_EQ(site.WebIOCtl(&record, 1, 0, 0, &buffer, 0, &length), 1);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(std::string(buffer), "<iframe src=\"" + base +
                                       "details.php?id=a1f3\" width=\"100%\" "
                                       "height=\"500\"></iframe>");
    std::free(buffer);

    // Its dates are kept under its own registry name, apart from lark's
    // build with the same file name.
    site.Unload();
    char newest[64];
    std::snprintf(newest, sizeof newest, "22=%.9f\n", DateOf(page1[0].when).m_dt);
    const std::string registry = site.ReadRegistry();
    const size_t section = registry.find("[RefreshDate_petrel/larkspur.so]\n");
    ASSERT_NE(section, std::string::npos) << registry;
    EXPECT_NE(registry.find(newest, section), std::string::npos) << registry;
}

TEST(PetrelSite, SearchesWithTheKeywordEscapedAndFetchesTorrentsDirectly) {
    FixtureServer server;
    const std::string base = server.Url("/");
    const std::vector<Row> found = {
        {Before(0), "c0d1", "大长今 全集", "8.2 GB", 31, 7, true},
        {Before(900), "c0d0", "大长今 OST", "120 MB", 2, 0, false},
    };
    server.Route("/index.php", Reply(petrel_pages::Page(found)));

    site_harness::LoadedSite site("petrel/larkspur.so", base);
    const TorrentRecordArray rows = site.RunSearch("大长今");
    ASSERT_EQ(server.Requests().size(), 1u);
    const testing_support::FixtureRequest request = server.Requests()[0];
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, "/index.php");
    EXPECT_EQ(request.body,
              "testoricerca=%B4%F3%B3%A4%BD%F1&category=0&active=0&ricerca=%CB%D1%CB%F7");
    // The form posts to itself, and says so.
    EXPECT_EQ(request.Header("referer"), base + "index.php");
    ASSERT_EQ(rows.size(), found.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(Fields(rows[i]), Fields(Expected(base, found[i], 0))) << i;
    }

    server.Route("/download.php?id=c0d1&f=c0d1.torrent", Reply(Torrent(Gbk("大长今"))));
    server.ClearRequests();
    TorrentRecord record = rows[0];
    record.FileName = "大长今";
    const fetch_harness::FetchResult fetched = fetch_harness::Fetch(site, record);
    ASSERT_NE(fetched.handle, 0);
    EXPECT_EQ(fetched.statuses.back(), 100);
    EXPECT_EQ(server.Targets(), std::vector<std::string>{"/download.php?id=c0d1&f=c0d1.torrent"});
    EXPECT_EQ(server.Requests()[0].Header("referer"), base);
    EXPECT_EQ(fetch_harness::ReadTorrent(site, "大长今"), Torrent(Gbk("大长今")));
    EXPECT_EQ(fetch_harness::TorrentFiles(site), std::vector<std::string>{"大长今.torrent"});
}

}  // namespace
