// CRefreshLock: the claim of one process to refresh a home's catalogue.
//
// Two processes refreshing the same home would each drive their own copies
// of the plug-ins, which remember per slot the newest entry they took and
// write it to kernel/dllmgr.ini when unloaded; each would append the same
// entries and overwrite the other's dates. The background refresher and the
// desktop program therefore hold an exclusive lock on
// <home>/kernel/refresh.lock for as long as they run, with their process id
// written in the file. The kernel drops the lock when the process ends,
// however it ends, so a crash leaves no stale claim behind.
//
// The lock is an open-file-description lock: it can be tested without being
// taken (so asking who holds it never makes a starting refresher fail), and
// closing another descriptor of the file, even in the holder, leaves it.
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
    // process holds the lock, or the lock file cannot be opened or written.
    [[nodiscard]] static std::unique_ptr<CRefreshLock> Acquire(const std::string& strHome,
                                                               std::string& strError);

    // The process id of the process that holds the home's lock now; nullopt
    // when nobody holds it. 0 in the instant between a holder taking the
    // lock and writing its id.
    static std::optional<long> HolderPid(const std::string& strHome);

    static std::string LockPath(const std::string& strHome);

  private:
    explicit CRefreshLock(int fd) : m_fd(fd) {}

    int m_fd;
};
