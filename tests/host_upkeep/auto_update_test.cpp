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
using Events = std::vector<std::pair<Event, CCategoryNode*>>;
using testing_support::FixtureReply;

// Without plug-ins every leaf completes at its first poll, so the test
// decides when a category node ends.
class AutoUpdate : public BerlinTime {
  protected:
    void SetUp() override {
        BerlinTime::SetUp();
        texts::SetLanguage(texts::Language::kEnglish);
        m_now = LocalSeconds(2024, 6, 15, 13, 5);
        m_settings.bAutoUpdate = 1;
        m_settings.tmLastUpdate = m_now - 2 * 3600;
        m_update.SetTestAddress(m_server.Url("/"));
        m_update.SetEventCallback(
            [this](Event event, CCategoryNode* pNode) { m_events.emplace_back(event, pNode); });
        FixtureReply page;
        page.body = "<html>reachable</html>";
        m_server.Route("/", page);
    }

    // Ticks with the clock standing still until the connection test ends.
    void TickUntilTestEnds() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (m_update.IsTesting() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            m_update.Tick();
        }
        ASSERT_FALSE(m_update.IsTesting()) << "the connection test did not end";
    }
    void PollUntilIdle() {
        for (int i = 0; i < 10 && m_engine.HasActiveRefresh(); ++i) {
            m_engine.Poll();
        }
    }
    Events TakeEvents() { return std::exchange(m_events, {}); }
    CCategoryNode* Category(size_t k) { return m_pRoot->GetChild(k); }

    testing_support::FixtureServer m_server;
    UpkeepHome m_home;
    CCategoryNode* m_pRoot = &m_home.BuildTree();
    PluginHost m_host{m_home.Dir()};
    CRefreshEngine m_engine{m_host, m_pRoot};
    SysSettings m_settings;
    CAutoUpdate m_update{m_settings, *m_pRoot, m_engine, Clock()};
    Events m_events;
};

TEST_F(AutoUpdate, FirstDueTickTestsTheConnectionThenRefreshesEveryCategoryInTurn) {
    m_update.Tick();
    EXPECT_EQ(m_update.GetCaption(), "Tessaro  Testing Connection...");
    EXPECT_EQ(m_settings.tmLastUpdate, m_now - 2 * 3600);
    m_now += 5;
    TickUntilTestEnds();
    EXPECT_EQ(m_settings.tmLastUpdate, m_now);
    EXPECT_EQ(m_update.GetTimerPeriodMs(), 10000);
    EXPECT_EQ(m_update.GetCaption(), "Tessaro  Updating Data now...(Automatically)");
    EXPECT_EQ(TakeEvents(), (Events{{Event::kTestStarted, nullptr},
                                    {Event::kTestPassed, nullptr},
                                    {Event::kUpdateStarted, nullptr},
                                    {Event::kNodeStarted, Category(1)}}));

    // The next category waits for every active refresh, the user's too.
    ASSERT_TRUE(m_engine.StartRefresh(Category(2)->GetChild(1), true));
    m_update.Tick();
    EXPECT_TRUE(TakeEvents().empty());
    PollUntilIdle();
    m_update.Tick();
    PollUntilIdle();
    m_update.Tick();
    EXPECT_EQ(TakeEvents(), (Events{{Event::kNodeFinished, Category(1)},
                                    {Event::kNodeStarted, Category(2)},
                                    {Event::kNodeFinished, Category(2)},
                                    {Event::kUpdateFinished, nullptr}}));
    EXPECT_EQ(m_update.GetCaption(), "Tessaro  Next Update Data Time(Automatically): 14:05");
    texts::SetLanguage(texts::Language::kChinese);
    m_update.UpdateCaption();
    EXPECT_EQ(m_update.GetCaption(), "Tessaro  下次自动更新数据时间: 14:05");
    texts::SetLanguage(texts::Language::kEnglish);

    // The next update starts without a test; one that falls due while it
    // still runs starts over from the first category.
    m_now += 3601;
    m_update.Tick();
    PollUntilIdle();
    m_update.Tick();
    ASSERT_EQ(m_update.GetCurrentCategory(), Category(2));
    m_now += 3601;
    m_update.Tick();
    EXPECT_EQ(TakeEvents(), (Events{{Event::kUpdateStarted, nullptr},
                                    {Event::kNodeStarted, Category(1)},
                                    {Event::kNodeFinished, Category(1)},
                                    {Event::kNodeStarted, Category(2)},
                                    {Event::kUpdateRestarted, nullptr},
                                    {Event::kNodeStarted, Category(1)}}));
    EXPECT_EQ(m_settings.tmLastUpdate, m_now);
    EXPECT_EQ(m_server.Requests().size(), 1u);
}

TEST_F(AutoUpdate, AFailedOrSilentTestIsStartedAgainAndHoldsTheUpdateBack) {
    FixtureReply unavailable;
    unavailable.status = 503;
    m_server.Route("/down", unavailable);
    m_update.SetTestAddress(m_server.Url("/down"));
    m_update.Tick();
    TickUntilTestEnds();
    EXPECT_EQ(TakeEvents(),
              (Events{{Event::kTestStarted, nullptr}, {Event::kTestFailed, nullptr}}));
    EXPECT_EQ(m_update.GetTimerPeriodMs(), 5000);

    // Headers and then nothing keep a test at 0 %; it is given up after a
    // minute.
    FixtureReply silent;
    silent.body = "never sent";
    silent.stallAfterBytes = 0;
    m_server.Route("/silent", silent);
    m_update.SetTestAddress(m_server.Url("/silent"));
    m_update.Tick();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (m_server.Requests().size() < 2 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    m_now += CAutoUpdate::kTestTimeoutSeconds;
    m_update.Tick();
    EXPECT_TRUE(m_update.IsTesting());
    m_now += 1;
    m_update.Tick();
    EXPECT_EQ(TakeEvents(),
              (Events{{Event::kTestStarted, nullptr}, {Event::kTestFailed, nullptr}}));
    EXPECT_FALSE(m_update.IsRunning());
    EXPECT_EQ(m_settings.tmLastUpdate, LocalSeconds(2024, 6, 15, 11, 5));
}

TEST_F(AutoUpdate, OffMeansThePlainTitleUnlessTheFrontEndSetsItsOwnCycle) {
    m_settings.bAutoUpdate = 0;
    m_update.Tick();
    EXPECT_TRUE(TakeEvents().empty());
    EXPECT_EQ(m_update.GetCaption(), "Tessaro");
    m_update.SetCycleOverride(1800);
    m_update.Tick();
    EXPECT_EQ(TakeEvents(), (Events{{Event::kTestStarted, nullptr}}));
    EXPECT_EQ(m_settings.bAutoUpdate, 0);
}

}  // namespace
