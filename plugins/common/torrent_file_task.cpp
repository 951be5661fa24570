#include "torrent_file_task.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "listing_request.h"
#include "parse_handle.h"
#include "plugin_api.h"
#include "received_text.h"
#include "torrent_check.h"

namespace {

// The last mirror index and the last numbered link.
constexpr int kLastMirror = 3;
constexpr int kLastLink = 2;
// A site whose link or form leads to yet another page would otherwise be
// asked for pages as long as it answers.
constexpr int kMaxFollowedPages = 3;
// A numbered link may answer with a line of its own before the file.
constexpr size_t kFirstLineBytes = 20;

// The link pattern with each "%b" replaced by the base address without its
// closing "/", punctuation escaped so that it stands for itself.
std::string ExpandBaseAddress(std::string_view pattern, std::string_view base) {
    if (base.ends_with('/')) {
        base.remove_suffix(1);
    }
    std::string literal;
    for (const char c : base) {
        if (std::ispunct(static_cast<unsigned char>(c)) != 0) {
            literal += '\\';
        }
        literal += c;
    }
    std::string out;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == 'b') {
            out += literal;
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

bool IsTorrent(const char* data, size_t length) {
    return IsWellFormedTorrent(std::string_view(data, length));
}

// The length of the torrent a numbered link answered with, 0 when there is
// none. The site ends the file with a blank line and holds the connection
// open; that line is no part of the file.
size_t NumberedLinkTorrent(const char* data, size_t length) {
    constexpr std::string_view kBlankLine = "\r\n\r\n";
    if (IsTorrent(data, length)) {
        return length;
    }
    if (std::string_view(data, length).ends_with(kBlankLine) &&
        IsTorrent(data, length - kBlankLine.size())) {
        return length - kBlankLine.size();
    }
    return 0;
}

std::string TorrentDir(const SiteContext& context) {
    return context.Location().home + "torrents/";
}

bool WriteAll(int fd, const char* data, size_t length) {
    while (length > 0) {
        const ssize_t written = ::write(fd, data, length);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        length -= static_cast<size_t>(written);
    }
    return true;
}

// Creates `path` as a new file, never writing through a name that exists: a
// link planted there would send the bytes to its target. What holds the name
// is no live write (the .tmp lock keeps other fetches of this file away), so
// it is removed, which takes away a link and never touches what it points to.
int CreateExclusive(const std::string& path) {
    constexpr int kFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    const int fd = ::open(path.c_str(), kFlags, 0644);
    if (fd >= 0 || errno != EEXIST || ::unlink(path.c_str()) != 0) {
        return fd;
    }
    return ::open(path.c_str(), kFlags, 0644);
}

}  // namespace

bool IsPlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

TorrentFileTask::TorrentFileTask(const SiteContext& context)
    : context_(context),
      toSite_(MakeToSite(context.Charset())),
      linkPattern_(
          toSite_->Convert(ExpandBaseAddress(context.Site().linkPattern, context.Base()))) {}

int TorrentFileTask::Start(const TorrentRecord& record) {
    if (state_ == State::kFetching || state_ == State::kDone) {
        return 1;
    }
    record_ = record;
    // The name comes from the caller; one with a folder part would write
    // outside the torrents folder.
    if (!IsPlainFileName(record_.FileName)) {
        return 0;
    }
    lock_ =
        TorrentLock::Acquire(TorrentDir(context_) + record_.FileName + std::string(kLockSuffix));
    if (!lock_.Held()) {
        return 0;
    }
    attempt_ = context_.Site().fetch == TorrentFetch::kNumberedLinks ? 1 : 0;
    followed_ = 0;
    linkKnown_ = false;
    linkPrefix_.clear();
    if (!Request(SiteText(record_.Addr0), SiteText(context_.Base()))) {
        download_.Close();
        lock_.Release();
        state_ = State::kFailed;
        return 0;
    }
    state_ = State::kFetching;
    return 1;
}

bool TorrentFileTask::Request(const std::string& url, const std::string& referer,
                              const std::string& body) {
    download_.Close();
    // Every request gets the full stall allowance.
    lastPercent_ = 0;
    stall_.Restart(context_.Now());
    return download_.DownLoadFile(url.c_str(), referer.c_str(),
                                  body.empty() ? nullptr : body.c_str()) != 0;
}

int TorrentFileTask::Poll() {
    if (state_ == State::kDone) {
        return 100;
    }
    if (state_ != State::kFetching) {
        return -1;
    }
    const int percent = download_.GetDownPercent();
    if (percent < 0) {
        return Fail();
    }
    if (percent >= 100) {
        char* data = download_.GetDataBuf();
        const int64_t length = download_.GetDataLength();
        if (data == nullptr || length <= 0) {
            return Fail();
        }
        return Complete(data, static_cast<size_t>(length));
    }
    if (stall_.Stalled(download_.GetDownLength(), context_.Now(),
                       context_.Site().fetchStallSeconds)) {
        return Fail();
    }
    if (percent == lastPercent_) {
        return percent;
    }
    lastPercent_ = percent;
    if (linkKnown_ && TailIsBlankLine()) {
        std::vector<char> data = CopyReceived(download_);
        return Complete(data.data(), data.size() - 1);
    }
    return percent;
}

bool TorrentFileTask::TailIsBlankLine() const {
    return ReceivedTail(download_, 4) == "\r\n\r\n";
}

int TorrentFileTask::Complete(char* data, size_t length) {
    const TorrentFetch fetch = context_.Site().fetch;
    if (fetch == TorrentFetch::kNumberedLinks && linkKnown_) {
        size_t kept = NumberedLinkTorrent(data, length);
        if (kept == 0) {
            const std::string_view head(data, std::min(length, kFirstLineBytes));
            const size_t lineEnd = head.find("\r\n");
            if (lineEnd != std::string_view::npos) {
                data += lineEnd + 2;
                length -= lineEnd + 2;
                kept = NumberedLinkTorrent(data, length);
            }
        }
        return kept > 0 ? Write(data, kept) : NextNumberedLink();
    }
    if (IsTorrent(data, length)) {
        return Write(data, length);
    }
    // The answer is a page; `data` is followed by a zero.
    switch (fetch) {
        case TorrentFetch::kDirect:
            // An error page is no torrent.
            return EndFailed();
        case TorrentFetch::kMirrors:
            return NextMirror();
        case TorrentFetch::kLinkPage:
            return ++followed_ > kMaxFollowedPages ? EndFailed() : FollowLink(data);
        case TorrentFetch::kFormPage:
            return ++followed_ > kMaxFollowedPages ? EndFailed() : PostForm(data);
        case TorrentFetch::kNumberedLinks:
            return FindNumberedLinks(data);
    }
    return EndFailed();
}

int TorrentFileTask::Fail() {
    switch (context_.Site().fetch) {
        case TorrentFetch::kMirrors:
            return NextMirror();
        case TorrentFetch::kNumberedLinks:
            // Before the detail page arrived no link is known to try.
            return linkKnown_ ? NextNumberedLink() : EndFailed();
        default:
            return EndFailed();
    }
}

int TorrentFileTask::EndFailed() {
    download_.Close();
    lock_.Release();
    state_ = State::kFailed;
    return -1;
}

int TorrentFileTask::NextMirror() {
    if (attempt_ >= kLastMirror) {
        return EndFailed();
    }
    ++attempt_;
    const std::string* mirrors[] = {&record_.Addr0, &record_.Addr1, &record_.Addr2, &record_.Addr3};
    if (!Request(SiteText(*mirrors[attempt_]), SiteText(context_.Base()))) {
        return EndFailed();
    }
    return 0;
}

int TorrentFileTask::FindNumberedLinks(const char* page) {
    ParsePtr parse = MakeParse(context_.PatternCharsetOfSite());
    if (!parse || parse->Parse(linkPattern_.c_str(), page) == 0 || parse->FindNext() == 0) {
        return EndFailed();
    }
    std::vector<char> buffer(static_cast<size_t>(std::max(context_.Site().groupBufferBytes, 2)));
    const int size = parse->GetGroup(0, buffer.data(), static_cast<int>(buffer.size()));
    linkPrefix_.assign(buffer.data(), static_cast<size_t>(std::max(size, 0)));
    linkKnown_ = true;
    const std::string url = SiteText(context_.Base()) + linkPrefix_ + std::to_string(attempt_);
    return Request(url, SiteText(context_.Base())) ? 0 : EndFailed();
}

int TorrentFileTask::NextNumberedLink() {
    if (attempt_ >= kLastLink) {
        return EndFailed();
    }
    ++attempt_;
    const std::string url = SiteText(context_.Base()) + linkPrefix_ + std::to_string(attempt_);
    return Request(url, SiteText(context_.Base())) ? 0 : EndFailed();
}

int TorrentFileTask::FollowLink(const char* page) {
    ParsePtr parse = MakeParse(context_.PatternCharsetOfSite());
    if (!parse || parse->Parse(linkPattern_.c_str(), page) == 0 || parse->FindNext() == 0) {
        return EndFailed();
    }
    std::vector<char> buffer(static_cast<size_t>(std::max(context_.Site().groupBufferBytes, 2)));
    const int size = parse->GetGroup(0, buffer.data(), static_cast<int>(buffer.size()));
    std::string_view link(buffer.data(), static_cast<size_t>(std::max(size, 0)));
    std::string url;
    if (link.starts_with("http")) {
        url = link;
    } else {
        if (link.starts_with('/')) {
            link.remove_prefix(1);
        }
        url = SiteText(context_.Base());
        url += link;
    }
    return Request(url, FollowRefererText()) ? 0 : EndFailed();
}

int TorrentFileTask::PostForm(const char* page) {
    ParsePtr parse = MakeParse(context_.PatternCharsetOfSite());
    if (!parse || parse->Parse(linkPattern_.c_str(), page) == 0 || parse->FindNext() == 0) {
        return EndFailed();
    }
    std::vector<char> buffer(static_cast<size_t>(std::max(context_.Site().groupBufferBytes, 2)));
    int size = parse->GetGroup(0, buffer.data(), static_cast<int>(buffer.size()));
    const std::string action(buffer.data(), static_cast<size_t>(std::max(size, 0)));
    size = parse->GetGroup(1, buffer.data(), static_cast<int>(buffer.size()));
    const std::string value(buffer.data(), static_cast<size_t>(std::max(size, 0)));
    const std::string body =
        FillTemplate(SiteText(std::string(context_.Site().fetchBody)), value, 0);
    return Request(SiteText(context_.Base()) + action, FollowRefererText(), body) ? 0 : EndFailed();
}

std::string TorrentFileTask::FollowRefererText() const {
    switch (context_.Site().followReferer) {
        case FollowReferer::kWebAddr:
            return SiteText(record_.WebAddr);
        case FollowReferer::kAddr0:
            return SiteText(record_.Addr0);
        case FollowReferer::kBase:
            break;
    }
    return SiteText(context_.Base());
}

int TorrentFileTask::Write(const char* data, size_t length) {
    const std::string base = TorrentDir(context_) + record_.FileName;
    const std::string final = base + std::string(kTorrentSuffix);
    const std::string part = base + std::string(kPartSuffix);
    const int fd = CreateExclusive(part);
    if (fd < 0) {
        return EndFailed();
    }
    // Flushed before the rename: after a crash the final name holds either
    // nothing or the whole file.
    const bool written = WriteAll(fd, data, length) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || std::rename(part.c_str(), final.c_str()) != 0) {
        ::unlink(part.c_str());
        return EndFailed();
    }
    download_.Close();
    lock_.Release();
    state_ = State::kDone;
    return 100;
}

void TorrentFileTask::Stop() {
    download_.Close();
    lock_.Release();
    if (state_ == State::kFetching) {
        state_ = State::kIdle;
    }
}
