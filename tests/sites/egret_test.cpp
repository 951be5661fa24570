// egret.so against a fixture site whose listing is a form: every page is a
// post of the page number and the category id.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <map>

#include "egret_pages.h"
#include "fetch_harness.h"
#include "site_harness.h"

namespace {

using egret_pages::Row;
using testing_support::FixtureReply;
using testing_support::FixtureRequest;
using testing_support::FixtureServer;

struct Served {
    Row row;
    OleDate date;
};

// Dated `days` days before now at hour:minute; the site prints no year.
Served MakeRow(int id, int days, int hour, int minute) {
    const time_t when = std::time(nullptr) - static_cast<time_t>(days) * 24 * 3600;
    std::tm local{};
    localtime_r(&when, &local);
    Served served;
    served.row.id = id;
    served.row.month = local.tm_mon + 1;
    served.row.day = local.tm_mday;
    served.row.hour = hour;
    served.row.minute = minute;
    served.row.title = "电影 " + std::to_string(id) + " 国语中字";
    served.row.description = "<img src=\"http://img.egret.example/p/" + std::to_string(id) +
                             ".jpg\" border=0><br>导演：张三 主演：李四";
    served.row.size = std::to_string(600 + id) + "MB";
    served.row.seeds = 30 + id;
    served.row.peers = id % 5;
    served.date =
        OleDate::FromFields(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, hour, minute);
    return served;
}

std::vector<Row> Rows(const std::vector<Served>& served) {
    std::vector<Row> rows;
    for (const Served& s : served) {
        rows.push_back(s.row);
    }
    return rows;
}

std::string Describe(const TorrentRecord& r) {
    return "AddDate=" + r.AddDate.Format() + " RefreshDate=" + r.RefreshDate.Format() +
           " Name=" + r.Name + " Addr0=" + r.Addr0 + " Addr1..3=" + r.Addr1 + r.Addr2 + r.Addr3 +
           " WebAddr=" + r.WebAddr + " Type=" + std::to_string(r.Type) + " Size=" + r.Size +
           " Seeds=" + std::to_string(r.Seeds) + " Peers=" + std::to_string(r.Peers) +
           " Comment=" + r.Comment + " bCompleted=" + std::to_string(r.bCompleted) +
           " FileName=" + r.FileName + " DownHd=" + std::to_string(r.DownHd) +
           " DllID=" + std::to_string(r.DllID);
}

// The description comes back without the script's escapes.
std::string Expected(const Served& served, const std::string& base, int type = 0) {
    TorrentRecord record;
    record.AddDate = served.date;
    record.RefreshDate = served.date;
    record.Name = "[egret]" + served.row.title;
    record.Addr0 = base + "details.php?id=" + std::to_string(served.row.id);
    record.WebAddr = record.Addr0;
    record.Type = type;
    record.Size = served.row.size;
    record.Seeds = served.row.seeds;
    record.Peers = served.row.peers;
    record.Comment = served.row.description;
    return Describe(record);
}

std::vector<std::string> Described(const TorrentRecordArray& rows) {
    std::vector<std::string> out;
    for (const TorrentRecord& r : rows) {
        out.push_back(Describe(r));
    }
    return out;
}

std::string Body(int page, const std::string& category) {
    return "sorttype=&page=" + std::to_string(page) + "&category=" + category +
           "&tracker=&keyword=&keytype=subject";
}

// The form script answers by the posted page and category; anything else is
// not found.
class EgretSite : public ::testing::Test {
  protected:
    void SetUp() override {
        server_.SetHandler([this](const FixtureRequest& request) {
            FixtureReply reply;
            const auto page = pages_.find(request.body);
            if (request.method != "POST" || request.target != "/index.php" ||
                page == pages_.end()) {
                reply.status = 404;
                return reply;
            }
            reply.body = page->second;
            return reply;
        });
    }

    void Serve(int page, const std::string& category, const std::vector<Served>& rows) {
        pages_[Body(page, category)] = egret_pages::Page("电影", Rows(rows));
    }

    std::vector<std::string> Bodies() const {
        std::vector<std::string> bodies;
        for (const auto& request : server_.Requests()) {
            EXPECT_EQ(request.method, "POST");
            EXPECT_EQ(request.target, "/index.php");
            EXPECT_EQ(request.Header("referer"), base_);
            bodies.push_back(request.body);
        }
        return bodies;
    }

    // Filled before the first request; read by the server's threads only.
    std::map<std::string, std::string> pages_;
    FixtureServer server_;
    const std::string base_ = server_.Url("/");
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

    EXPECT_EQ(Bodies(),
              (std::vector<std::string>{Body(1, "6"), Body(2, "6"), Body(3, "6"), Body(1, "7"),
                                        Body(2, "7"), Body(3, "7"), Body(4, "7"), Body(5, "7")}));
    EXPECT_EQ(Bodies()[6], "sorttype=&page=4&category=7&tracker=&keyword=&keytype=subject");
    const int type = 2 * 256 + 1;
    EXPECT_EQ(Described(rows), (std::vector<std::string>{
                                   Expected(six1[0], base_, type), Expected(six1[1], base_, type),
                                   Expected(six2[0], base_, type), Expected(seven[0], base_, type),
                                   Expected(seven[1], base_, type), Expected(seven[2], base_, type),
                                   Expected(seven[3], base_, type)}));

    ASSERT_FALSE(rows.empty());
    TorrentRecord record = rows[0];
    char* buffer = nullptr;
    int length = 0;
    EXPECT_EQ(site.WebIOCtl(&record, 1, 0, 0, &buffer, 0, &length), 1);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(std::string(buffer), record.Comment);
    EXPECT_EQ(length, static_cast<int>(record.Comment.size() + 1));
    std::free(buffer);
}

TEST_F(EgretSite, OneCategorySlotStopsAtItsFirstPageWithoutNewRows) {
    const std::vector<Served> first = {MakeRow(31, 1, 12, 0), MakeRow(32, 2, 12, 0)};
    Serve(1, "3", first);
    Serve(2, "3", {MakeRow(33, 4, 12, 0), MakeRow(34, 6, 12, 0)});

    site_harness::LoadedSite site("egret.so", base_);
    site.ClearPageRecord(1, 1, MakeRow(0, 3, 0, 0).date);
    const TorrentRecordArray rows = site.RunSlot(1, 1);
    EXPECT_EQ(Described(rows), (std::vector<std::string>{Expected(first[0], base_, 1 * 256 + 1),
                                                         Expected(first[1], base_, 1 * 256 + 1)}));
    EXPECT_EQ(Bodies(), (std::vector<std::string>{Body(1, "3"), Body(2, "3")}));

    // The stop moved the slot's date to its newest row.
    server_.ClearRequests();
    EXPECT_TRUE(site.RunSlot(1, 1).empty());
    EXPECT_EQ(Bodies(), std::vector<std::string>{Body(1, "3")});
}

TEST_F(EgretSite, SearchPostsTheEscapedKeywordAndTakesRowsOfAnyAge) {
    const std::vector<Served> found = {MakeRow(81, 3, 10, 0), MakeRow(82, 200, 9, 0)};
    const std::string body =
        "sorttype=&page=&category=&tracker=&keyword=%D3%A2%D0%DB%20%32"
        "&keytype=subject";
    pages_[body] = egret_pages::Page("搜索", Rows(found));

    site_harness::LoadedSite site("egret.so", base_);
    EXPECT_EQ(Described(site.RunSearch("英雄 2")),
              (std::vector<std::string>{Expected(found[0], base_), Expected(found[1], base_)}));
    EXPECT_EQ(Bodies(), std::vector<std::string>{body});
}

TEST_F(EgretSite, FetchesTheTorrentLinkedFromTheDetailPage) {
    const std::string torrent = fetch_harness::Torrent("egret 61");
    server_.Route("/details.php?id=61",
                  fetch_harness::Reply(egret_pages::DetailPage(
                      "电影 61", "download.php?url=attachments/200506/61_a8f3.torrent")));
    server_.Route("/download.php?url=attachments/200506/61_a8f3.torrent",
                  fetch_harness::Reply(torrent));

    site_harness::LoadedSite site("egret.so", base_);
    TorrentRecord record;
    record.FileName = "电影 61";
    record.Addr0 = base_ + "details.php?id=61";
    EXPECT_EQ(fetch_harness::Fetch(site, record).statuses.back(), 100);
    EXPECT_EQ(fetch_harness::ReadTorrent(site, "电影 61"), torrent);
    EXPECT_EQ(fetch_harness::TorrentFiles(site), std::vector<std::string>{"电影 61.torrent"});
    EXPECT_EQ(server_.Targets(),
              (std::vector<std::string>{"/details.php?id=61",
                                        "/download.php?url=attachments/200506/61_a8f3.torrent"}));
    for (const auto& request : server_.Requests()) {
        EXPECT_EQ(request.method, "GET");
        EXPECT_EQ(request.Header("referer"), base_);
    }
}

}  // namespace
