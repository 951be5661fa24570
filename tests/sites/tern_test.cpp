// tern.so driven through its exports against a fixture site.
#include <gtest/gtest.h>

#include "site_test_support.h"
#include "tern_pages.h"

namespace {

using site_harness::Gbk;
using site_test::Described;
using site_test::DescribedAs;
using tern_pages::Row;

// The category word goes out as raw GBK bytes, the way the site reads it.
std::string Target(const std::string& word, int page) {
    return "/index.php?page=" + std::to_string(page) + "&sort=" + Gbk(word);
}

TorrentRecord Expected(const std::string& base, const Row& row, int type) {
    TorrentRecord record = site_test::Listed("tern", row.title, OleDate::Parse(row.date));
    record.Addr0 = base + row.link;
    record.WebAddr = base;
    record.Type = type;
    site_test::AddCounts(record, row);
    return record;
}

using TernSite = site_test::SiteTest;

TEST_F(TernSite, RunsSlotsUntilNothingIsNewerOrThePageLimit) {
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
    Serve(Target("游戏", 1), tern_pages::Page("游戏", page1));
    Serve(Target("游戏", 2), tern_pages::Page("游戏", page2));
    Serve(Target("游戏", 3), tern_pages::Page("游戏", page3));

    site_harness::LoadedSite site("tern.so", base_);
    site.ClearPageRecord(1, 1, OleDate::Parse("2005-03-09 12:00:00"));
    const TorrentRecordArray rows = site.RunSlot(1, 1);
    EXPECT_EQ(server_.Targets(),
              (std::vector<std::string>{Target("游戏", 1), Target("游戏", 2), Target("游戏", 3)}));
    ExpectReferred("GET");
    EXPECT_EQ(Described(rows),
              DescribedAs(std::vector<Row>{page1[0], page1[1], page2[0]},
                          [&](const Row& row) { return Expected(base_, row, 1 * 256 + 1); }));

    // The run adopted the newest date: the same pages bring nothing now.
    ExpectRerunStopsAt(site, 1, 1, Target("游戏", 1));

    // Series: every page brings something new, so the run ends at page 5.
    ExpectPageLimit(
        site, 2, 2, 5, [](int page) { return Target("连续剧", page); },
        [](int page) {
            return tern_pages::Page("连续剧", {{"2005-03-10 08:00:0" + std::to_string(page),
                                                "download.php?id=1", "剧", "1GB", 0, 0}});
        });

    site_test::ExpectNoComment(site, Expected(base_, page1[0], 0));
}

TEST_F(TernSite, SearchesNothingAndFetchesTorrentsDirectly) {
    site_harness::LoadedSite site("tern.so", base_);

    // No search of this site is known: a search ends at once, asking nothing.
    ExpectInertSearch(site);

    TorrentRecord record =
        Expected(base_, {"2005-03-10 08:09:10", "download.php?id=42", "仙剑奇侠传", "650MB", 3, 5},
                 1 * 256 + 1);
    ExpectFetchedFrom(site, record, "/download.php?id=42", "仙剑奇侠传");
}

}  // namespace
