#include "refresh_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

CRefreshLock::~CRefreshLock() {
    close(m_fd);
}

std::string CRefreshLock::LockPath(const std::string& strHome) {
    return strHome + "kernel/refresh.lock";
}

std::unique_ptr<CRefreshLock> CRefreshLock::Acquire(const std::string& strHome,
                                                    std::string& strError) {
    const std::string strPath = LockPath(strHome);
    // O_CLOEXEC: a program the front end starts (a browser, a torrent
    // client) must not inherit the claim and keep it after we end.
    const int fd = open(strPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        strError = "cannot open " + strPath + ": " + std::strerror(errno);
        return nullptr;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int nError = errno;
        close(fd);
        strError = nError == EWOULDBLOCK ? "another Tessaro is already refreshing " + strHome
                                         : "cannot lock " + strPath + ": " + std::strerror(nError);
        return nullptr;
    }
    const std::string pid = std::to_string(getpid());
    if (ftruncate(fd, 0) != 0 || pwrite(fd, pid.data(), pid.size(), 0) < 0) {
        strError = "cannot write " + strPath;
    }
    return std::unique_ptr<CRefreshLock>(new CRefreshLock(fd));
}

std::optional<long> CRefreshLock::HolderPid(const std::string& strHome) {
    const int fd = open(LockPath(strHome).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::optional<long> pid;
    if (flock(fd, LOCK_SH | LOCK_NB) != 0) {
        char text[32] = {};
        if (pread(fd, text, sizeof text - 1, 0) > 0) {
            pid = std::strtol(text, nullptr, 10);
        }
    }
    close(fd);
    return pid;
}
