// The lock that keeps two fetches from writing one .torrent file: the file
// torrents/<FileName>.tmp, created exclusively and removed when the fetch
// ends, whichever way it ends.
//
// A process that dies cannot remove its lock, so the holder also keeps an
// advisory lock on the file (flock) for as long as it lives; the kernel drops
// it with the process. A lock file nobody holds that way is stale and is
// taken over, unless it is only seconds old: between its exclusive creation
// and the flock a live holder has not locked it yet.
#pragma once

#include <string>

class TorrentLock {
  public:
    // A lock file younger than this is never taken as stale.
    static constexpr int kGraceSeconds = 10;

    TorrentLock() = default;
    ~TorrentLock() { Release(); }
    TorrentLock(TorrentLock&& other) noexcept;
    TorrentLock& operator=(TorrentLock&& other) noexcept;
    TorrentLock(const TorrentLock&) = delete;
    TorrentLock& operator=(const TorrentLock&) = delete;

    // Creates the lock file at `path`. Not held when a live fetch holds it
    // or it cannot be created (a missing folder).
    [[nodiscard]] static TorrentLock Acquire(const std::string& path);

    bool Held() const { return fd_ >= 0; }
    // Removes the lock file; nothing when not held.
    void Release();

  private:
    int fd_ = -1;
    std::string path_;
};
