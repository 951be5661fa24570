// CAutoUpdate: the automatic update, which refreshes the whole catalogue on a
// fixed cycle of hours in the background.
//
// Tick() is the scheduler's timer: the front end calls it every
// GetTimerPeriodMs() (5 s until a connection test has passed, 10 s from then
// on). When an update is due, the first one of a run waits for a connection
// test, a plain download of a well-known page through netfetch, so that a
// machine that starts before its network does not mark a cycle done with
// nothing fetched. The update then refreshes the category nodes of the tree
// one after another through the refresh engine, moving to the next node only
// when the engine has no active refresh at all, so a refresh the user starts
// meanwhile delays it instead of running beside it. An update that is due
// while the previous one still runs starts over from the first node.
//
// `RefreshTm` (SysSettings::tmLastUpdate) is the start time of the last
// update; it is changed in the settings record and reaches global.ini
// whenever the front end saves the configuration.
//
// Single-threaded and never blocking: the connection test is observed by
// polling. Time comes from the injected clock.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "category_node.h"
#include "global_config.h"
#include "netfetch.h"
#include "refresh_engine.h"

class CAutoUpdate {
  public:
    // Seconds since 1970-01-01 UTC.
    using Clock = std::function<int64_t()>;

    enum class Event {
        kTestStarted,
        kTestFailed,  // the download failed or made no progress in time
        kTestPassed,
        kUpdateStarted,
        kUpdateRestarted,  // due again before the previous update had ended
        kNodeStarted,      // the category node's refresh was requested
        kNodeFinished,     // the engine had no active refresh left
        kUpdateFinished,
    };
    // pNode is the category node for the node events, else null.
    using EventCallback = std::function<void(Event, CCategoryNode* pNode)>;

    static constexpr int kFirstPeriodMs = 5000;
    static constexpr int kPeriodMs = 10000;
    // The test address unless one is configured ([UpdateData] TestAddr).
    static constexpr char kDefaultTestAddress[] = "http://www.example.com/";
    // A test download still at 0 % after this long is abandoned and started
    // again: a server that accepts the connection and never answers would
    // otherwise hold every later update back for the rest of the run.
    static constexpr int64_t kTestTimeoutSeconds = 60;

    // The settings hold Auto, Cycle and RefreshTm; the root's children are
    // the category nodes. All three must outlive the scheduler.
    CAutoUpdate(SysSettings& settings, CCategoryNode& root, CRefreshEngine& engine,
                Clock clock = CGlobalConfig::SystemClock);
    CAutoUpdate(const CAutoUpdate&) = delete;
    CAutoUpdate& operator=(const CAutoUpdate&) = delete;

    void SetTestAddress(std::string strAddress) { m_strTestAddress = std::move(strAddress); }
    const std::string& GetTestAddress() const { return m_strTestAddress; }
    // Updates every nSeconds whatever Auto and Cycle say, without changing
    // them, so a front end's own cycle is never saved as the user's setting.
    void SetCycleOverride(int64_t nSeconds) { m_nCycleOverride = nSeconds; }
    void SetEventCallback(EventCallback callback) { m_onEvent = std::move(callback); }

    // The timer tick.
    void Tick();
    // Recomputes the caption; also for the front end after the options change.
    void UpdateCaption();

    // The main window's caption: the application title, then the state.
    const std::string& GetCaption() const { return m_strCaption; }
    int GetTimerPeriodMs() const { return m_nPeriodMs; }

    bool IsEnabled() const;
    int64_t GetCycleSeconds() const;
    // RefreshTm plus the cycle.
    int64_t GetNextUpdateTime() const;
    bool IsRunning() const { return m_bRunning; }
    bool IsTesting() const { return m_bTestRunning; }
    bool NeedsConnectionTest() const { return m_bNeedsTest; }
    // The category node being refreshed, or null.
    CCategoryNode* GetCurrentCategory() const;

  private:
    void TickTest(int64_t now);
    void StartUpdate();
    void ContinueUpdate();
    void StartCategory(size_t nPosition);
    void Notify(Event event, CCategoryNode* pNode = nullptr);
    void UpdateCaption(int64_t now);

    SysSettings& m_settings;
    CCategoryNode& m_root;
    CRefreshEngine& m_engine;
    Clock m_clock;
    std::string m_strTestAddress = kDefaultTestAddress;
    int64_t m_nCycleOverride = 0;
    EventCallback m_onEvent;

    bool m_bRunning = false;
    // The current category's position among the root's children (0: none).
    size_t m_nCurrent = 0;
    bool m_bNeedsTest = true;
    bool m_bTestRunning = false;
    int64_t m_tmTestStarted = 0;
    CDownManager m_testDownload;
    int m_nPeriodMs = kFirstPeriodMs;
    std::string m_strCaption;
};
