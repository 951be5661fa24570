#include "search_task.h"

#include <cstdio>

#include "listing_request.h"
#include "received_text.h"

std::string EncodeKeyword(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        out += '%';
        out += kHex[byte >> 4];
        out += kHex[byte & 0x0F];
    }
    return out;
}

SearchRequestText BuildSearchRequest(const SiteContext& context, const std::string& keyword) {
    const SiteData& site = context.Site();
    auto toSite = MakeToSite(context.Charset());
    const std::string encoded = EncodeKeyword(toSite->Convert(keyword));
    const std::string& base = site.searchOnService ? context.SearchBase() : context.Base();
    SearchRequestText request;
    request.url = toSite->Convert(base + FillTemplate(site.searchPath, encoded, 0));
    if (site.searchRequest == SearchRequest::kPost) {
        request.body = toSite->Convert(FillTemplate(site.searchBody, encoded, 0));
    }
    request.referer = site.searchRefererIsAddress ? request.url : toSite->Convert(context.Base());
    return request;
}

SearchTask::SearchTask(const SiteContext& context, std::string keyword)
    : context_(context),
      keyword_(std::move(keyword)),
      fromSite_(MakeFromSite(context.Charset())),
      toSite_(MakeToSite(context.Charset())),
      pattern_(toSite_->Convert(context.Site().search.text)),
      parser_(context, context.Site().search, pattern_, *fromSite_) {}

int SearchTask::Start() {
    if (context_.Site().searchRequest == SearchRequest::kInert || running_) {
        return 1;
    }
    if (download_.IsCanDownNow() == 0) {
        pending_ = true;
        return 1;
    }
    return Begin() ? 1 : 0;
}

bool SearchTask::Begin() {
    pending_ = false;
    progress_ = 0;
    EmptyCollected();
    stall_.Restart(context_.Now());
    lastPercent_ = 0;
    const SearchRequestText request = BuildSearchRequest(context_, keyword_);
    running_ = download_.DownLoadFile(request.url.c_str(), request.referer.c_str(),
                                      request.body.empty() ? nullptr : request.body.c_str()) != 0;
    if (!running_) {
        download_.Close();
    }
    return running_;
}

int SearchTask::Poll() {
    if (pending_) {
        if (download_.IsCanDownNow() == 0) {
            return 0;
        }
        return Begin() ? 0 : 100;
    }
    if (!running_ || progress_ == 100) {
        return 100;
    }
    const int percent = download_.GetDownPercent();
    if (percent < 0) {
        return End();
    }
    if (percent >= 100) {
        char* data = download_.GetDataBuf();
        const int64_t length = download_.GetDataLength();
        if (data == nullptr || length <= 0) {
            return End();
        }
        return Complete(data, static_cast<size_t>(length));
    }
    if (stall_.Stalled(download_.GetDownLength(), context_.Now(), kStallSeconds)) {
        return End();
    }
    if (percent != lastPercent_) {
        lastPercent_ = percent;
        if (context_.Site().tailCheckSearch && TailHoldsEndTag(download_)) {
            std::vector<char> page = CopyReceived(download_);
            return Complete(page.data(), page.size() - 1);
        }
    }
    progress_ = percent;
    return percent;
}

int SearchTask::End() {
    // Over for good: a stalled transfer that moves again later must not
    // bring rows to a search the host was told had ended.
    download_.Close();
    running_ = false;
    return 100;
}

int SearchTask::Complete(char* text, size_t length) {
    const std::tm today = LocalTime(context_.Now());
    {
        std::lock_guard list(listLock_);
        parser_.ForEachRow(text, length, 0, today, [this](TorrentRecord&& row) {
            std::lock_guard append(appendLock_);
            collected_.push_back(std::move(row));
        });
    }
    download_.Close();
    progress_ = 100;
    return 100;
}

int SearchTask::HandOver(TorrentRecordArray* out) {
    std::lock_guard list(listLock_);
    if (out != nullptr) {
        out->insert(out->end(), collected_.begin(), collected_.end());
    }
    std::lock_guard append(appendLock_);
    collected_.clear();
    return 1;
}

void SearchTask::Stop() {
    if (!running_) {
        return;
    }
    download_.Close();
    running_ = false;
    EmptyCollected();
}

void SearchTask::EmptyCollected() {
    std::lock_guard list(listLock_);
    std::lock_guard append(appendLock_);
    collected_.clear();
}
