// TorrentFileTask: fetches the .torrent file of one record into
// <home>/torrents/<FileName>.torrent. The site decides how the file is
// reached (SiteData::fetch): directly, from one of four mirrors, through a
// page holding its link or a form, or through a detail page with numbered
// links. Every answer that is not a bencoded dictionary is either such a page
// or a failure; it is never saved as the torrent.
//
// While the task fetches it holds torrents/<FileName>.tmp (TorrentLock), so
// a second fetch of the same file does not start. The finished file is
// written under a temporary name and renamed, so the final name never holds
// half a torrent. Nothing happens between the host's calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "netfetch.h"
#include "site_context.h"
#include "stall_watch.h"
#include "text_codec.h"
#include "torrent_lock.h"
#include "torrent_record.h"

class TorrentFileTask {
  public:
    explicit TorrentFileTask(const SiteContext& context);
    TorrentFileTask(const TorrentFileTask&) = delete;
    TorrentFileTask& operator=(const TorrentFileTask&) = delete;

    // Takes the record and requests its Addr0. 1 when the request started,
    // also when the task is already fetching or done (nothing changes then);
    // 0 when the lock is taken, the file name is unusable or netfetch refused.
    int Start(const TorrentRecord& record);
    // -1 failed, stopped or never started; 0..99 percent of the current
    // request; 100 once the file is written.
    int Poll();
    // Cancels the request and releases the lock.
    void Stop();

    const std::string& Addr0() const { return record_.Addr0; }

  private:
    enum class State : uint8_t { kIdle, kFetching, kDone, kFailed };

    bool Request(const std::string& url, const std::string& referer, const std::string& body = {});
    int Complete(char* data, size_t length);
    int Fail();
    int EndFailed();
    int NextMirror();
    int NextNumberedLink();
    int FollowLink(const char* page);
    int PostForm(const char* page);
    int FindNumberedLinks(const char* page);
    int Write(const char* data, size_t length);
    bool TailIsBlankLine() const;
    std::string SiteText(const std::string& utf8) const { return toSite_->Convert(utf8); }
    std::string FollowRefererText() const;

    const SiteContext& context_;
    std::unique_ptr<TextConverter> toSite_;
    std::string linkPattern_;  // in the site's charset

    TorrentRecord record_;
    State state_ = State::kIdle;
    TorrentLock lock_;
    CDownManager download_;
    StallWatch stall_;
    int lastPercent_ = 0;
    // Mirror index 0..3, or the number of the link asked for (1..2).
    int attempt_ = 0;
    // Link and form pages followed since the start.
    int followed_ = 0;
    // Numbered links: the detail page is asked for until its link is known.
    bool linkKnown_ = false;
    std::string linkPrefix_;  // site bytes
};

// A FileName that names a file inside the torrents folder: not empty, no
// folder part, not "." or "..".
bool IsPlainFileName(const std::string& name);
