// SearchTask: one search of the site for a keyword. It sends the keyword in
// the form the site expects (SiteData::searchRequest), fetches one result
// page and cuts it into rows with the site's search pattern. Every row is
// taken (no date filter) with Type 0. Nothing happens between the host's
// calls: every poll looks at the transfer once.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "listing_parser.h"
#include "netfetch.h"
#include "site_context.h"
#include "stall_watch.h"
#include "text_codec.h"
#include "torrent_record.h"

class SearchTask {
  public:
    // A transfer that has not brought StallWatch::kProgressBytes for longer
    // than this has stalled.
    static constexpr int64_t kStallSeconds = 30;

    // `keyword` is UTF-8; it is sent in the site's charset.
    SearchTask(const SiteContext& context, std::string keyword);
    SearchTask(const SearchTask&) = delete;
    SearchTask& operator=(const SearchTask&) = delete;

    // 1 when the request started, is already running, waits behind
    // netfetch's transfer limit, or the site has no search; 0 when netfetch
    // refused it.
    int Start();
    // Progress 0..100; 100 once the result page is parsed, or the search
    // failed, stalled or never ran.
    int Poll();
    // Appends the rows found and not yet handed over. May be called from
    // another thread than Poll.
    int HandOver(TorrentRecordArray* out);
    // Cancels the request and discards rows not handed over.
    void Stop();

  private:
    bool Begin();
    int End();
    int Complete(char* text, size_t length);
    void EmptyCollected();

    const SiteContext& context_;
    const std::string keyword_;
    std::unique_ptr<TextConverter> fromSite_;
    std::unique_ptr<TextConverter> toSite_;
    const std::string pattern_;  // in the site's charset
    ListingParser parser_;

    bool running_ = false;
    bool pending_ = false;
    CDownManager download_;
    int progress_ = 0;  // the last transfer percentage; 100 once parsed
    StallWatch stall_;
    int lastPercent_ = 0;

    // Lock order: list lock, then append lock, as in the page task.
    std::mutex listLock_;
    std::mutex appendLock_;
    TorrentRecordArray collected_;
};

// Every byte as "%XX" (upper-case hexadecimal), letters and digits included.
std::string EncodeKeyword(std::string_view bytes);

struct SearchRequestText {
    std::string url;
    std::string body;  // empty for a GET
    std::string referer;
};

// The search request for `keyword` (UTF-8), in the site's charset.
SearchRequestText BuildSearchRequest(const SiteContext& context, const std::string& keyword);
