#include "page_task.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "listing_request.h"
#include "parse_handle.h"

namespace {

constexpr size_t kTailBytes = 50;
constexpr int64_t kSecondsPerDay = 86400;
constexpr long kHttpNotFound = 404;

// Site dates have whole seconds, and the refresh date comes back from
// dllmgr.ini rounded to nine decimals of a day (under a millisecond). Compared
// as they are, the row that set the refresh date would be newer than it after
// every reload and be taken again; compared to the second, it is not.
int64_t Seconds(const OleDate& date) {
    return std::llround(std::clamp(date.m_dt, -1e7, 1e7) * 86400.0);
}

bool IsLater(const OleDate& date, const OleDate& than) {
    return date.IsValid() && Seconds(date) > Seconds(than);
}

}  // namespace

bool CanBeNewest(const OleDate& date, int64_t nowSeconds) {
    const OleDate tomorrow =
        OleDate::FromUnixTime(static_cast<time_t>(nowSeconds + kSecondsPerDay));
    return date.IsValid() && Seconds(date) <= Seconds(tomorrow);
}

PageTask::PageTask(const SiteContext& context, int group, int index)
    : context_(context),
      group_(group),
      index_(index),
      template_(SlotTemplate(context.Site(), group, index)),
      sections_(std::max(SlotSections(context.Site(), group, index), 1)),
      fromSite_(MakeFromSite(context.Charset())),
      toSite_(MakeToSite(context.Charset())),
      parser_(context, context.Site().page, context.PagePattern(), *fromSite_),
      refreshDate_(context.ReadRefreshDate(group, index)),
      newestSeen_(OleDate::LocalEpoch()) {}

PageTask::~PageTask() {
    context_.WriteRefreshDate(group_, index_, refreshDate_);
}

int PageTask::Start() {
    if (running_) {
        return 1;
    }
    if (download_.IsCanDownNow() == 0) {
        pending_ = true;
        return 1;
    }
    return BeginRun() ? 1 : 0;
}

bool PageTask::BeginRun() {
    page_ = 1;
    section_ = 1;
    progress_ = 0;
    continue_ = true;
    ended_ = false;
    pending_ = false;
    failure_.clear();
    EmptyCollected();
    running_ = RequestPage();
    if (!running_) {
        failure_ = requestedUrl_ + ": the address was refused";
        download_.Close();
    }
    return running_;
}

bool PageTask::RequestPage() {
    // Each request gets the full stall allowance. Pages finished between two
    // polls leave no trace in the percentage, so the time of the run's start
    // would otherwise declare a later page stalled at its first look.
    lastPercent_ = 0;
    stall_.Restart(context_.Now());
    const ListingRequestText request = BuildListingRequest(context_.Site(), template_, section_,
                                                           page_, context_.Base(), pagerPrefix_);
    requestedUrl_ = request.url;
    const std::string url = toSite_->Convert(request.url);
    const std::string referer = toSite_->Convert(context_.Base());
    const std::string body = toSite_->Convert(request.body);
    return download_.DownLoadFile(url.c_str(), referer.c_str(),
                                  body.empty() ? nullptr : body.c_str()) != 0;
}

int PageTask::Poll() {
    const int status = Advance();
    if (status == 100 && running_) {
        ended_ = true;
    }
    return status;
}

int PageTask::Advance() {
    if (pending_) {
        if (download_.IsCanDownNow() == 0) {
            return 0;
        }
        return BeginRun() ? 0 : 100;
    }
    // The host goes on polling a slot whose run ended while other plug-ins
    // work on theirs; an ended run has no transfer left to look at.
    if (!running_ || !continue_ || ended_) {
        return 100;
    }
    const int percent = download_.GetDownPercent();
    if (percent < 0) {
        // A page past the first that is not there is the end of the listing.
        if (page_ > 1 && download_.GetHttpStatus() == kHttpNotFound) {
            return EndSection({});
        }
        const std::string reason = download_.GetFailureText();
        return EndSection(reason.empty() ? "the address was refused" : reason);
    }
    if (percent > 100) {
        return Progress();
    }
    if (percent == 100) {
        char* data = download_.GetDataBuf();
        const int64_t length = download_.GetDataLength();
        if (data == nullptr || length <= 0) {
            char empty[1] = {'\0'};
            return PageComplete(empty, 0);
        }
        return PageComplete(data, static_cast<size_t>(length));
    }
    if (stall_.Stalled(download_.GetDownLength(), context_.Now(), kStallSeconds)) {
        return EndSection("nothing arrived for " + std::to_string(kStallSeconds) + " seconds");
    }
    if (percent == lastPercent_) {
        return Progress();
    }
    lastPercent_ = percent;
    if (!context_.Site().tailCheckPages || !TailHoldsEndTag()) {
        return Progress();
    }
    std::vector<char> page = CopyReceived();
    return PageComplete(page.data(), page.size() - 1);
}

int PageTask::PageComplete(char* text, size_t length) {
    continue_ = ParsePage(text, length);
    if (context_.Site().request == ListingRequest::kPagerLink && page_ == 1) {
        FindPagerPrefix(text);
    }
    download_.Close();
    const bool lastSection = section_ >= sections_;
    if (!continue_) {
        // A section without anything new says nothing about the sections
        // after it: their new rows would be lost once the slot's date moves
        // past them.
        if (lastSection) {
            return 100;
        }
        continue_ = true;
        return NextSection();
    }
    progress_ += 100;
    // A section whose page 1 has no pager link has no further pages.
    const bool pagerLost =
        context_.Site().request == ListingRequest::kPagerLink && pagerPrefix_.empty();
    if (page_ < context_.Site().pageLimit && !pagerLost) {
        ++page_;
        // A refused request shows as a failure at the next poll.
        RequestPage();
        return Progress();
    }
    return lastSection ? 100 : NextSection();
}

int PageTask::EndSection(const std::string& reason) {
    if (!reason.empty()) {
        failure_ = requestedUrl_ + ": " + reason;
    }
    // A failed or stalled section ends only its own pages; the next section
    // still brings its rows.
    if (section_ < sections_) {
        download_.Close();
        return NextSection();
    }
    if (progress_ == 0) {
        Stop();
        return 100;
    }
    // Over for good: a stalled transfer that moves again later must not
    // resume a run the host was told had ended.
    download_.Close();
    continue_ = false;
    return 100;
}

int PageTask::NextSection() {
    ++section_;
    page_ = 1;
    RequestPage();
    return Progress();
}

int PageTask::Progress() const {
    const int pages = sections_ * std::max(context_.Site().pageLimit, 1);
    return std::min(progress_ / pages, 100);
}

bool PageTask::ParsePage(char* text, size_t length) {
    const int64_t now = context_.Now();
    const std::tm today = LocalTime(now);
    const int type = group_ * 256 + index_;
    bool took = false;
    std::lock_guard list(listLock_);
    parser_.ForEachRow(text, length, type, today, [&](TorrentRecord&& row) {
        if (!IsLater(row.AddDate, refreshDate_)) {
            return;
        }
        const OleDate date = row.AddDate;
        {
            std::lock_guard append(appendLock_);
            collected_.push_back(std::move(row));
        }
        took = true;
        if (IsLater(date, newestSeen_) && CanBeNewest(date, now)) {
            newestSeen_ = date;
        }
    });
    return took;
}

void PageTask::FindPagerPrefix(char* text) {
    ParsePtr parse = MakeParse(context_.PatternCharsetOfSite());
    if (!parse || parse->Parse(context_.PagerPattern().c_str(), text) == 0 ||
        parse->FindNext() == 0) {
        // The prefix of an earlier section or run would page through another
        // board.
        pagerPrefix_.clear();
        return;
    }
    std::vector<char> buffer(static_cast<size_t>(std::max(context_.Site().groupBufferBytes, 2)));
    const int length = parse->GetGroup(0, buffer.data(), static_cast<int>(buffer.size()));
    pagerPrefix_ = context_.Base();
    fromSite_->Append(std::string_view(buffer.data(), static_cast<size_t>(std::max(length, 0))),
                      pagerPrefix_);
}

bool PageTask::TailHoldsEndTag() const {
    if (download_.GetDownLength() <= static_cast<int64_t>(kTailBytes)) {
        return false;
    }
    char tail[kTailBytes];
    const size_t copied = download_.CopyTail(tail, sizeof tail);
    std::string lower(tail, copied);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower.find("</html>") != std::string::npos;
}

std::vector<char> PageTask::CopyReceived() const {
    // More bytes may arrive while copying; a copy that fills the buffer may
    // have lost the page's beginning, so it is taken again with more room.
    size_t room = static_cast<size_t>(std::max<int64_t>(download_.GetDownLength(), 0)) + 4096;
    std::vector<char> page;
    for (;;) {
        page.resize(room + 1);
        const size_t copied = download_.CopyTail(page.data(), room);
        if (copied < room || room > static_cast<size_t>(CDownManager::kMaxResponseBytes)) {
            page.resize(copied + 1);
            page[copied] = '\0';
            return page;
        }
        room *= 2;
    }
}

void PageTask::EmptyCollected() {
    std::lock_guard list(listLock_);
    std::lock_guard append(appendLock_);
    collected_.clear();
}

int PageTask::HandOver(TorrentRecordArray* out) {
    std::lock_guard list(listLock_);
    if (out == nullptr) {
        return 1;
    }
    out->insert(out->end(), collected_.begin(), collected_.end());
    std::lock_guard append(appendLock_);
    collected_.clear();
    return 1;
}

int PageTask::Stop() {
    if (!running_) {
        return 1;
    }
    download_.Close();
    running_ = false;
    bool handedOver = false;
    {
        std::lock_guard list(listLock_);
        handedOver = collected_.empty();
    }
    EmptyCollected();
    if (ended_ && handedOver && IsLater(newestSeen_, refreshDate_)) {
        refreshDate_ = newestSeen_;
    }
    return 1;
}

void PageTask::SetRefreshDate(const OleDate& date) {
    refreshDate_ = date;
    newestSeen_ = date;
}
