// PageTask: the run over one category slot's listing pages. It asks for
// page 1, 2, 3 ... of each site section merged into the slot, parses each
// finished page, and ends at the first page with nothing newer than the
// slot's refresh date, or at the page limit. Nothing happens between the
// host's calls: every poll looks at the transfer once and moves on.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "listing_parser.h"
#include "netfetch.h"
#include "ole_date.h"
#include "site_context.h"
#include "stall_watch.h"
#include "text_codec.h"
#include "torrent_record.h"

// Whether a row's date may become the slot's newest: one more than a day
// past the clock is a site's mistake (or a notice pinned to the year 9999),
// and taking it would leave nothing newer for good. The row itself is still
// taken with its date.
bool CanBeNewest(const OleDate& date, int64_t nowSeconds);

class PageTask {
  public:
    // A transfer that has not brought StallWatch::kProgressBytes for longer
    // than this has stalled.
    static constexpr int64_t kStallSeconds = 30;

    // Reads the slot's refresh date from kernel/dllmgr.ini.
    PageTask(const SiteContext& context, int group, int index);
    // Writes the slot's refresh date to kernel/dllmgr.ini.
    ~PageTask();
    PageTask(const PageTask&) = delete;
    PageTask& operator=(const PageTask&) = delete;

    // Starts a run from page 1 unless one is running. 1 when already running,
    // when queued behind netfetch's transfer limit, or when page 1 was asked
    // for; 0 when netfetch refused the request.
    int Start();
    // Advances the run and answers its progress, 0..100; 100 once the run is
    // over (its last page, nothing newer, failure, stall, never started).
    int Poll();
    // Appends the rows collected since the last hand-over. May be called from
    // another thread than Poll.
    int HandOver(TorrentRecordArray* out);
    // Cancels the run and discards rows not handed over. The refresh date
    // moves to the newest row taken only when the run had ended and every row
    // was handed over: a run cut short (program end, cancel) leaves rows on
    // pages it never reached, which the next run must still take.
    int Stop();
    // Sets both the refresh date and the newest seen date (the file is the
    // caller's to write).
    void SetRefreshDate(const OleDate& date);
    // Why a page of the current or last run could not be had ("<address>:
    // <reason>"); empty when every page asked for arrived. A failed page
    // ends its section early, so the run may end without having seen rows
    // that are there.
    const std::string& FailureText() const { return failure_; }

  private:
    int Advance();
    bool BeginRun();
    bool RequestPage();
    int PageComplete(char* text, size_t length);
    int EndSection(const std::string& reason);
    int NextSection();
    int Progress() const;
    bool ParsePage(char* text, size_t length);
    void FindPagerPrefix(char* text);
    bool TailHoldsEndTag() const;
    std::vector<char> CopyReceived() const;
    void EmptyCollected();

    const SiteContext& context_;
    const int group_;
    const int index_;
    const std::string_view template_;
    const int sections_;
    std::unique_ptr<TextConverter> fromSite_;
    std::unique_ptr<TextConverter> toSite_;
    ListingParser parser_;

    OleDate refreshDate_;
    OleDate newestSeen_;
    bool running_ = false;
    bool pending_ = false;
    bool continue_ = false;
    bool ended_ = false;  // Poll has answered 100 for this run
    CDownManager download_;
    int progress_ = 0;  // 100 x pages finished in this run
    int page_ = 0;
    int section_ = 0;
    StallWatch stall_;
    int lastPercent_ = 0;
    std::string pagerPrefix_;   // UTF-8
    std::string requestedUrl_;  // UTF-8, the page asked for last
    std::string failure_;

    // Lock order: list lock, then append lock. The list lock spans a whole
    // page parse or hand-over; the append lock each single append or empty.
    std::mutex listLock_;
    std::mutex appendLock_;
    TorrentRecordArray collected_;
};
