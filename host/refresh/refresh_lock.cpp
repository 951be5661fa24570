#include "refresh_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
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
    return std::unique_ptr<CRefreshLock>(new CRefreshLock(fd));
}
