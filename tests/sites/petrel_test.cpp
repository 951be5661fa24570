// The second larkspur build, for the site petrel, installed as
// kernel/petrel/larkspur.so and driven through its exports against a
// fixture site.
#include <gtest/gtest.h>

#include "petrel_pages.h"
#include "site_test_support.h"

namespace {

using petrel_pages::Row;
using site_test::Before;
using site_test::DateOf;
using site_test::Described;
using site_test::DescribedAs;

std::string Target(int category, int page) {
    const std::string id = std::to_string(category);
    return "/index.php?active=&category=" + id + "&category=" + id +
           "&page=" + std::to_string(page);
}

TorrentRecord Expected(const std::string& base, const Row& row, int type) {
    TorrentRecord record = site_test::Listed("petrel", row.title, DateOf(row.when));
    record.Addr0 = base + petrel_pages::TorrentLink(row);
    record.WebAddr = base + petrel_pages::DetailLink(row);
    record.Type = type;
    site_test::AddCounts(record, row);
    return record;
}

using PetrelSite = site_test::SiteTest;

TEST_F(PetrelSite, RunsSlotsUntilNothingIsNewerOrThePageLimit) {
    const std::vector<Row> page1 = {
        {Before(0), "a1f3", "我的父亲母亲", "700 MB", 4, 6, true},
        {Before(5), "a1f2", "大长今 第1-10集", "3.5 GB", 120, 45, false},
    };
    const std::vector<Row> page2 = {
        {Before(30), "a1f1", "还珠格格", "1.4 GB", 0, 2, true},
        {Before(40), "a1f0", "已取过的", "1 MB", 1, 1, false},
    };
    const std::vector<Row> page3 = {{Before(90), "a1e9", "更早的", "1 MB", 1, 1, false}};
    Serve(Target(5, 1), petrel_pages::Page(page1));
    Serve(Target(5, 2), petrel_pages::Page(page2));
    Serve(Target(5, 3), petrel_pages::Page(page3));

    site_harness::LoadedSite site("petrel/larkspur.so", base_);
    site.ClearPageRecord(2, 2, DateOf(page2[1].when));
    const TorrentRecordArray rows = site.RunSlot(2, 2);
    EXPECT_EQ(server_.Targets(),
              (std::vector<std::string>{Target(5, 1), Target(5, 2), Target(5, 3)}));
    ExpectReferred("GET");
    EXPECT_EQ(Described(rows),
              DescribedAs(std::vector<Row>{page1[0], page1[1], page2[0]},
                          [&](const Row& row) { return Expected(base_, row, 2 * 256 + 2); }));

    // The run adopted the newest date: the same pages bring nothing now.
    ExpectRerunStopsAt(site, 2, 2, Target(5, 1));

    // Variety shows: every page brings something new, so the run ends at
    // page 8.
    ExpectPageLimit(
        site, 2, 3, 8, [](int page) { return Target(2, page); },
        [](int page) {
            return petrel_pages::Page(
                {{Before(page), "b" + std::to_string(page), "综艺", "350 MB", 1, 1, false}});
        });

    // The record's detail page, framed.
    const site_test::ShownComment shown =
        site_test::ShowComment(site, Expected(base_, page1[0], 0));
    EXPECT_EQ(shown.result, 1);
    EXPECT_EQ(shown.text, site_test::Frame(base_ + "details.php?id=a1f3"));

    // Its dates are kept under its own registry name, apart from lark's
    // build with the same file name.
    site.Unload();
    const std::string newest = "22=" + site_test::RefreshValue(DateOf(page1[0].when)) + "\n";
    const std::string registry = site.ReadRegistry();
    const size_t section = registry.find("[RefreshDate_petrel/larkspur.so]\n");
    ASSERT_NE(section, std::string::npos) << registry;
    EXPECT_NE(registry.find(newest, section), std::string::npos) << registry;
}

TEST_F(PetrelSite, SearchesWithTheKeywordEscapedAndFetchesTorrentsDirectly) {
    const std::vector<Row> found = {
        {Before(0), "c0d1", "大长今 全集", "8.2 GB", 31, 7, true},
        {Before(900), "c0d0", "大长今 OST", "120 MB", 2, 0, false},
    };
    Serve("/index.php", petrel_pages::Page(found));

    site_harness::LoadedSite site("petrel/larkspur.so", base_);
    const TorrentRecordArray rows = site.RunSearch("大长今");
    ASSERT_EQ(server_.Requests().size(), 1u);
    const testing_support::FixtureRequest request = server_.Requests()[0];
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, "/index.php");
    EXPECT_EQ(request.body,
              "testoricerca=%B4%F3%B3%A4%BD%F1&category=0&active=0&ricerca=%CB%D1%CB%F7");
    // The form posts to itself, and says so.
    EXPECT_EQ(request.Header("referer"), base_ + "index.php");
    EXPECT_EQ(Described(rows),
              DescribedAs(found, [&](const Row& row) { return Expected(base_, row, 0); }));

    ASSERT_FALSE(rows.empty());
    ExpectFetchedFrom(site, rows[0], "/download.php?id=c0d1&f=c0d1.torrent", "大长今");
}

}  // namespace
