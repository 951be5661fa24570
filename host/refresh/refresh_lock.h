// CRefreshLock: the claim of one process to refresh a home's catalogue.
//
// Two processes refreshing the same home would each drive their own copies
// of the plug-ins, which remember per slot the newest entry they took and
// write it to kernel/dllmgr.ini when unloaded; each would append the same
// entries and overwrite the other's dates. The background refresher and the
// desktop program therefore hold an exclusive flock on
// <home>/kernel/refresh.lock for as long as they run. The kernel drops the
// lock when the process ends, however it ends, so a crash leaves no stale
// claim behind.
#pragma once

#include <memory>
#include <optional>
#include <string>

class CRefreshLock {
  public:
    ~CRefreshLock();
    CRefreshLock(const CRefreshLock&) = delete;
    CRefreshLock& operator=(const CRefreshLock&) = delete;

    // The home ends in '/'. Null with one sentence in strError when another
    // process holds the lock or the lock file cannot be opened.
    static std::unique_ptr<CRefreshLock> Acquire(const std::string& strHome, std::string& strError);

    static std::optional<long> HolderPid(const std::string& strHome);

    static std::string LockPath(const std::string& strHome);

  private:
    explicit CRefreshLock(int fd) : m_fd(fd) {}

    int m_fd;
};
