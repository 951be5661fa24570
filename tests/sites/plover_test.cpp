// plover.so driven through its exports against a fixture site.
#include <gtest/gtest.h>

#include "plover_pages.h"
#include "site_test_support.h"

namespace {

using plover_pages::Row;
using site_test::Described;
using site_test::DescribedAs;

std::string Target(int category, int page) {
    return "/index_A_" + std::to_string(category) + "_" + std::to_string(page) + ".htm";
}

TorrentRecord Expected(const std::string& base, const Row& row, int type) {
    TorrentRecord record = site_test::Listed("plover", row.title, OleDate::Parse(row.date + ":00"));
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

using PloverSite = site_test::SiteTest;

TEST_F(PloverSite, RunsSlotsUntilNothingIsNewerOrThePageLimit) {
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
    Serve(Target(1, 1), plover_pages::Page("电影", page1));
    Serve(Target(1, 2), plover_pages::Page("电影", page2));
    Serve(Target(1, 3), plover_pages::Page("电影", page3));

    site_harness::LoadedSite site("plover.so", base_);
    site.ClearPageRecord(2, 1, OleDate::Parse("2005-03-09 12:00:00"));
    const TorrentRecordArray rows = site.RunSlot(2, 1);
    EXPECT_EQ(server_.Targets(),
              (std::vector<std::string>{Target(1, 1), Target(1, 2), Target(1, 3)}));
    ExpectReferred("GET");
    EXPECT_EQ(Described(rows),
              DescribedAs(std::vector<Row>{page1[0], page1[1], page1[2], page1[3], page2[0]},
                          [&](const Row& row) { return Expected(base_, row, 2 * 256 + 1); }));

    // The run adopted the newest date: the same pages bring nothing now.
    ExpectRerunStopsAt(site, 2, 1, Target(1, 1));

    // Other (index_A_10): every page brings something new, so the run ends at
    // page 10.
    ExpectPageLimit(
        site, 5, 2, 10, [](int page) { return Target(10, page); },
        [](int page) {
            return plover_pages::Page(
                "其他", {MakeRow("2005-02-" + std::to_string(28 - page) + " 10:00", page, "其他")});
        });

    // The record's detail page, framed.
    const site_test::ShownComment shown =
        site_test::ShowComment(site, Expected(base_, page1[0], 0));
    const std::string frame = site_test::Frame(base_ + "show_77.htm");
    EXPECT_EQ(shown.result, 1);
    EXPECT_EQ(shown.text, frame);
    EXPECT_EQ(shown.length, static_cast<int>(frame.size() + 1));
}

TEST_F(PloverSite, SearchesNothingAndFetchesTorrentsDirectly) {
    site_harness::LoadedSite site("plover.so", base_);

    // No search of this site is known: a search ends at once, asking nothing.
    ExpectInertSearch(site);

    // The site links its files absolutely, on a download host of its own.
    Row row = MakeRow("2005-03-10 21:30", 77, "英雄 DVD");
    row.torrent = server_.Url("/dl/77.torrent");
    TorrentRecord record = Expected(base_, row, 2 * 256 + 1);
    ExpectFetchedFrom(site, record, "/dl/77.torrent", "英雄");
}

}  // namespace
