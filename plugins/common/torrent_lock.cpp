#include "torrent_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <utility>

namespace {

// Removes the lock file at `path` if its holder is gone. True when the path
// is free for a new exclusive creation.
bool TakeOverStale(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return errno == ENOENT;
    }
    bool free = false;
    struct stat opened {};
    struct stat named {};
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &opened) == 0 &&
        ::stat(path.c_str(), &named) == 0 && opened.st_ino == named.st_ino &&
        opened.st_dev == named.st_dev &&
        std::time(nullptr) - named.st_mtime >= TorrentLock::kGraceSeconds) {
        // Holding its flock keeps another taker from removing a lock created
        // in between under the same name.
        free = ::unlink(path.c_str()) == 0 || errno == ENOENT;
    }
    ::close(fd);
    return free;
}

}  // namespace

TorrentLock::TorrentLock(TorrentLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

TorrentLock& TorrentLock::operator=(TorrentLock&& other) noexcept {
    if (this != &other) {
        Release();
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
    }
    return *this;
}

TorrentLock TorrentLock::Acquire(const std::string& path) {
    TorrentLock lock;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            lock.fd_ = fd;
            lock.path_ = path;
            ::flock(fd, LOCK_EX | LOCK_NB);
            // For a person looking at the folder: who holds the lock.
            const std::string owner = std::to_string(::getpid()) + "\n";
            [[maybe_unused]] const ssize_t written = ::write(fd, owner.data(), owner.size());
            return lock;
        }
        if (errno != EEXIST || !TakeOverStale(path)) {
            break;
        }
    }
    return lock;
}

void TorrentLock::Release() {
    if (fd_ < 0) {
        return;
    }
    // Removed while still locked, so no one finds the name unlocked; and only
    // while the name is still this lock's file: when someone removed it, a
    // fetch started since may have created its own lock under the name.
    struct stat held {};
    struct stat named {};
    if (::fstat(fd_, &held) == 0 && ::lstat(path_.c_str(), &named) == 0 &&
        held.st_ino == named.st_ino && held.st_dev == named.st_dev) {
        ::unlink(path_.c_str());
    }
    ::close(fd_);
    fd_ = -1;
    path_.clear();
}
