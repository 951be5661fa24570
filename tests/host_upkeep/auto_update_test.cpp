// The automatic-update scheduler under a fake clock: the connection test
// against the fixture server, the walk over the category nodes behind the
// refresh engine, the times it keeps and the caption it shows.
#include "auto_update.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <utility>
#include <vector>

#include "fixture_server.h"
#include "texts.h"
#include "upkeep_home.h"

namespace {

using upkeep_test::BerlinTime;
using upkeep_test::LocalSeconds;
using upkeep_test::UpkeepHome;
using Event = CAutoUpdate::Event;
using testing_support::FixtureReply;
using testing_support::FixtureServer;

// No plug-in is listed, so every leaf completes at its first poll and the
// test decides when a category node ends by polling.
class AutoUpdate : public BerlinTime {
  protected:
    void SetUp() override {
        BerlinTime::SetUp();
        texts::SetLanguage(texts::Language::kEnglish);
        m_now = LocalSeconds(2024, 6, 15, 13, 5);
        m_home.ListWren(false);
        m_pRoot = &m_home.BuildTree();
        m_pHost = std::make_unique<PluginHost>(m_home.Dir());
        m_pEngine = std::make_unique<CRefreshEngine>(*m_pHost, m_pRoot);
        m_settings.bAutoUpdate = 1;
        m_settings.nUpdateCycle = 1;
        m_settings.tmLastUpdate = m_now - 2 * 3600;
        m_pUpdate = std::make_unique<CAutoUpdate>(m_settings, *m_pRoot, *m_pEngine, Clock());
        m_pUpdate->SetTestAddress(m_server.Url("/"));
        m_pUpdate->SetEventCallback(
            [this](Event event, CCategoryNode* pNode) { m_events.emplace_back(event, pNode); });
        FixtureReply page;
        page.body = "<html><body>reachable</body></html>";
        m_server.Route("/", page);
    }
    void TearDown() override {
        m_pUpdate.reset();
        m_pEngine.reset();
        m_pHost.reset();
        BerlinTime::TearDown();
    }

    CCategoryNode* Category(size_t k) { return m_pRoot->GetChild(k); }

    // Ticks (the clock standing still) until the connection test has ended
    // one way or the other.
    void TickUntilTestEnds() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (m_pUpdate->IsTesting() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            m_pUpdate->Tick();
        }
        ASSERT_FALSE(m_pUpdate->IsTesting()) << "the connection test did not end";
    }
    void PollUntilIdle() {
        for (int i = 0; i < 10 && m_pEngine->HasActiveRefresh(); ++i) {
            m_pEngine->Poll();
        }
        ASSERT_FALSE(m_pEngine->HasActiveRefresh());
    }
    std::vector<std::pair<Event, CCategoryNode*>> TakeEvents() {
        return std::exchange(m_events, {});
    }

    FixtureServer m_server;
    UpkeepHome m_home;
    CCategoryNode* m_pRoot = nullptr;
    std::unique_ptr<PluginHost> m_pHost;
    std::unique_ptr<CRefreshEngine> m_pEngine;
    SysSettings m_settings;
    std::unique_ptr<CAutoUpdate> m_pUpdate;
    std::vector<std::pair<Event, CCategoryNode*>> m_events;
};

using Events = std::vector<std::pair<Event, CCategoryNode*>>;

TEST_F(AutoUpdate, FirstDueTickTestsTheConnectionThenRefreshesEveryCategoryInTurn) {
    m_pUpdate->Tick();
    EXPECT_TRUE(m_pUpdate->IsTesting());
    EXPECT_EQ(m_pUpdate->GetCaption(), "Tessaro  Testing Connection...");
    EXPECT_EQ(m_pUpdate->GetTimerPeriodMs(), 5000);
    EXPECT_EQ(m_settings.tmLastUpdate, m_now - 2 * 3600);

    m_now += 5;
    const int64_t tmPassed = m_now;
    TickUntilTestEnds();
    EXPECT_EQ(m_settings.tmLastUpdate, tmPassed);
    EXPECT_EQ(m_pUpdate->GetTimerPeriodMs(), 10000);
    EXPECT_EQ(m_pUpdate->GetCaption(), "Tessaro  Updating Data now...(Automatically)");
    EXPECT_EQ(TakeEvents(), (Events{{Event::kTestStarted, nullptr},
                                    {Event::kTestPassed, nullptr},
                                    {Event::kUpdateStarted, nullptr},
                                    {Event::kNodeStarted, Category(1)}}));
    EXPECT_EQ(m_pEngine->GetActiveList(), std::vector<CCategoryNode*>{Category(1)});

    // The next node waits for every active refresh, the user's included.
    m_pEngine->StartRefresh(&m_home.Leaf(4, 1), true);
    m_pUpdate->Tick();
    EXPECT_TRUE(TakeEvents().empty());
    PollUntilIdle();
    m_pUpdate->Tick();
    EXPECT_EQ(TakeEvents(),
              (Events{{Event::kNodeFinished, Category(1)}, {Event::kNodeStarted, Category(2)}}));
    PollUntilIdle();
    m_now += 20;
    m_pUpdate->Tick();
    EXPECT_EQ(TakeEvents(),
              (Events{{Event::kNodeFinished, Category(2)}, {Event::kUpdateFinished, nullptr}}));
    EXPECT_FALSE(m_pUpdate->IsRunning());
    EXPECT_EQ(m_pUpdate->GetCaption(), "Tessaro  Next Update Data Time(Automatically): 14:05");

    texts::SetLanguage(texts::Language::kChinese);
    m_pUpdate->UpdateCaption();
    EXPECT_EQ(m_pUpdate->GetCaption(), "Tessaro  下次自动更新数据时间: 14:05");
    texts::SetLanguage(texts::Language::kEnglish);

    // The next update needs no second test.
    m_now = tmPassed + 3601;
    m_pUpdate->Tick();
    EXPECT_EQ(TakeEvents(),
              (Events{{Event::kUpdateStarted, nullptr}, {Event::kNodeStarted, Category(1)}}));
    EXPECT_EQ(m_settings.tmLastUpdate, m_now);
    EXPECT_EQ(m_server.Requests().size(), 1u);
}

TEST_F(AutoUpdate, AFailedOrSilentTestIsStartedAgainAndHoldsTheUpdateBack) {
    FixtureReply unavailable;
    unavailable.status = 503;
    m_server.Route("/down", unavailable);
    m_pUpdate->SetTestAddress(m_server.Url("/down"));
    m_pUpdate->Tick();
    TickUntilTestEnds();
    EXPECT_EQ(TakeEvents(),
              (Events{{Event::kTestStarted, nullptr}, {Event::kTestFailed, nullptr}}));
    EXPECT_TRUE(m_pUpdate->NeedsConnectionTest());
    EXPECT_FALSE(m_pUpdate->IsRunning());
    EXPECT_EQ(m_pUpdate->GetTimerPeriodMs(), 5000);

    // A server that answers the headers and then nothing keeps the test at
    // 0 %; it is given up after a minute.
    FixtureReply silent;
    silent.body = "never sent";
    silent.stallAfterBytes = 0;
    m_server.Route("/silent", silent);
    m_pUpdate->SetTestAddress(m_server.Url("/silent"));
    m_pUpdate->Tick();
    EXPECT_EQ(TakeEvents(), (Events{{Event::kTestStarted, nullptr}}));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (m_server.Requests().size() < 2 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    m_now += CAutoUpdate::kTestTimeoutSeconds;
    m_pUpdate->Tick();
    EXPECT_TRUE(m_pUpdate->IsTesting());
    m_now += 1;
    m_pUpdate->Tick();
    EXPECT_EQ(TakeEvents(), (Events{{Event::kTestFailed, nullptr}}));

    m_pUpdate->SetTestAddress(m_server.Url("/"));
    m_pUpdate->Tick();
    TickUntilTestEnds();
    EXPECT_TRUE(m_pUpdate->IsRunning());
    EXPECT_EQ(m_settings.tmLastUpdate, m_now);
}

TEST_F(AutoUpdate, AnUpdateDueWhileTheLastOneRunsStartsOverFromTheFirstCategory) {
    m_pUpdate->Tick();
    TickUntilTestEnds();
    PollUntilIdle();
    m_pUpdate->Tick();
    ASSERT_EQ(m_pUpdate->GetCurrentCategory(), Category(2));
    TakeEvents();

    m_now += 3601;
    m_pUpdate->Tick();
    EXPECT_EQ(TakeEvents(),
              (Events{{Event::kUpdateRestarted, nullptr}, {Event::kNodeStarted, Category(1)}}));
    EXPECT_EQ(m_pUpdate->GetCurrentCategory(), Category(1));
    EXPECT_EQ(m_settings.tmLastUpdate, m_now);
}

TEST_F(AutoUpdate, OffMeansThePlainTitleUnlessTheFrontEndSetsItsOwnCycle) {
    m_settings.bAutoUpdate = 0;
    m_pUpdate->Tick();
    EXPECT_TRUE(TakeEvents().empty());
    EXPECT_EQ(m_pUpdate->GetCaption(), "Tessaro");

    m_pUpdate->SetCycleOverride(1800);
    m_pUpdate->Tick();
    EXPECT_EQ(TakeEvents(), (Events{{Event::kTestStarted, nullptr}}));
    EXPECT_EQ(m_settings.bAutoUpdate, 0);
    EXPECT_EQ(m_settings.nUpdateCycle, 1);
}

}  // namespace
