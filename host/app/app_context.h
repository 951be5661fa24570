// CAppContext: what the desktop program keeps for its whole run: the home,
// its configuration and plug-in host, the download-task table, and the
// claim to refresh the home. Without the claim (a background refresher
// holds it) the program is a viewer: it shows the catalogue but neither
// refreshes nor deletes.
//
// Destruction order matters: the tasks stop their downloads, the plug-ins
// are unloaded (they write their refresh dates then) while the claim is
// still held, and the configuration is saved last.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "download_tasks.h"
#include "open_home.h"
#include "refresh_lock.h"

class CAppContext {
  public:
    // Lays the home out first when it is new. Null with one sentence when
    // the home cannot be laid out or opened.
    static std::unique_ptr<CAppContext> Open(const std::string& strHome, std::string& strError);
    ~CAppContext();
    CAppContext(const CAppContext&) = delete;
    CAppContext& operator=(const CAppContext&) = delete;

    const std::string& Home() const { return m_strHome; }
    CGlobalConfig& Config() { return *m_home.pConfig; }
    PluginHost& Host() { return *m_home.pHost; }
    CDownloadTasks& Tasks() { return *m_pTasks; }

    bool IsViewer() const { return m_pLock == nullptr; }
    // The process that refreshes the home instead of us, when it is known.
    std::optional<long> RefresherPid() const { return m_refresherPid; }

    // Deletes fetched torrent files by age (see CDownloadTasks).
    int PruneTorrentFolder(int nDays, bool bRecent);

  private:
    CAppContext() = default;

    std::string m_strHome;
    std::unique_ptr<CRefreshLock> m_pLock;
    std::optional<long> m_refresherPid;
    tessaro::OpenedHome m_home;
    std::unique_ptr<CDownloadTasks> m_pTasks;
};
