#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "netfetch.h"
#include "plugin_manager.h"
#include "run_helpers.h"
#include "test_home.h"
#include "wren_site.h"

namespace {

using namespace run_helpers;
using testing_support::FixtureReply;
using testing_support::FixtureServer;
using wren_pages::Row;

class PageRun : public ::testing::Test {
  protected:
    void SetUp() override {
        g_now = LocalSeconds(2024, 6, 15, 12, 0);
        home_.WriteSite(server_.Url("/"));
    }
    void TearDown() override { CDownManager::SetMaxTransfers(CDownManager::kDefaultMaxTransfers); }

    void Load(const SiteData& site = wren::kSite) {
        manager_ = std::make_unique<PluginManager>(site, home_.Location(), &FakeNow);
    }
    RunResult Run(int group = 3, int index = 1) {
        manager_->StartDownPage(group, index);
        return PollUntilDone(
            [&] { return manager_->GetDownPageStatus(group, index); },
            [&](TorrentRecordArray* out) { manager_->GetDownPageData(group, index, out); });
    }
    // Polls once per call at the current fake time until `done` holds.
    void PollUntil(const std::function<bool(int)>& done, int group = 3, int index = 1) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!done(manager_->GetDownPageStatus(group, index))) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    void WaitForRequests(const std::string& target, int count) const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (Requests(target) < count && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    int Requests(const std::string& target) const {
        int count = 0;
        for (const auto& seen : server_.Targets()) {
            count += seen == target ? 1 : 0;
        }
        return count;
    }

    FixtureServer server_;
    TestHome home_;
    std::unique_ptr<PluginManager> manager_;
};

// Rows of `count`, newest first, ending the minute before `before` minutes
// into June 14th, with ids from `firstId`.
std::vector<Row> OlderRows(int firstId, int count, int before) {
    std::vector<Row> rows;
    for (int i = 0; i < count; ++i) {
        const int minute = before - 1 - i;
        rows.push_back(MakeRow(firstId + i, 6, 14, minute / 60, minute % 60));
    }
    return rows;
}

TEST_F(PageRun, FullRunReportsEveryStepOfThePageLimitInOrder) {
    std::vector<int> expectedIds;
    for (int page = 1; page <= 23; ++page) {
        const auto rows = OlderRows(page * 100, 2, 1440 - 2 * (page - 1));
        ServePage(server_, 1, page, rows);
        if (page <= 22) {
            expectedIds.insert(expectedIds.end(), {page * 100, page * 100 + 1});
        }
    }
    Load();
    const RunResult run = Run();

    std::vector<int> expectedSteps;
    for (int page = 1; page <= 22; ++page) {
        expectedSteps.push_back(100 * page / 22);
    }
    EXPECT_EQ(Steps(run.statuses), expectedSteps);
    std::vector<int> ids;
    for (const auto& row : run.rows) {
        ids.push_back(std::stoi(row.Addr0.substr(row.Addr0.find("id=") + 3)));
    }
    EXPECT_EQ(ids, expectedIds);
    EXPECT_EQ(Requests(ListingTarget(1, 22)), 1);
    EXPECT_EQ(Requests(ListingTarget(1, 23)), 0) << "the page limit is 22";
    for (const auto& request : server_.Requests()) {
        EXPECT_EQ(request.method, "GET");
        EXPECT_EQ(request.Header("referer"), server_.Url("/"));
    }
}

TEST_F(PageRun, MixedPageTakesOnlyNewerRowsAndTheNextOldPageEndsTheRun) {
    const Row pinned = MakeRow(1, 5, 1, 0, 0);
    const Row fresh = MakeRow(2, 6, 14, 10, 1);
    const Row same = MakeRow(3, 6, 14, 10, 0);
    ServePage(server_, 1, 1, {pinned, fresh, same, MakeRow(4, 6, 14, 9, 0)});
    ServePage(server_, 1, 2, OlderRows(10, 3, 9 * 60));
    ServePage(server_, 1, 3, {MakeRow(20, 6, 15, 0, 0)});
    Load();
    manager_->ClearPageRecord(3, 1, DateOf(same));
    EXPECT_NE(home_.ReadIni().find("31=" + FormatRefreshValue(DateOf(same).m_dt)),
              std::string::npos)
        << "ClearPageRecord writes at once";

    const RunResult run = Run();
    ASSERT_EQ(run.rows.size(), 1u);
    EXPECT_EQ(run.rows[0].AddDate, DateOf(fresh));
    EXPECT_EQ(Steps(run.statuses), (std::vector<int>{100 / 22, 100}));
    EXPECT_EQ(Requests(ListingTarget(1, 3)), 0);

    // The stop adopts the newest row in memory; the file follows at unload.
    manager_->StopDownPage(3, 1);
    EXPECT_EQ(home_.ReadIni().find("31=" + FormatRefreshValue(DateOf(fresh).m_dt)),
              std::string::npos);
    const RunResult again = Run();
    EXPECT_TRUE(again.rows.empty()) << "the first page holds nothing newer now";
    manager_->StopDownPage(3, 1);
    manager_.reset();
    EXPECT_NE(home_.ReadIni().find("31=" + FormatRefreshValue(DateOf(fresh).m_dt)),
              std::string::npos);
}

TEST_F(PageRun, EarlierRefreshDateTakesRowsAgainAndUnservedSlotsWriteNothing) {
    ServePage(server_, 2, 1, OlderRows(1, 3, 600));
    ServePage(server_, 2, 2, OlderRows(10, 3, 100));
    Load();
    manager_->ClearPageRecord(3, 2, DateOf(MakeRow(0, 6, 14, 5, 0)));
    EXPECT_EQ(Run(3, 2).rows.size(), 3u);
    manager_->StopDownPage(3, 2);

    OleDate zero;
    manager_->ClearPageRecord(3, 2, zero);
    EXPECT_NE(home_.ReadIni().find("32=0.000000000"), std::string::npos);
    EXPECT_EQ(Run(3, 2).rows.size(), 6u) << "date 0 takes everything again";
    manager_->StopDownPage(3, 2);

    const std::string before = home_.ReadIni();
    manager_->ClearPageRecord(2, 3, zero);
    manager_->ClearPageRecord(3, 0, zero);
    EXPECT_EQ(home_.ReadIni(), before);
}

TEST_F(PageRun, UnservedAndUnstartedSlotsAnswerNeutrally) {
    Load();
    TorrentRecordArray untouched(1);
    untouched[0].Name = "kept";
    EXPECT_EQ(manager_->GetDownPageStatus(3, 1), 100) << "never started";
    for (const auto& [group, index] : {std::pair{2, 1}, {3, 0}, {0, 0}, {6, 1}, {-1, 1}, {3, 8}}) {
        EXPECT_EQ(manager_->StartDownPage(group, index), 1);
        EXPECT_EQ(manager_->GetDownPageStatus(group, index), 100);
        EXPECT_EQ(manager_->GetDownPageData(group, index, &untouched), 1);
        EXPECT_EQ(manager_->StopDownPage(group, index), 1);
    }
    ASSERT_EQ(untouched.size(), 1u);
    EXPECT_EQ(untouched[0].Name, "kept");
    EXPECT_TRUE(server_.Targets().empty());
}

TEST_F(PageRun, StartWaitsForAFreeTransferAndPollsAnswerZeroMeanwhile) {
    FixtureReply hang;
    hang.body = std::string(1000, ' ');
    hang.stallAfterBytes = 0;
    server_.Route("/hang", hang);
    ServePage(server_, 1, 1, OlderRows(1, 2, 600));
    ServePage(server_, 1, 2, {});
    CDownManager::SetMaxTransfers(1);
    auto blocker = std::make_unique<CDownManager>();
    ASSERT_NE(blocker->DownLoadFile(server_.Url("/hang").c_str()), 0);
    Load();

    EXPECT_EQ(manager_->StartDownPage(3, 1), 1);
    EXPECT_EQ(manager_->GetDownPageStatus(3, 1), 0);
    EXPECT_EQ(manager_->StopDownPage(3, 1), 1) << "a queued start stays queued";
    EXPECT_EQ(manager_->GetDownPageStatus(3, 1), 0);
    EXPECT_EQ(Requests(ListingTarget(1, 1)), 0);

    blocker->Close();
    const RunResult run =
        PollUntilDone([&] { return manager_->GetDownPageStatus(3, 1); },
                      [&](TorrentRecordArray* out) { manager_->GetDownPageData(3, 1, out); });
    EXPECT_EQ(run.rows.size(), 2u);
}

TEST_F(PageRun, StallOnTheFirstPageStopsTheRunAfterThirtySeconds) {
    FixtureReply hang = PageReply(server_, OlderRows(1, 2, 600));
    hang.stallAfterBytes = 0;
    server_.Route(ListingTarget(1, 1), hang);
    Load();
    const int64_t start = g_now;
    ASSERT_EQ(manager_->StartDownPage(3, 1), 1);
    WaitForRequests(ListingTarget(1, 1), 1);
    EXPECT_EQ(manager_->GetDownPageStatus(3, 1), 0);
    g_now = start + 30;
    EXPECT_EQ(manager_->GetDownPageStatus(3, 1), 0);
    g_now = start + 31;
    EXPECT_EQ(manager_->GetDownPageStatus(3, 1), 100);
    EXPECT_EQ(manager_->GetDownPageStatus(3, 1), 100);

    // Stopped: a new start asks for page 1 again.
    manager_->StartDownPage(3, 1);
    WaitForRequests(ListingTarget(1, 1), 2);
    EXPECT_EQ(Requests(ListingTarget(1, 1)), 2);
}

TEST_F(PageRun, StallOnALaterPageKeepsEarlierRowsAndCountsFromItsOwnRequest) {
    const auto firstPage = OlderRows(1, 3, 600);
    ServePage(server_, 1, 1, firstPage);
    FixtureReply hang = PageReply(server_, OlderRows(10, 3, 500));
    hang.stallAfterBytes = 0;
    server_.Route(ListingTarget(1, 2), hang);
    Load();
    const int64_t start = g_now;
    manager_->StartDownPage(3, 1);
    // Page 1 finishes between polls 20 seconds in; page 2 is asked for then.
    g_now = start + 20;
    PollUntil([](int status) { return status > 0; });
    g_now = start + 40;
    EXPECT_EQ(manager_->GetDownPageStatus(3, 1), 100 / 22);
    g_now = start + 51;
    EXPECT_EQ(manager_->GetDownPageStatus(3, 1), 100);
    TorrentRecordArray rows;
    manager_->GetDownPageData(3, 1, &rows);
    EXPECT_EQ(rows.size(), firstPage.size());
    g_now = start + 1000;
    EXPECT_EQ(manager_->GetDownPageStatus(3, 1), 100) << "an ended run stays ended";
}

TEST_F(PageRun, UpperCaseHtmlTailCompletesAPageWhoseConnectionHangs) {
    FixtureReply open = PageReply(server_, OlderRows(1, 4, 600));
    ASSERT_NE(open.body.find("</html>"), std::string::npos);
    open.body.replace(open.body.find("</html>"), 7, "</HTML>");
    open.stallAfterBytes = static_cast<long>(open.body.size());
    open.body += std::string(5000, ' ');
    server_.Route(ListingTarget(1, 1), open);
    Load();
    // The clock stands still, so only the tail can complete the page.
    const RunResult run = Run();
    EXPECT_EQ(run.rows.size(), 4u);
    EXPECT_EQ(Requests(ListingTarget(1, 2)), 1);
}

TEST_F(PageRun, FailureOnTheFirstPageStopsButOnALaterPageKeepsTheRows) {
    Load();
    const RunResult failed = Run();
    EXPECT_TRUE(failed.rows.empty());
    EXPECT_EQ(Requests(ListingTarget(1, 1)), 1);

    ServePage(server_, 1, 1, OlderRows(1, 2, 600));
    ServePage(server_, 1, 2, OlderRows(10, 2, 500));
    const RunResult later = Run();  // the failed run was stopped, so this starts anew
    EXPECT_EQ(later.rows.size(), 4u);
    EXPECT_EQ(Steps(later.statuses), (std::vector<int>{100 / 22, 200 / 22, 100}));
    EXPECT_EQ(Requests(ListingTarget(1, 3)), 1);
}

TEST_F(PageRun, YearlessDatesFollowTheClockAcrossNewYear) {
    ServePage(server_, 1, 1, {MakeRow(1, 12, 31, 22, 50)});
    ServePage(server_, 1, 2, {});
    g_now = LocalSeconds(2024, 12, 31, 23, 0);
    Load();
    RunResult run = Run();
    ASSERT_EQ(run.rows.size(), 1u);
    EXPECT_EQ(run.rows[0].AddDate, OleDate::FromFields(2024, 12, 31, 22, 50));
    manager_->StopDownPage(3, 1);

    ServePage(server_, 1, 1, {MakeRow(2, 1, 1, 0, 5), MakeRow(1, 12, 31, 22, 50)});
    g_now = LocalSeconds(2025, 1, 1, 0, 10);
    run = Run();
    ASSERT_EQ(run.rows.size(), 1u);
    EXPECT_EQ(run.rows[0].AddDate, OleDate::FromFields(2025, 1, 1, 0, 5));
}

// A site whose slot (3,1) merges three sections, three pages each.
constexpr SlotEntry kSectionSlots[] = {
    {3, 1, "index.php?cateId=%s&page=%d&order=default&by=DESC|1|2|3"}};
constexpr SiteData MakeSectionSite() {
    SiteData site = wren::kSite;
    site.slots = kSectionSlots;
    site.pageLimit = 3;
    return site;
}
constexpr SiteData kSectionSite = MakeSectionSite();

TEST_F(PageRun, SectionsMergedIntoOneSlotEachRunToTheirLimit) {
    for (int section = 1; section <= 3; ++section) {
        for (int page = 1; page <= 4; ++page) {
            ServePage(server_, section, page,
                      OlderRows(section * 100 + page * 10, 2, 1000 - page * 2));
        }
    }
    Load(kSectionSite);
    const RunResult run = Run();
    EXPECT_EQ(run.rows.size(), 18u);
    EXPECT_EQ(Steps(run.statuses), (std::vector<int>{11, 22, 33, 44, 55, 66, 77, 88, 100}));
    EXPECT_EQ(Requests(ListingTarget(3, 3)), 1);
    EXPECT_EQ(Requests(ListingTarget(1, 4)), 0);
}

TEST_F(PageRun, ASectionWithNothingNewOrFailingDoesNotEndTheOthers) {
    ServePage(server_, 1, 1, OlderRows(1, 2, 300));  // older than the refresh date
    // Section 2 fails: no route.
    ServePage(server_, 3, 1, OlderRows(30, 2, 900));
    ServePage(server_, 3, 2, OlderRows(40, 2, 300));
    Load(kSectionSite);
    manager_->ClearPageRecord(3, 1, DateOf(MakeRow(0, 6, 14, 6, 0)));
    const RunResult run = Run();
    ASSERT_EQ(run.rows.size(), 2u);
    EXPECT_EQ(run.rows[0].Addr0.substr(run.rows[0].Addr0.find("id=")), "id=30");
    EXPECT_EQ(Requests(ListingTarget(2, 1)), 1);
    EXPECT_EQ(Requests(ListingTarget(2, 2)), 0);
    EXPECT_EQ(Requests(ListingTarget(3, 2)), 1);
    EXPECT_EQ(run.statuses.back(), 100);
}

constexpr SiteData MakeFrameSite() {
    SiteData site = wren::kSite;
    site.webIo = WebIoAnswer::kFrame;
    return site;
}
constexpr SiteData kFrameSite = MakeFrameSite();
constexpr SiteData MakeSilentSite() {
    SiteData site = wren::kSite;
    site.webIo = WebIoAnswer::kNone;
    return site;
}
constexpr SiteData kSilentSite = MakeSilentSite();

TEST_F(PageRun, WebIoCtlAnswersPerSite) {
    TorrentRecord record;
    record.WebAddr = "http://x.example/a?b=1&c=\"2\"";
    char* buffer = nullptr;
    int length = -5;

    Load(kSilentSite);
    EXPECT_EQ(manager_->WebIOCtl(&record, 1, &buffer, &length), 1);
    EXPECT_EQ(buffer, nullptr);
    EXPECT_EQ(length, -5);

    Load(kFrameSite);
    EXPECT_EQ(manager_->WebIOCtl(&record, 2, &buffer, &length), 1);
    EXPECT_EQ(buffer, nullptr) << "only code 1 answers";
    manager_->WebIOCtl(&record, 1, &buffer, &length);
    ASSERT_NE(buffer, nullptr);
    const std::string frame =
        "<iframe src=\"http://x.example/a?b=1&amp;c=&quot;2&quot;\" width=\"100%\" "
        "height=\"500\"></iframe>";
    EXPECT_EQ(std::string(buffer), frame);
    EXPECT_EQ(length, static_cast<int>(frame.size() + 1));
    std::free(buffer);
}

}  // namespace
