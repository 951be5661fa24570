#include <gtest/gtest.h>

#include <memory>

#include "netfetch.h"
#include "plugin_manager.h"
#include "run_helpers.h"
#include "site_context.h"
#include "test_home.h"
#include "wren_site.h"

namespace {

using namespace run_helpers;
using testing_support::FixtureReply;
using testing_support::FixtureServer;

class PageRun : public ::testing::Test {
  protected:
    void SetUp() override {
        g_now = LocalSeconds(2024, 6, 15, 12, 0);
        home_.WriteIni("[Site_wren.so]\nBase=" + server_.Url("/") + "\n");
    }
    void TearDown() override { CDownManager::SetMaxTransfers(CDownManager::kDefaultMaxTransfers); }

    void Load(const SiteData& site = wren::kSite) {
        manager_ = std::make_unique<PluginManager>(site, home_.Location(), &FakeNow);
    }
    int Poll() { return manager_->GetDownPageStatus(3, 1); }
    RunResult Finish() {
        return PollUntilDone(
            [&] { return Poll(); },
            [&](TorrentRecordArray* out) { manager_->GetDownPageData(3, 1, out); });
    }
    RunResult Run() {
        manager_->StartDownPage(3, 1);
        return Finish();
    }
    // What the plug-in tells the host of the slot's failed pages.
    std::string Failure() {
        char* buffer = nullptr;
        int length = 0;
        manager_->WebIOCtl(nullptr, kWebIoPageFailure, 3, 1, &buffer, &length);
        const std::string text = buffer != nullptr ? buffer : "";
        std::free(buffer);
        return text;
    }
    int Requests(const std::string& target) const {
        const auto targets = server_.Targets();
        return static_cast<int>(std::count(targets.begin(), targets.end(), target));
    }
    void ServeHung(int page, size_t sentBytes = 0) {
        FixtureReply reply = PageReply(server_, Rows(page * 10, 3, 600 - page * 10));
        reply.stallAfterBytes = static_cast<long>(sentBytes);
        server_.Route(ListingTarget(1, page), reply);
    }
    std::string IniValue(const OleDate& date) const {
        return "31=" + FormatRefreshValue(date.m_dt);
    }

    FixtureServer server_;
    TestHome home_;
    std::unique_ptr<PluginManager> manager_;
};

TEST_F(PageRun, FullRunReportsEveryStepOfThePageLimit) {
    std::vector<int> steps;
    for (int page = 1; page <= 23; ++page) {
        ServePage(server_, 1, page, Rows(page * 100, 2, 1440 - 2 * (page - 1)));
        steps.push_back(100 * page / 22);
    }
    steps.pop_back();
    Load();
    const RunResult run = Run();
    EXPECT_EQ(run.steps, steps);
    ASSERT_EQ(run.rows.size(), 44u);
    EXPECT_EQ(IdOf(run.rows[0]), 100);
    EXPECT_EQ(IdOf(run.rows[43]), 2201);
    EXPECT_EQ(Requests(ListingTarget(1, 23)), 0);
}

TEST_F(PageRun, NothingNewerEndsTheRunAndTheNewestDateIsAdoptedAtStop) {
    const auto same = MakeRow(3, 6, 14, 10, 0);
    const auto fresh = MakeRow(2, 6, 14, 10, 1);  // a minute later
    // A pinned old row on top, the new row, then rows not newer.
    ServePage(server_, 1, 1, {MakeRow(1, 5, 1, 0, 0), fresh, same, MakeRow(4, 6, 14, 9, 0)});
    ServePage(server_, 1, 2, Rows(10, 3, 9 * 60));
    ServePage(server_, 1, 3, {MakeRow(20, 6, 15, 0, 0)});
    Load();
    manager_->ClearPageRecord(3, 1, DateOf(same));
    EXPECT_TRUE(Contains(home_.ReadIni(), IniValue(DateOf(same)))) << "written at once";

    const RunResult run = Run();
    ASSERT_EQ(run.rows.size(), 1u);
    EXPECT_EQ(IdOf(run.rows[0]), 2);
    EXPECT_EQ(run.steps, (std::vector<int>{100 / 22, 100}));
    EXPECT_EQ(Requests(ListingTarget(1, 3)), 0);

    manager_->StopDownPage(3, 1);
    EXPECT_TRUE(Run().rows.empty()) << "the stop moved the refresh date to the new row";
    manager_->StopDownPage(3, 1);
    EXPECT_FALSE(Contains(home_.ReadIni(), IniValue(DateOf(fresh))));
    manager_.reset();
    EXPECT_TRUE(Contains(home_.ReadIni(), IniValue(DateOf(fresh)))) << "written at unload";

    Load();
    manager_->ClearPageRecord(3, 1, OleDate{});
    EXPECT_TRUE(Contains(home_.ReadIni(), "31=0.000000000"));
    EXPECT_EQ(Run().rows.size(), 8u) << "date 0 takes everything again";
}

TEST_F(PageRun, ARunCutShortKeepsTheDateSoTheNextRunTakesThePagesItMissed) {
    ServePage(server_, 1, 1, Rows(1, 3, 600));
    ServeHung(2);
    Load();
    manager_->StartDownPage(3, 1);
    TorrentRecordArray handedOver;
    ASSERT_TRUE(WaitFor([&] {
        Poll();
        manager_->GetDownPageData(3, 1, &handedOver);
        return handedOver.size() == 3;
    }));
    // The program ends while page 2 loads: its rows are older than page 1's,
    // so adopting page 1's date would skip them for good.
    manager_->StopAll();
    manager_.reset();
    EXPECT_FALSE(Contains(home_.ReadIni(), IniValue(DateOf(Rows(1, 1, 600)[0]))));

    ServePage(server_, 1, 2, Rows(10, 2, 500));
    ServePage(server_, 1, 3, {});
    Load();
    EXPECT_EQ(Run().rows.size(), 5u);
}

TEST(PageTaskDates, DatesBeyondTomorrowNeverBecomeTheSlotsNewest) {
    const int64_t now = LocalSeconds(2024, 6, 15, 12, 0);
    struct Case {
        OleDate date;
        bool bNewest;
    };
    for (const Case& c : {
             Case{OleDate::FromFields(2024, 6, 15, 11, 0), true},
             Case{OleDate::FromFields(2024, 6, 16, 12, 0), true},  // a site a day ahead
             Case{OleDate::FromFields(2024, 6, 16, 12, 1), false},
             Case{OleDate::FromFields(9999, 12, 31, 23, 59, 59), false},
         }) {
        EXPECT_EQ(CanBeNewest(c.date, now), c.bNewest) << c.date.m_dt;
    }
}

TEST_F(PageRun, StartWaitsForAFreeTransfer) {
    ServeHung(9);
    ServePage(server_, 1, 1, Rows(1, 2, 600));
    CDownManager::SetMaxTransfers(1);
    auto blocker = std::make_unique<CDownManager>();
    ASSERT_NE(blocker->DownLoadFile(server_.Url(ListingTarget(1, 9)).c_str()), 0);
    Load();
    EXPECT_EQ(manager_->StartDownPage(3, 1), 1);
    EXPECT_EQ(Poll(), 0);
    EXPECT_EQ(manager_->StopDownPage(3, 1), 1);
    EXPECT_EQ(Poll(), 0) << "a queued start stays queued";
    EXPECT_EQ(Requests(ListingTarget(1, 1)), 0);
    blocker->Close();
    EXPECT_EQ(Finish().rows.size(), 2u);
}

TEST_F(PageRun, StallsUnderTheInjectedClock) {
    ServeHung(1);
    Load();
    const int64_t start = g_now;
    manager_->StartDownPage(3, 1);
    ASSERT_TRUE(WaitFor([&] { return Requests(ListingTarget(1, 1)) == 1; }));
    EXPECT_EQ(Poll(), 0);
    g_now = start + 30;
    EXPECT_EQ(Poll(), 0);
    g_now = start + 31;
    EXPECT_EQ(Poll(), 100);
    EXPECT_NE(Failure().find("nothing arrived for 30 seconds"), std::string::npos) << Failure();
    manager_->StartDownPage(3, 1);  // the stalled first page stopped the task
    EXPECT_TRUE(WaitFor([&] { return Requests(ListingTarget(1, 1)) == 2; }));

    // A later page counts its 30 seconds from its own request, even when the
    // pages before it finished between two polls.
    ServePage(server_, 1, 1, Rows(1, 3, 600));
    ServeHung(2);
    Load();
    g_now = start + 100;
    manager_->StartDownPage(3, 1);
    g_now = start + 125;
    ASSERT_TRUE(WaitFor([&] { return Poll() > 0; }));  // page 2 asked for at 125
    g_now = start + 140;
    EXPECT_EQ(Poll(), 100 / 22);
    g_now = start + 156;
    EXPECT_EQ(Poll(), 100);
    TorrentRecordArray rows;
    manager_->GetDownPageData(3, 1, &rows);
    EXPECT_EQ(rows.size(), 3u) << "rows of finished pages stay for the hand-over";
    g_now = start + 1000;
    EXPECT_EQ(Poll(), 100) << "an ended run stays ended";

    // Bytes trickled are no progress, though each moves the percentage.
    FixtureReply trickling = PageReply(server_, Rows(10, 3, 590));
    trickling.omitLength = true;
    trickling.trickleMs = 20;
    server_.Route(ListingTarget(1, 1), trickling);
    Load();
    g_now = start + 2000;
    manager_->StartDownPage(3, 1);
    ASSERT_TRUE(server_.WaitTrickled(1));
    EXPECT_EQ(Poll(), 0);
    ASSERT_TRUE(server_.WaitTrickled(server_.TrickledBytes() + 2));
    g_now = start + 2031;
    EXPECT_EQ(Poll(), 100);
}

TEST_F(PageRun, UpperCaseHtmlTailCompletesAPageWhoseConnectionHangs) {
    FixtureReply open = PageReply(server_, Rows(1, 4, 600));
    open.body.replace(open.body.find("</html>"), 7, "</HTML>");
    open.stallAfterBytes = static_cast<long>(open.body.size());
    open.body += std::string(5000, ' ');
    server_.Route(ListingTarget(1, 1), open);
    Load();
    EXPECT_EQ(Run().rows.size(), 4u) << "the clock stands still: only the tail can end page 1";
    EXPECT_EQ(Requests(ListingTarget(1, 2)), 1);
}

// A missing first page is the site failing and is told to the host; a
// missing later page is only the end of the listing.
TEST_F(PageRun, FailureOnTheFirstPageStopsButALaterPageKeepsTheRows) {
    Load();
    EXPECT_TRUE(Run().rows.empty());
    EXPECT_EQ(Failure(), server_.Url(ListingTarget(1, 1)) + ": the site answered HTTP status 404");
    ServePage(server_, 1, 1, Rows(1, 2, 600));
    ServePage(server_, 1, 2, Rows(10, 2, 500));
    const RunResult later = Run();  // stopped by the failure, so this starts anew
    EXPECT_EQ(later.rows.size(), 4u);
    EXPECT_EQ(later.steps, (std::vector<int>{100 / 22, 200 / 22, 100}));
    EXPECT_EQ(Failure(), "");
}

TEST_F(PageRun, YearlessDatesFollowTheClockAcrossNewYear) {
    ServePage(server_, 1, 1, {MakeRow(1, 12, 31, 22, 50)});
    g_now = LocalSeconds(2024, 12, 31, 23, 0);
    Load();
    EXPECT_EQ(Run().rows.size(), 1u);
    manager_->StopDownPage(3, 1);
    ServePage(server_, 1, 1, {MakeRow(2, 1, 1, 0, 5), MakeRow(1, 12, 31, 22, 50)});
    g_now = LocalSeconds(2025, 1, 1, 0, 10);
    const RunResult run = Run();
    ASSERT_EQ(run.rows.size(), 1u);
    EXPECT_EQ(run.rows[0].AddDate, OleDate::FromFields(2025, 1, 1, 0, 5));
}

// Slot (3,1) merging three site sections, three pages each.
constexpr SlotEntry kSectionSlots[] = {
    {3, 1, "index.php?cateId=%s&page=%d&order=default&by=DESC|1|2|3"}};
constexpr SiteData SectionSite() {
    SiteData site = wren::kSite;
    site.slots = kSectionSlots;
    site.pageLimit = 3;
    return site;
}
constexpr SiteData kSectionSite = SectionSite();

TEST_F(PageRun, EverySectionOfAMergedSlotRuns) {
    for (int section = 1; section <= 3; ++section) {
        for (int page = 1; page <= 4; ++page) {
            ServePage(server_, section, page, Rows(section * 100 + page * 10, 2, 900 - page * 2));
        }
    }
    Load(kSectionSite);
    const RunResult full = Run();
    EXPECT_EQ(full.rows.size(), 18u);
    EXPECT_EQ(full.steps, (std::vector<int>{11, 22, 33, 44, 55, 66, 77, 88, 100}));
    EXPECT_EQ(Requests(ListingTarget(1, 4)), 0);
    manager_->StopDownPage(3, 1);

    // Section 1 has nothing newer and section 2 fails: section 3 still runs.
    server_.ClearRequests();
    ServePage(server_, 1, 1, Rows(1, 2, 300));
    FixtureReply missing;
    missing.status = 404;
    server_.Route(ListingTarget(2, 1), missing);
    ServePage(server_, 3, 1, Rows(30, 2, 1000));
    ServePage(server_, 3, 2, Rows(40, 2, 300));
    const RunResult partial = Run();
    ASSERT_EQ(partial.rows.size(), 2u);
    EXPECT_EQ(IdOf(partial.rows[0]), 30);
    EXPECT_EQ(Requests(ListingTarget(2, 2)) + Requests(ListingTarget(3, 3)), 0);
}

constexpr SiteData WithWebIo(WebIoAnswer answer) {
    SiteData site = wren::kSite;
    site.webIo = answer;
    return site;
}
constexpr SiteData kFrameSite = WithWebIo(WebIoAnswer::kFrame);
constexpr SiteData kSilentSite = WithWebIo(WebIoAnswer::kNone);

TEST_F(PageRun, WebIoCtlFrameEscapesTheAddressAndSilentSitesLeaveTheBuffer) {
    TorrentRecord record;
    record.WebAddr = "http://x/a?b=1&c=\"><script>";
    char* buffer = nullptr;
    int length = -5;
    Load(kSilentSite);
    manager_->WebIOCtl(&record, 1, 0, 0, &buffer, &length);
    EXPECT_TRUE(buffer == nullptr && length == -5);
    Load(kFrameSite);
    manager_->WebIOCtl(&record, 2, 0, 0, &buffer, &length);
    EXPECT_EQ(buffer, nullptr) << "only code 1 answers";
    manager_->WebIOCtl(&record, 1, 0, 0, &buffer, &length);
    ASSERT_NE(buffer, nullptr);
    const std::string frame =
        "<iframe src=\"http://x/a?b=1&amp;c=&quot;&gt;&lt;script&gt;\" width=\"100%\" "
        "height=\"500\"></iframe>";
    EXPECT_EQ(buffer, frame);
    EXPECT_EQ(length, static_cast<int>(frame.size() + 1));
    std::free(buffer);
}

}  // namespace
