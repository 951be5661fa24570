// CIndexerService: the loop side of the indexer. It answers the jobs the
// HTTP threads queue, using the core on the loop's thread only: catalogue
// pages at once, live site searches and torrent-file downloads over the
// following polls.
//
// A search asks the sites too when the request says extended=1 or the
// settings say so, but only on its first page and only while fewer than
// the allowed number of site searches run; otherwise it answers the local
// rows alone. The site results come after the local rows, without the rows
// already listed (same plug-in and Addr0), up to the page's limit, when the
// sites are done or the search time is up.
//
// A download serves the row's file in torrents/ when it is there, else
// fetches it through the row's plug-in with the download tasks. A download
// that outlives its time, or whose waiter gave up, is stopped and answered
// with an error. Site results can be downloaded while the service remembers
// them (the most recent ones it served).
//
// Single-threaded: Accept and Poll run on the loop that owns the core.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "catalogue_query.h"
#include "category_map.h"
#include "download_tasks.h"
#include "download_token.h"
#include "global_config.h"
#include "indexer_settings.h"
#include "plugin_host.h"
#include "request_queue.h"
#include "search_session.h"

namespace torznab {

class CIndexerService {
  public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    static constexpr std::chrono::milliseconds kPollInterval{CSearchSession::kPollIntervalMs};
    // Site results remembered for their download addresses.
    static constexpr size_t kRememberedSiteResults = 5000;

    CIndexerService(PluginHost& host, CGlobalConfig& config, const CCategoryMap& categories,
                    CCatalogueQuery& catalogue, const IndexerSettings& settings,
                    Clock clock = std::chrono::steady_clock::now);
    // Answers what still runs with an error and stops its work.
    ~CIndexerService();
    CIndexerService(const CIndexerService&) = delete;
    CIndexerService& operator=(const CIndexerService&) = delete;

    void Accept(std::vector<CRequestQueue::Job> jobs);
    void Poll();
    // When the next Poll is due; nullopt while nothing runs.
    std::optional<std::chrono::milliseconds> NextPollIn() const;

  private:
    struct SiteSearch {
        CRequestQueue::Job job;
        ApiQuery query;
        std::vector<FeedItem> localItems;
        std::unique_ptr<CSearchSession> session;
        std::chrono::steady_clock::time_point deadline;
    };
    struct Download {
        CRequestQueue::Job job;
        std::string addr0;
        std::chrono::steady_clock::time_point deadline;
    };

    void Search(CRequestQueue::Job job, const ApiQuery& query);
    void FinishSearch(SiteSearch& search);
    void StartDownload(CRequestQueue::Job job, const std::string& token);
    std::optional<TorrentRecord> FindRecord(const DownloadRef& ref);
    // Answers the download and drops its task unless another waits for it.
    void FinishDownload(std::vector<Download>::iterator it, Answer answer);
    void Remember(const TorrentRecord& record);
    FeedItem SiteItem(const TorrentRecord& record, const LeafCategory* leaf) const;

    PluginHost& m_host;
    CGlobalConfig& m_config;
    const CCategoryMap& m_categories;
    CCatalogueQuery& m_catalogue;
    IndexerSettings m_settings;
    Clock m_clock;
    CDownloadTasks m_tasks;
    std::vector<SiteSearch> m_searches;
    std::vector<Download> m_downloads;
    std::map<std::pair<int, std::string>, TorrentRecord> m_siteResults;
    std::deque<std::pair<int, std::string>> m_siteResultOrder;
};

}  // namespace torznab
