// egret.so against a fixture site whose listing is a form: every page is a
// post of the page number and the category id.
#include <gtest/gtest.h>

#include "egret_pages.h"
#include "site_test_support.h"

namespace {

using egret_pages::Row;
using Served = site_test::Served<Row>;
using site_test::Rows;

Served MakeRow(int id, int days, int hour, int minute) {
    Served served = site_test::ServedAt<Row>(id, days, hour, minute);
    served.row.title = "电影 " + std::to_string(id) + " 国语中字";
    served.row.description = "<img src=\"http://img.egret.example/p/" + std::to_string(id) +
                             ".jpg\" border=0><br>导演：张三 主演：李四";
    served.row.size = std::to_string(600 + id) + "MB";
    served.row.seeds = 30 + id;
    served.row.peers = id % 5;
    return served;
}

// The description comes back without the script's escapes.
std::string Expected(const Served& served, const std::string& base, int type = 0) {
    TorrentRecord record = site_test::Listed("egret", served.row.title, served.date);
    record.Addr0 = base + "details.php?id=" + std::to_string(served.row.id);
    record.WebAddr = record.Addr0;
    record.Type = type;
    site_test::AddCounts(record, served.row);
    record.Comment = served.row.description;
    return site_test::Describe(record);
}

std::string Body(int page, const std::string& category) {
    return "sorttype=&page=" + std::to_string(page) + "&category=" + category +
           "&tracker=&keyword=&keytype=subject";
}

class EgretSite : public site_test::FormPostSite {
  protected:
    void Serve(int page, const std::string& category, const std::vector<Served>& rows) {
        pages_[Body(page, category)] = egret_pages::Page("电影", Rows(rows));
    }
};

TEST_F(EgretSite, PostsEachCategoryOfTheSlotPageByPage) {
    // Category 6: two pages of new rows, then one of old rows.
    const std::vector<Served> six1 = {MakeRow(61, 1, 22, 10), MakeRow(62, 1, 8, 0)};
    const std::vector<Served> six2 = {MakeRow(63, 2, 7, 30)};
    Serve(1, "6", six1);
    Serve(2, "6", six2);
    Serve(3, "6", {MakeRow(64, 9, 7, 30)});
    // Category 7: four pages of new rows, then a page without rows.
    std::vector<Served> seven;
    for (int page = 1; page <= 4; ++page) {
        seven.push_back(MakeRow(70 + page, 3, 20 - page, 0));
        Serve(page, "7", {seven.back()});
    }
    Serve(5, "7", {});

    site_harness::LoadedSite site("egret.so", base_);
    site.ClearPageRecord(2, 1, MakeRow(0, 5, 0, 0).date);
    const TorrentRecordArray rows = site.RunSlot(2, 1);

    EXPECT_EQ(Asked(),
              (std::vector<std::string>{Body(1, "6"), Body(2, "6"), Body(3, "6"), Body(1, "7"),
                                        Body(2, "7"), Body(3, "7"), Body(4, "7"), Body(5, "7")}));
    EXPECT_EQ(Asked()[6], "sorttype=&page=4&category=7&tracker=&keyword=&keytype=subject");
    const int type = 2 * 256 + 1;
    EXPECT_EQ(
        site_test::Described(rows),
        (std::vector<std::string>{Expected(six1[0], base_, type), Expected(six1[1], base_, type),
                                  Expected(six2[0], base_, type), Expected(seven[0], base_, type),
                                  Expected(seven[1], base_, type), Expected(seven[2], base_, type),
                                  Expected(seven[3], base_, type)}));

    ASSERT_FALSE(rows.empty());
    const site_test::ShownComment shown = site_test::ShowComment(site, rows[0]);
    EXPECT_EQ(shown.result, 1);
    EXPECT_EQ(shown.text, rows[0].Comment);
    EXPECT_EQ(shown.length, static_cast<int>(rows[0].Comment.size() + 1));
}

TEST_F(EgretSite, OneCategorySlotStopsAtItsFirstPageWithoutNewRows) {
    const std::vector<Served> first = {MakeRow(31, 1, 12, 0), MakeRow(32, 2, 12, 0)};
    Serve(1, "3", first);
    Serve(2, "3", {MakeRow(33, 4, 12, 0), MakeRow(34, 6, 12, 0)});

    site_harness::LoadedSite site("egret.so", base_);
    site.ClearPageRecord(1, 1, MakeRow(0, 3, 0, 0).date);
    const TorrentRecordArray rows = site.RunSlot(1, 1);
    EXPECT_EQ(site_test::Described(rows),
              (std::vector<std::string>{Expected(first[0], base_, 1 * 256 + 1),
                                        Expected(first[1], base_, 1 * 256 + 1)}));
    EXPECT_EQ(Asked(), (std::vector<std::string>{Body(1, "3"), Body(2, "3")}));
    ExpectRerunStopsAt(site, 1, 1, Body(1, "3"));
}

TEST_F(EgretSite, SearchPostsTheEscapedKeywordAndTakesRowsOfAnyAge) {
    const std::vector<Served> found = {MakeRow(81, 3, 10, 0), MakeRow(82, 200, 9, 0)};
    const std::string body =
        "sorttype=&page=&category=&tracker=&keyword=%D3%A2%D0%DB%20%32"
        "&keytype=subject";
    pages_[body] = egret_pages::Page("搜索", Rows(found));

    site_harness::LoadedSite site("egret.so", base_);
    EXPECT_EQ(site_test::Described(site.RunSearch("英雄 2")),
              (std::vector<std::string>{Expected(found[0], base_), Expected(found[1], base_)}));
    EXPECT_EQ(Asked(), std::vector<std::string>{body});
}

TEST_F(EgretSite, FetchesTheTorrentLinkedFromTheDetailPage) {
    const std::string torrent = fetch_harness::Torrent("egret 61");
    server_.Route("/details.php?id=61",
                  fetch_harness::Reply(egret_pages::DetailPage(
                      "电影 61", "download.php?url=attachments/200506/61_a8f3.torrent")));
    server_.Route("/download.php?url=attachments/200506/61_a8f3.torrent",
                  fetch_harness::Reply(torrent));

    site_harness::LoadedSite site("egret.so", base_);
    site_test::ExpectFetched(site, site_test::At(base_ + "details.php?id=61"), "电影 61", torrent);
    EXPECT_EQ(fetch_harness::TorrentFiles(site), std::vector<std::string>{"电影 61.torrent"});
    EXPECT_EQ(server_.Targets(),
              (std::vector<std::string>{"/details.php?id=61",
                                        "/download.php?url=attachments/200506/61_a8f3.torrent"}));
    ExpectReferred("GET");
}

}  // namespace
