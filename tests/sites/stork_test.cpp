// stork.so driven through its exports against a fixture site.
#include <gtest/gtest.h>

#include "site_test_support.h"
#include "stork_pages.h"

namespace {

using site_test::Described;
using site_test::DescribedAs;
using stork_pages::Row;
using stork_pages::Seeds;

std::string Target(const std::string& script, int page) {
    return "/" + script + ".php?page=" + std::to_string(page);
}

TorrentRecord Expected(const std::string& base, const Row& row, int type) {
    TorrentRecord record =
        site_test::Listed("stork", row.title,
                          OleDate::FromFields(row.year, row.month, row.day, row.hour, row.minute));
    record.Addr0 = row.link;
    record.WebAddr = base;
    record.Type = type;
    site_test::AddCounts(record, row);
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

using StorkSite = site_test::SiteTest;

TEST_F(StorkSite, RunsSlotsUntilNothingIsNewerOrThePageLimit) {
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
    Serve(Target("anime", 1), stork_pages::Page("动画", page1));
    Serve(Target("anime", 2), stork_pages::Page("动画", page2));
    Serve(Target("anime", 3), stork_pages::Page("动画", page3));

    site_harness::LoadedSite site("stork.so", base_);
    site.ClearPageRecord(3, 1, OleDate::FromFields(2005, 3, 8, 12, 30));
    const TorrentRecordArray rows = site.RunSlot(3, 1);
    EXPECT_EQ(server_.Targets(), (std::vector<std::string>{Target("anime", 1), Target("anime", 2),
                                                           Target("anime", 3)}));
    ExpectReferred("GET");
    EXPECT_EQ(Described(rows),
              DescribedAs(std::vector<Row>{page1[0], page1[1], page1[2], page2[0]},
                          [&](const Row& row) { return Expected(base_, row, 3 * 256 + 1); }));

    // The run adopted the newest date: the same pages bring nothing now.
    ExpectRerunStopsAt(site, 3, 1, Target("anime", 1));

    // Music: every page brings something new, so the run ends at page 8.
    ExpectPageLimit(
        site, 4, 6, 8, [](int page) { return Target("music", page); },
        [](int page) {
            return stork_pages::Page("音乐", {MakeRow(20 - page, 8, page, "专辑", 1, Seeds::kHot)});
        });

    site_test::ExpectNoComment(site, Expected(base_, page1[0], 0));
}

TEST_F(StorkSite, SearchesNothingAndFetchesTorrentsDirectly) {
    site_harness::LoadedSite site("stork.so", base_);

    // No search of this site is known: a search ends at once, asking nothing.
    ExpectInertSearch(site);

    // The site links its files absolutely.
    Row row = MakeRow(10, 21, 42, "犬夜叉 第12话", 17, Seeds::kHot);
    row.link = server_.Url("/d/42.torrent");
    TorrentRecord record = Expected(base_, row, 3 * 256 + 1);
    ExpectFetchedFrom(site, record, "/d/42.torrent", "犬夜叉");
}

}  // namespace
