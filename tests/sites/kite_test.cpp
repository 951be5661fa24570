// kite.so against a fixture site whose listing is a form post of page and
// category; kite serves four slots and no films or other groups.
#include <gtest/gtest.h>

#include "kite_pages.h"
#include "site_test_support.h"

namespace {

using kite_pages::Row;
using Served = site_test::Served<Row>;
using site_test::Rows;

Served MakeRow(int id, int days, int hour, int minute, const std::string& color = "") {
    Served served = site_test::ServedAt<Row>(id, days, hour, minute);
    served.row.title = "[字幕组][动画 " + std::to_string(id) + "][GB][720P]";
    served.row.color = color;
    served.row.description = "<img src=\"http://kite.example/cover/" + std::to_string(id) +
                             ".jpg\" width=200> 第" + std::to_string(id) + "话";
    served.row.size = std::to_string(200 + id) + "MB";
    served.row.seeds = 40 + id;
    served.row.peers = id % 9;
    return served;
}

// A featured title loses its colour.
std::string Expected(const Served& served, const std::string& base, int type = 0) {
    TorrentRecord record = site_test::Listed("kite", served.row.title, served.date);
    record.Addr0 = base + "show.php?id=" + std::to_string(served.row.id);
    record.WebAddr = record.Addr0;
    record.Type = type;
    site_test::AddCounts(record, served.row);
    record.Comment = served.row.description;
    return site_test::Describe(record);
}

std::string Body(int page, const std::string& category) {
    return "sorttype=&groupid=&page=" + std::to_string(page) + "&tracker=&category=" + category +
           "&keyword=&keytype=subject";
}

class KiteSite : public site_test::FormPostSite {
  protected:
    void Serve(int page, const std::string& category, const std::vector<Served>& rows) {
        pages_[Body(page, category)] = kite_pages::Page(Rows(rows));
    }
};

TEST_F(KiteSite, PostsPagesOfTheCategoryUntilNothingIsNewer) {
    const std::vector<Served> page1 = {MakeRow(11, 1, 23, 0, "#FF6600"), MakeRow(12, 1, 20, 30),
                                       MakeRow(13, 2, 6, 15)};
    const std::vector<Served> page2 = {MakeRow(14, 2, 6, 14), MakeRow(15, 2, 6, 0)};
    Serve(1, "1", page1);
    Serve(2, "1", page2);
    Serve(3, "1", {MakeRow(16, 4, 0, 0)});

    site_harness::LoadedSite site("kite.so", base_);
    site.ClearPageRecord(3, 1, page2[1].date);
    const TorrentRecordArray rows = site.RunSlot(3, 1);
    const int type = 3 * 256 + 1;
    EXPECT_EQ(site_test::Described(rows),
              (std::vector<std::string>{
                  Expected(page1[0], base_, type), Expected(page1[1], base_, type),
                  Expected(page1[2], base_, type), Expected(page2[0], base_, type)}));
    EXPECT_EQ(Asked(), (std::vector<std::string>{Body(1, "1"), Body(2, "1"), Body(3, "1")}));

    ExpectRerunStopsAt(site, 3, 1, Body(1, "1"));

    ASSERT_FALSE(rows.empty());
    const site_test::ShownComment shown = site_test::ShowComment(site, rows[0]);
    EXPECT_EQ(shown.result, 1);
    EXPECT_EQ(shown.text, rows[0].Comment);
}

TEST_F(KiteSite, StopsAtThePageLimitAndServesNoOtherGroups) {
    for (int page = 1; page <= 9; ++page) {
        Serve(page, "5", {MakeRow(50 + page, 1, 23 - page, 0)});
    }
    site_harness::LoadedSite site("kite.so", base_);
    std::vector<int> progress;
    EXPECT_EQ(site.RunSlot(1, 3, &progress).size(), 8u);
    std::vector<std::string> expected;
    for (int page = 1; page <= 8; ++page) {
        expected.push_back(Body(page, "5"));
    }
    EXPECT_EQ(Asked(), expected);
    std::erase(progress, 0);
    EXPECT_EQ(progress, (std::vector<int>{12, 25, 37, 50, 62, 75, 87, 100}));

    // Neither films (group 2) nor other things (group 5): no request, done at
    // once, nothing handed over.
    server_.ClearRequests();
    for (const auto& [group, index] : {std::pair{2, 1}, std::pair{5, 2}}) {
        EXPECT_EQ(site.StartDownPage(group, index), 1);
        EXPECT_EQ(site.GetDownPageStatus(group, index), 100);
        TorrentRecordArray untouched(1);
        EXPECT_EQ(site.GetDownPageData(group, index, &untouched), 1);
        EXPECT_EQ(untouched.size(), 1u);
        EXPECT_EQ(site.StopDownPage(group, index), 1);
    }
    EXPECT_TRUE(server_.Requests().empty());
}

TEST_F(KiteSite, SearchPostsTheEscapedKeywordAndFetchesThroughTheTorrentPage) {
    const std::vector<Served> found = {MakeRow(91, 5, 10, 0, "#0000FF"), MakeRow(92, 300, 9, 0)};
    const std::string body =
        "sorttype=&groupid=&page=&tracker=&category=&keyword=%B6%AF%BB%AD"
        "&keytype=subject";
    pages_[body] = kite_pages::Page(Rows(found));
    const std::string torrent = fetch_harness::Torrent("kite 91");
    server_.Route("/show.php?id=91", fetch_harness::Reply(kite_pages::DetailPage(
                                         "动画 91", "download.php?id=91&passkey=5f2a")));
    server_.Route("/download.php?id=91&passkey=5f2a", fetch_harness::Reply(torrent));

    site_harness::LoadedSite site("kite.so", base_);
    const TorrentRecordArray rows = site.RunSearch("动画");
    EXPECT_EQ(site_test::Described(rows),
              (std::vector<std::string>{Expected(found[0], base_), Expected(found[1], base_)}));
    EXPECT_EQ(Asked(), std::vector<std::string>{body});

    server_.ClearRequests();
    ASSERT_FALSE(rows.empty());
    site_test::ExpectFetched(site, rows[0], "动画 91", torrent);
    EXPECT_EQ(server_.Targets(),
              (std::vector<std::string>{"/show.php?id=91", "/download.php?id=91&passkey=5f2a"}));
    ExpectReferred();
}

}  // namespace
