// swift.so driven through its exports against a fixture site.
#include <gtest/gtest.h>

#include "site_test_support.h"
#include "swift_pages.h"

namespace {

using fetch_harness::HeldOpen;
using site_test::Before;
using site_test::DateOf;
using site_test::Described;
using site_test::DescribedAs;
using swift_pages::Row;

std::string Target(const std::string& code, int page) {
    return "/?noseed=&category=" + code +
           "&uploadtype=&&searchstr=&&searchtype=&&sort=&&spage=" + std::to_string(page);
}

TorrentRecord Expected(const std::string& base, const Row& row, int type) {
    TorrentRecord record = site_test::Listed("swift", row.title, DateOf(row.when));
    record.Addr0 = base + row.link;
    record.WebAddr = base;
    record.Type = type;
    site_test::AddCounts(record, row);
    return record;
}

using SwiftSite = site_test::SiteTest;

TEST_F(SwiftSite, RunsSlotsUntilNothingIsNewerOrThePageLimit) {
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
    server_.Route(Target("%A1%F6", 1), HeldOpen(swift_pages::Page("电影", page1)));
    Serve(Target("%A1%F6", 2), swift_pages::Page("电影", page2));
    Serve(Target("%A1%F6", 3), swift_pages::Page("电影", page3));

    site_harness::LoadedSite site("swift.so", base_);
    site.ClearPageRecord(2, 1, DateOf(page2[1].when));
    const TorrentRecordArray rows = site.RunSlot(2, 1);
    EXPECT_EQ(server_.Targets(), (std::vector<std::string>{Target("%A1%F6", 1), Target("%A1%F6", 2),
                                                           Target("%A1%F6", 3)}));
    ExpectReferred("GET");
    EXPECT_EQ(Described(rows),
              DescribedAs(std::vector<Row>{page1[0], page1[1], page1[2], page2[0]},
                          [&](const Row& row) { return Expected(base_, row, 2 * 256 + 1); }));
    ExpectRerunStopsAt(site, 2, 1, Target("%A1%F6", 1));

    // Software: every page brings something new, so the run ends at page 15.
    ExpectPageLimit(
        site, 5, 3, 15, [](int page) { return Target("%A1%F9", page); },
        [](int page) {
            return swift_pages::Page(
                "软件", {{Before(page), "torrents/9.torrent", "软件", "1MB", 0, 0, false}});
        });

    site_test::ExpectNoComment(site, Expected(base_, page1[0], 0));
}

TEST_F(SwiftSite, SearchesWithTheKeywordEscapedAndFetchesTorrentsDirectly) {
    const std::vector<Row> found = {
        {Before(0), "torrents/301.torrent", "仙剑奇侠传 三", "2.1GB", 8, 2, true},
        {Before(3000), "torrents/112.torrent", "新仙剑 OL", "1.1GB", 0, 4, false},
    };
    // The result page, too, may keep its connection open.
    server_.Route("/?searchstr=%CF%C9%BD%A3&searchtype=0",
                  HeldOpen(swift_pages::Page("搜索结果", found)));

    site_harness::LoadedSite site("swift.so", base_);
    const TorrentRecordArray rows = site.RunSearch("仙剑");
    ASSERT_EQ(server_.Requests().size(), 1u);
    ExpectReferred("GET");
    EXPECT_EQ(Described(rows),
              DescribedAs(found, [&](const Row& row) { return Expected(base_, row, 0); }));

    ASSERT_FALSE(rows.empty());
    ExpectFetchedFrom(site, rows[0], "/torrents/301.torrent", "仙剑奇侠传 三");
}

}  // namespace
