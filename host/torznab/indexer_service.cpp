#include "indexer_service.h"

#include <algorithm>
#include <set>

#include "ado_recordset.h"
#include "download_token.h"

namespace torznab {
namespace {

std::string Guid(int dllId, const std::string& addr0) {
    return std::to_string(dllId) + ":" + addr0;
}

FeedItem LocalItem(const CatalogueRow& row) {
    FeedItem item;
    item.title = row.name;
    item.guid = Guid(row.dllId, row.addr0);
    item.comments = row.webAddr;
    item.pubDate = row.addDate;
    item.sizeText = row.size;
    item.seeders = row.seeds;
    item.peers = row.peers;
    item.standardCategory = row.leaf->standard;
    item.ownCategory = row.leaf->ownId;
    item.token = EncodeToken(CatalogueRowRef{row.leaf->leaf->m_strTableName, row.rowId});
    return item;
}

ApiError NoSuchItem() {
    return {kNoSuchItem, "No such item"};
}

}  // namespace

CIndexerService::CIndexerService(PluginHost& host, CGlobalConfig& config,
                                 const CCategoryMap& categories, CCatalogueQuery& catalogue,
                                 const IndexerSettings& settings, Clock clock)
    : m_host(host),
      m_config(config),
      m_categories(categories),
      m_catalogue(catalogue),
      m_settings(settings),
      m_clock(std::move(clock)),
      m_tasks(host, config) {}

CIndexerService::~CIndexerService() {
    for (SiteSearch& search : m_searches) {
        search.job.Complete(ApiError{kUnknownError, "The server is shutting down"});
    }
    for (Download& download : m_downloads) {
        download.job.Complete(ApiError{kUnknownError, "The server is shutting down"});
    }
}

void CIndexerService::Accept(std::vector<CRequestQueue::Job> jobs) {
    for (CRequestQueue::Job& job : jobs) {
        if (const auto* query = std::get_if<ApiQuery>(&job.GetWork())) {
            const ApiQuery copy = *query;
            Search(std::move(job), copy);
        } else {
            const std::string token = std::get<DownloadWork>(job.GetWork()).token;
            StartDownload(std::move(job), token);
        }
    }
}

void CIndexerService::Search(CRequestQueue::Job job, const ApiQuery& query) {
    std::vector<FeedItem> items;
    for (const CatalogueRow& row : m_catalogue.Newest(m_categories.Select(query.categories),
                                                      query.keyword, query.offset, query.limit)) {
        items.push_back(LocalItem(row));
    }
    const bool askSites = (query.extended || m_settings.siteSearchAlways) && query.keyword &&
                          query.offset == 0 &&
                          static_cast<int>(m_searches.size()) < m_settings.maxSiteSearches;
    if (!askSites) {
        job.Complete(FeedAnswer{std::move(items), query.offset});
        return;
    }
    auto session = std::make_unique<CSearchSession>(m_host, m_config);
    session->Start(*query.keyword, CSearchSession::Scope{.bLocal = false, .bSites = true});
    m_searches.push_back({std::move(job), query, std::move(items), std::move(session),
                          m_clock() + m_settings.siteSearchTime});
}

FeedItem CIndexerService::SiteItem(const TorrentRecord& record, const LeafCategory* leaf) const {
    FeedItem item;
    item.title = record.Name;
    item.guid = Guid(record.DllID, record.Addr0);
    item.comments = record.WebAddr;
    item.pubDate = record.AddDate;
    item.sizeText = record.Size;
    item.seeders = record.Seeds;
    item.peers = record.Peers;
    item.standardCategory = leaf ? leaf->standard : kOtherCategory;
    item.ownCategory = leaf ? leaf->ownId : 0;
    item.token = EncodeToken(SiteResultRef{record.DllID, record.Addr0});
    return item;
}

void CIndexerService::FinishSearch(SiteSearch& search) {
    search.session->Stop();
    std::vector<FeedItem>& items = search.localItems;
    std::set<std::string> listed;
    for (const FeedItem& item : items) {
        listed.insert(item.guid);
    }
    const std::vector<const LeafCategory*> selected = m_categories.Select(search.query.categories);
    const bool otherWanted =
        search.query.categories.empty() ||
        std::find(search.query.categories.begin(), search.query.categories.end(), kOtherCategory) !=
            search.query.categories.end();
    for (const CSearchSession::ResultRow& row : search.session->GetRows()) {
        if (static_cast<int>(items.size()) >= search.query.limit) {
            break;
        }
        const TorrentRecord& record = row.record;
        const LeafCategory* leaf = m_categories.FindBySlot(record.Type);
        const bool wanted =
            leaf ? std::find(selected.begin(), selected.end(), leaf) != selected.end()
                 : otherWanted;
        if (!wanted || record.Addr0.empty() ||
            !listed.insert(Guid(record.DllID, record.Addr0)).second) {
            continue;
        }
        Remember(record);
        items.push_back(SiteItem(record, leaf));
    }
    search.job.Complete(FeedAnswer{std::move(items), 0});
}

void CIndexerService::Remember(const TorrentRecord& record) {
    auto key = std::make_pair(static_cast<int>(record.DllID), record.Addr0);
    if (m_siteResults.insert_or_assign(key, record).second) {
        m_siteResultOrder.push_back(std::move(key));
    }
    if (m_siteResultOrder.size() > kRememberedSiteResults) {
        m_siteResults.erase(m_siteResultOrder.front());
        m_siteResultOrder.pop_front();
    }
}

std::optional<TorrentRecord> CIndexerService::FindRecord(const DownloadRef& ref) {
    if (const auto* site = std::get_if<SiteResultRef>(&ref)) {
        const auto it = m_siteResults.find({site->dllId, site->addr0});
        return it == m_siteResults.end() ? std::nullopt : std::optional(it->second);
    }
    const auto& row = std::get<CatalogueRowRef>(ref);
    const LeafCategory* leaf = m_categories.FindByTable(row.table);
    if (leaf == nullptr) {
        return std::nullopt;
    }
    CTorrentTable& table = leaf->leaf->m_Table;
    RecordBookmark bookmark;
    bookmark.nRowId = row.rowId;
    TorrentRecord record;
    if (!table.Open() || !table.RecordSet().SetBookmark(bookmark) || !table.ReadNext(record)) {
        return std::nullopt;
    }
    return record;
}

void CIndexerService::StartDownload(CRequestQueue::Job job, const std::string& token) {
    const std::optional<DownloadRef> ref = DecodeToken(token);
    std::optional<TorrentRecord> record = ref ? FindRecord(*ref) : std::nullopt;
    if (!record) {
        job.Complete(NoSuchItem());
        return;
    }
    if (m_tasks.TorrentFileExists(*record)) {
        job.Complete(FileAnswer{m_tasks.GetTorrentPath(*record), record->FileName + ".torrent"});
        return;
    }
    record->Reserved = 0;  // never hand the file to the desktop
    const CDownloadTasks::AddResult added = m_tasks.AddTask(*record);
    if (!added.bAdded && !CDownloadTasks::IsRunning(m_tasks.GetTask(added.nIndex))) {
        m_tasks.StartTask(added.nIndex);
    }
    m_downloads.push_back({std::move(job), record->Addr0, m_clock() + m_settings.downloadTime});
    // A refusal shows at once; the poll answers it.
    Poll();
}

void CIndexerService::FinishDownload(std::vector<Download>::iterator it, Answer answer) {
    it->job.Complete(std::move(answer));
    const std::string addr0 = it->addr0;
    m_downloads.erase(it);
    const bool stillWanted =
        std::any_of(m_downloads.begin(), m_downloads.end(),
                    [&](const Download& other) { return other.addr0 == addr0; });
    if (const std::optional<size_t> task = m_tasks.FindTask(addr0); task && !stillWanted) {
        m_tasks.DeleteTask(*task);
    }
}

void CIndexerService::Poll() {
    const auto now = m_clock();
    for (auto it = m_searches.begin(); it != m_searches.end();) {
        it->session->Poll();
        if (it->job.IsAbandoned()) {
            it->session->Stop();
        } else if (!it->session->IsSearching() || now >= it->deadline) {
            FinishSearch(*it);
        } else {
            ++it;
            continue;
        }
        it = m_searches.erase(it);
    }

    if (m_downloads.empty()) {
        return;
    }
    m_tasks.Poll();
    for (size_t i = 0; i < m_downloads.size();) {
        const auto it = m_downloads.begin() + static_cast<std::ptrdiff_t>(i);
        const std::optional<size_t> index = m_tasks.FindTask(it->addr0);
        const uint8_t state = index ? CDownloadTasks::GetState(m_tasks.GetTask(*index))
                                    : static_cast<uint8_t>(CDownloadTasks::kFailed);
        if (state == CDownloadTasks::kCompleted) {
            const TorrentRecord& task = m_tasks.GetTask(*index);
            const auto remembered = m_siteResults.find({task.DllID, task.Addr0});
            if (remembered != m_siteResults.end()) {
                remembered->second.FileName = task.FileName;
            }
            FinishDownload(it,
                           FileAnswer{m_tasks.GetTorrentPath(task), task.FileName + ".torrent"});
        } else if (state == CDownloadTasks::kFailed) {
            FinishDownload(it, ApiError{kUnknownError, "The site gave no torrent file"});
        } else if (state == CDownloadTasks::kStopped ||
                   (state == CDownloadTasks::kWaiting && m_tasks.GetRunningCount() == 0)) {
            // Stopped by a refused start, or waiting with every slot free:
            // the plug-in will not take it.
            FinishDownload(it, ApiError{kUnknownError, "The plug-in refused the download"});
        } else if (it->job.IsAbandoned() || now >= it->deadline) {
            FinishDownload(it, ApiError{kUnknownError, "The download took too long"});
        } else {
            ++i;
        }
    }
}

std::optional<std::chrono::milliseconds> CIndexerService::NextPollIn() const {
    if (m_searches.empty() && m_downloads.empty()) {
        return std::nullopt;
    }
    return kPollInterval;
}

}  // namespace torznab
