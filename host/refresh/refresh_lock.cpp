#include "refresh_lock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>

namespace {

struct flock WholeFile(short type) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;
    return lock;
}

// The id a holder wrote; 0 when the file holds none (yet).
long ReadPid(int fd) {
    char text[32];
    const ssize_t n = pread(fd, text, sizeof text, 0);
    long pid = 0;
    if (n <= 0 || std::from_chars(text, text + n, pid).ec != std::errc() || pid < 0) {
        return 0;
    }
    return pid;
}

// Whether another open file description holds the lock.
bool IsHeld(int fd) {
    struct flock probe = WholeFile(F_WRLCK);
    return fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
}

}  // namespace

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
    struct flock lock = WholeFile(F_WRLCK);
    if (fcntl(fd, F_OFD_SETLK, &lock) != 0) {
        const int nError = errno;
        if (nError == EAGAIN || nError == EACCES) {
            const long pid = ReadPid(fd);
            strError = "another Tessaro" +
                       (pid > 0 ? " (process " + std::to_string(pid) + ")" : std::string()) +
                       " is already refreshing " + strHome;
        } else {
            strError = "cannot lock " + strPath + ": " + std::strerror(nError);
        }
        close(fd);
        return nullptr;
    }
    const std::string strPid = std::to_string(getpid()) + "\n";
    if (ftruncate(fd, 0) != 0 ||
        pwrite(fd, strPid.data(), strPid.size(), 0) != static_cast<ssize_t>(strPid.size())) {
        strError = "cannot write " + strPath + ": " + std::strerror(errno);
        close(fd);
        return nullptr;
    }
    return std::unique_ptr<CRefreshLock>(new CRefreshLock(fd));
}

std::optional<long> CRefreshLock::HolderPid(const std::string& strHome) {
    const int fd = open(LockPath(strHome).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::optional<long> holder;
    if (IsHeld(fd)) {
        holder = ReadPid(fd);
    }
    close(fd);
    return holder;
}
