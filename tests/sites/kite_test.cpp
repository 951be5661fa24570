// kite.so against a fixture site whose listing is a form post of page and
// category; kite serves four slots and no films or other groups.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <map>

#include "fetch_harness.h"
#include "kite_pages.h"
#include "site_harness.h"

namespace {

using kite_pages::Row;
using testing_support::FixtureReply;
using testing_support::FixtureRequest;
using testing_support::FixtureServer;

struct Served {
    Row row;
    OleDate date;
};

// Dated `days` days before now at hour:minute; the site prints no year.
Served MakeRow(int id, int days, int hour, int minute, const std::string& color = "") {
    const time_t when = std::time(nullptr) - static_cast<time_t>(days) * 24 * 3600;
    std::tm local{};
    localtime_r(&when, &local);
    Served served;
    served.row.id = id;
    served.row.month = local.tm_mon + 1;
    served.row.day = local.tm_mday;
    served.row.hour = hour;
    served.row.minute = minute;
    served.row.title = "[字幕组][动画 " + std::to_string(id) + "][GB][720P]";
    served.row.color = color;
    served.row.description = "<img src=\"http://kite.example/cover/" + std::to_string(id) +
                             ".jpg\" width=200> 第" + std::to_string(id) + "话";
    served.row.size = std::to_string(200 + id) + "MB";
    served.row.seeds = 40 + id;
    served.row.peers = id % 9;
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

// A featured title loses its colour.
std::string Expected(const Served& served, const std::string& base, int type = 0) {
    TorrentRecord record;
    record.AddDate = served.date;
    record.RefreshDate = served.date;
    record.Name = "[kite]" + served.row.title;
    record.Addr0 = base + "show.php?id=" + std::to_string(served.row.id);
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
    return "sorttype=&groupid=&page=" + std::to_string(page) + "&tracker=&category=" + category +
           "&keyword=&keytype=subject";
}

class KiteSite : public ::testing::Test {
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
        pages_[Body(page, category)] = kite_pages::Page(Rows(rows));
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

    std::map<std::string, std::string> pages_;
    FixtureServer server_;
    const std::string base_ = server_.Url("/");
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
    EXPECT_EQ(Described(rows),
              (std::vector<std::string>{
                  Expected(page1[0], base_, type), Expected(page1[1], base_, type),
                  Expected(page1[2], base_, type), Expected(page2[0], base_, type)}));
    EXPECT_EQ(Bodies(), (std::vector<std::string>{Body(1, "1"), Body(2, "1"), Body(3, "1")}));

    server_.ClearRequests();
    EXPECT_TRUE(site.RunSlot(3, 1).empty());
    EXPECT_EQ(Bodies(), std::vector<std::string>{Body(1, "1")});

    ASSERT_FALSE(rows.empty());
    TorrentRecord record = rows[0];
    char* buffer = nullptr;
    int length = 0;
    EXPECT_EQ(site.WebIOCtl(&record, 1, 0, 0, &buffer, 0, &length), 1);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(std::string(buffer), record.Comment);
    std::free(buffer);
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
    EXPECT_EQ(Bodies(), expected);
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
    EXPECT_EQ(Described(rows),
              (std::vector<std::string>{Expected(found[0], base_), Expected(found[1], base_)}));
    EXPECT_EQ(Bodies(), std::vector<std::string>{body});

    server_.ClearRequests();
    ASSERT_FALSE(rows.empty());
    TorrentRecord record = rows[0];
    record.FileName = "动画 91";
    EXPECT_EQ(fetch_harness::Fetch(site, record).statuses.back(), 100);
    EXPECT_EQ(fetch_harness::ReadTorrent(site, "动画 91"), torrent);
    EXPECT_EQ(server_.Targets(),
              (std::vector<std::string>{"/show.php?id=91", "/download.php?id=91&passkey=5f2a"}));
    for (const auto& request : server_.Requests()) {
        EXPECT_EQ(request.Header("referer"), base_);
    }
}

}  // namespace
