#include "auto_update.h"

#include <cstdio>
#include <ctime>

#include "texts.h"

namespace {

constexpr int64_t kSecondsPerHour = 3600;

std::string Title() {
    return std::string(texts::LoadString(texts::IDS_APP_TITLE));
}

std::string TitleWith(unsigned nTextId) {
    return Title() + "  " + std::string(texts::LoadString(nTextId));
}

}  // namespace

CAutoUpdate::CAutoUpdate(SysSettings& settings, CCategoryNode& root, CRefreshEngine& engine,
                         Clock clock)
    : m_settings(settings),
      m_root(root),
      m_engine(engine),
      m_clock(std::move(clock)),
      m_strCaption(Title()) {}

bool CAutoUpdate::IsEnabled() const {
    return m_nCycleOverride > 0 || m_settings.bAutoUpdate != 0;
}

int64_t CAutoUpdate::GetCycleSeconds() const {
    return m_nCycleOverride > 0 ? m_nCycleOverride
                                : int64_t{m_settings.nUpdateCycle} * kSecondsPerHour;
}

int64_t CAutoUpdate::GetNextUpdateTime() const {
    return m_settings.tmLastUpdate + GetCycleSeconds();
}

CCategoryNode* CAutoUpdate::GetCurrentCategory() const {
    return m_nCurrent > 0 ? m_root.GetChild(m_nCurrent) : nullptr;
}

void CAutoUpdate::Notify(Event event, CCategoryNode* pNode) {
    if (m_onEvent) {
        m_onEvent(event, pNode);
    }
}

void CAutoUpdate::Tick() {
    const int64_t now = m_clock();
    if (!IsEnabled() || now - m_settings.tmLastUpdate <= GetCycleSeconds()) {
        if (m_bRunning) {
            ContinueUpdate();
        }
    } else if (m_bNeedsTest) {
        TickTest(now);
    } else {
        m_settings.tmLastUpdate = now;
        StartUpdate();
    }
    UpdateCaption(now);
}

void CAutoUpdate::TickTest(int64_t now) {
    if (!m_bTestRunning) {
        m_testDownload.Close();
        m_testDownload.DownLoadFile(m_strTestAddress.c_str());
        m_bTestRunning = true;
        m_tmTestStarted = now;
        Notify(Event::kTestStarted);
        return;
    }
    const int nPercent = m_testDownload.GetDownPercent();
    if (nPercent == -1 || (nPercent == 0 && now - m_tmTestStarted > kTestTimeoutSeconds)) {
        m_testDownload.Close();
        m_bTestRunning = false;
        Notify(Event::kTestFailed);
        return;
    }
    if (nPercent == 0) {
        return;
    }
    // Any data at all shows that the network answers; the page itself does
    // not matter.
    m_testDownload.Close();
    m_bTestRunning = false;
    m_bNeedsTest = false;
    m_settings.tmLastUpdate = now;
    m_nPeriodMs = kPeriodMs;
    Notify(Event::kTestPassed);
    StartUpdate();
}

void CAutoUpdate::StartUpdate() {
    const bool bRestart = m_bRunning;
    m_bRunning = true;
    Notify(bRestart ? Event::kUpdateRestarted : Event::kUpdateStarted);
    StartCategory(1);
}

void CAutoUpdate::StartCategory(size_t nPosition) {
    if (nPosition >= m_root.GetChildCount()) {
        m_bRunning = false;
        m_nCurrent = 0;
        Notify(Event::kUpdateFinished);
        return;
    }
    m_nCurrent = nPosition;
    CCategoryNode* pCategory = m_root.GetChild(nPosition);
    // False for a node the user is refreshing already: it is left to that
    // refresh, and the next tick waits for it like for our own.
    [[maybe_unused]] const bool bStarted = m_engine.StartRefresh(pCategory, true);
    Notify(Event::kNodeStarted, pCategory);
}

void CAutoUpdate::ContinueUpdate() {
    if (m_engine.HasActiveRefresh()) {
        return;
    }
    Notify(Event::kNodeFinished, GetCurrentCategory());
    StartCategory(m_nCurrent + 1);
}

void CAutoUpdate::UpdateCaption() {
    UpdateCaption(m_clock());
}

void CAutoUpdate::UpdateCaption(int64_t now) {
    if (!IsEnabled()) {
        m_strCaption = Title();
        return;
    }
    if (m_bTestRunning) {
        m_strCaption = TitleWith(texts::IDS_TESTING_CONNECTION);
        return;
    }
    if (m_bRunning) {
        m_strCaption = TitleWith(texts::IDS_AUTO_UPDATING);
        return;
    }
    const int64_t next = GetNextUpdateTime();
    if (next < now) {
        return;
    }
    const time_t tmNext = static_cast<time_t>(next);
    std::tm local{};
    localtime_r(&tmNext, &local);
    char szTime[256];
    std::snprintf(szTime, sizeof szTime, texts::LoadString(texts::IDS_NEXT_AUTO_UPDATE).data(),
                  local.tm_hour, local.tm_min);
    m_strCaption = Title() + "  " + szTime;
}
