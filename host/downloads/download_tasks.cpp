#include "download_tasks.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <utility>

#include "texts.h"

namespace {

constexpr std::string_view kTorrentExt = kTorrentSuffix;
constexpr std::string_view kTempExt = kLockSuffix;
// Characters that cannot stand in a file name on the systems the files are
// shared with.
constexpr std::string_view kForbiddenChars = "\\/:*?\"<>|";
constexpr std::string_view kBlanks = " \t\r\n\v\f";
// The name of an entry whose name leaves nothing usable.
constexpr std::string_view kFallbackName = "123";
// Room for a name: the plug-in appends at most the longest suffix it writes.
constexpr size_t kNameBudget =
    NAME_MAX - std::max({kLockSuffix.size(), kTorrentSuffix.size(), kPartSuffix.size()});
constexpr int64_t kSecondsPerDay = 86400;

// lstat, not stat: a dangling link still takes the name.
bool PathTaken(const std::string& strPath) {
    struct stat info {};
    return lstat(strPath.c_str(), &info) == 0;
}

std::string Trim(std::string_view text) {
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    const size_t last = text.find_last_not_of(kBlanks);
    return std::string(text.substr(first, last - first + 1));
}

// At most nMax bytes of the UTF-8 text, never half a character.
std::string CutAtCharBoundary(const std::string& strText, size_t nMax) {
    if (strText.size() <= nMax) {
        return strText;
    }
    size_t nCut = nMax;
    while (nCut > 0 && (static_cast<unsigned char>(strText[nCut]) & 0xC0) == 0x80) {
        --nCut;
    }
    return Trim(std::string_view(strText).substr(0, nCut));
}

// Control characters (C0, DEL and, in UTF-8, C1) would reach terminals and
// file managers that show the name.
std::string WithoutControlCharacters(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || byte == 0x7F) {
            continue;
        }
        if (byte == 0xC2 && i + 1 < text.size() &&
            (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80) {
            ++i;
            continue;
        }
        out += text[i];
    }
    return out;
}

bool EndsWith(std::string_view text, std::string_view suffix) {
    return text.size() > suffix.size() && text.ends_with(suffix);
}

// A lock file whose fetch is alive: its holder keeps an advisory lock on it
// (another process's download, which no task of this table knows about).
bool IsHeldLock(const std::string& strPath) {
    const int fd = open(strPath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool bHeld = flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(fd);
    return bHeld;
}

}  // namespace

CDownloadTasks::CDownloadTasks(PluginHost& host, CGlobalConfig& config, Clock clock)
    : m_host(host),
      m_config(config),
      m_clock(std::move(clock)),
      m_strTorrentDir(host.GetHome() + "torrents/") {}

CDownloadTasks::~CDownloadTasks() {
    for (const auto& pTask : m_tasks) {
        if (IsRunning(*pTask)) {
            m_host.StopDownTFile(*pTask);
        }
    }
}

int CDownloadTasks::GetMaxDownTasks() const {
    // Below one, waiting tasks would never start.
    return std::max(1, static_cast<int>(m_config.Settings().nMaxDownTasks));
}

CDownloadTasks::AddResult CDownloadTasks::AddTask(const TorrentRecord& entry) {
    if (const std::optional<size_t> existing = FindTask(entry.Addr0)) {
        return {*existing, false};
    }
    auto pTask = std::make_unique<TorrentRecord>(entry);
    pTask->bCompleted = kStopped;
    pTask->DownHd = 0;
    m_tasks.push_back(std::move(pTask));
    const size_t nIndex = m_tasks.size() - 1;
    StartTask(nIndex);
    return {nIndex, true};
}

bool CDownloadTasks::StartTask(size_t nIndex) {
    TorrentRecord& task = Task(nIndex);
    if (IsRunning(task)) {
        return true;
    }
    if (GetRunningCount() >= GetMaxDownTasks()) {
        task.bCompleted = kWaiting;
        return true;
    }
    // The plug-in writes into the folder but does not make it.
    std::error_code ignored;
    std::filesystem::create_directories(m_strTorrentDir, ignored);
    // A refused start keeps the name of the file the task may already have.
    std::string strOldName = std::exchange(task.FileName, MakeFileName(task));
    if (m_host.StartDownTFile(task) == 0) {
        task.FileName = std::move(strOldName);
        return false;
    }
    task.bCompleted = 0;
    return true;
}

void CDownloadTasks::StopTask(size_t nIndex) {
    TorrentRecord& task = Task(nIndex);
    if (IsRunning(task)) {
        m_host.StopDownTFile(task);
        task.bCompleted = kStopped;
    } else if (GetState(task) == kWaiting) {
        task.bCompleted = kStopped;
    }
}

TorrentRecord& CDownloadTasks::Task(size_t nIndex) const {
    assert(nIndex < m_tasks.size() && "task index out of range");
    return *m_tasks[nIndex];
}

void CDownloadTasks::DeleteTask(size_t nIndex) {
    StopTask(nIndex);
    m_tasks.erase(m_tasks.begin() + static_cast<std::ptrdiff_t>(nIndex));
}

void CDownloadTasks::Poll() {
    std::erase_if(m_unrecorded, [this](const TorrentRecord& task) { return RecordFileName(task); });
    std::vector<TorrentRecord> completed;
    for (size_t i = 0; i < m_tasks.size(); ++i) {
        TorrentRecord& task = *m_tasks[i];
        if (IsRunning(task)) {
            int nStatus = m_host.GetDownTFileStatus(task);
            // Any answer outside the interface's range is a failure, so the
            // plug-in's task is ended instead of being read as a state.
            if (nStatus < 0 || nStatus > 100) {
                nStatus = -1;
            }
            task.bCompleted = nStatus & 0xFF;
            if (nStatus == 100) {
                if (!RecordFileName(task)) {
                    m_unrecorded.push_back(task);
                }
                m_host.StopDownTFile(task);
                completed.push_back(task);
            } else if (nStatus == -1) {
                m_host.StopDownTFile(task);
            }
        } else if (GetState(task) == kWaiting) {
            StartTask(i);
        }
    }
    for (const TorrentRecord& task : completed) {
        if (m_onCompleted) {
            m_onCompleted(task);
        }
        if (task.Reserved != 0) {
            const OpenResult result = OpenTorrentFile(task);
            if (result != OpenResult::kOpened && m_onOpenFailed) {
                m_onOpenFailed(result, task);
            }
        }
    }
}

CCategoryNode* CDownloadTasks::FindLeaf(int32_t nType) const {
    // Type is the slot (group * 256 + index) that produced the entry, and
    // the leaf (c, i) of the tree is slot (c, i).
    const int nGroup = (nType >> 8) & 0xFF;
    const int nIndex = nType & 0xFF;
    CCategoryNode& root = m_config.GetRoot();
    for (size_t i = 1; i < root.GetChildCount(); ++i) {
        CCategoryNode* pCategory = root.GetChild(i);
        if (pCategory->m_nCategoryId != nGroup) {
            continue;
        }
        for (size_t j = 1; j < pCategory->GetChildCount(); ++j) {
            CCategoryNode* pLeaf = pCategory->GetChild(j);
            if (pLeaf->m_nSubIndex == nIndex) {
                return pLeaf;
            }
        }
    }
    return nullptr;
}

bool CDownloadTasks::RecordFileName(const TorrentRecord& task) {
    // Site search results (Type 0) and entries without a row have nowhere to
    // record the name; it lives in the task and the lists only.
    if (task.Type == 0 || task.Bookmark.nRowId == 0) {
        return true;
    }
    CCategoryNode* pLeaf = FindLeaf(task.Type);
    if (pLeaf == nullptr) {
        return true;
    }
    return pLeaf->m_Table.Open() && pLeaf->m_Table.SetFileName(task, task.Bookmark);
}

std::optional<size_t> CDownloadTasks::FindTask(const std::string& strAddr0) const {
    for (size_t i = 0; i < m_tasks.size(); ++i) {
        if (m_tasks[i]->Addr0 == strAddr0) {
            return i;
        }
    }
    return std::nullopt;
}

int CDownloadTasks::GetRunningCount() const {
    return static_cast<int>(std::count_if(m_tasks.begin(), m_tasks.end(),
                                          [](const auto& pTask) { return IsRunning(*pTask); }));
}

bool CDownloadTasks::HasPendingTasks() const {
    return std::any_of(m_tasks.begin(), m_tasks.end(), [](const auto& pTask) {
        return IsRunning(*pTask) || GetState(*pTask) == kWaiting;
    });
}

void CDownloadTasks::SetAutoOpen(size_t nIndex, bool bAutoOpen) {
    Task(nIndex).Reserved = bAutoOpen ? 1 : 0;
}

void CDownloadTasks::SortTasks(
    const std::function<bool(const TorrentRecord&, const TorrentRecord&)>& less) {
    std::stable_sort(m_tasks.begin(), m_tasks.end(),
                     [&](const auto& pA, const auto& pB) { return less(*pA, *pB); });
}

int CDownloadTasks::GetStateIcon(const TorrentRecord& task) {
    switch (GetState(task)) {
        case kCompleted:
            return 3;
        case kStopped:
            return 0;
        case kWaiting:
            return 4;
        case kFailed:
            return 1;
        default:
            return IsRunning(task) ? 2 : 0;
    }
}

std::string CDownloadTasks::GetPercentText(const TorrentRecord& task) {
    const uint8_t nState = GetState(task);
    return nState <= kCompleted ? std::to_string(nState) + "%" : "0%";
}

std::string CDownloadTasks::GetTorrentPath(const TorrentRecord& entry) const {
    return m_strTorrentDir + entry.FileName + std::string(kTorrentExt);
}

bool CDownloadTasks::TorrentFileExists(const TorrentRecord& entry) const {
    return !entry.FileName.empty() && PathTaken(GetTorrentPath(entry));
}

std::string CDownloadTasks::MakeFileName(const TorrentRecord& entry) const {
    std::string strName;
    for (char c : WithoutControlCharacters(entry.Name)) {
        if (kForbiddenChars.find(c) == std::string_view::npos) {
            strName += c;
        }
    }
    strName = Trim(strName);
    // An empty name would give the hidden file ".torrent", which no entry
    // could ever be recognised by.
    if (strName.empty()) {
        strName = kFallbackName;
    }
    // A running task owns its name even when its lock file is gone (removed
    // by hand): a second task under that name would have its file replaced
    // or removed when the first one ends.
    const auto isFree = [&](const std::string& strCandidate) {
        const std::string strBase = m_strTorrentDir + strCandidate;
        return !PathTaken(strBase + std::string(kTempExt)) &&
               !PathTaken(strBase + std::string(kTorrentExt)) &&
               std::none_of(m_tasks.begin(), m_tasks.end(), [&](const auto& pTask) {
                   return IsRunning(*pTask) && pTask->FileName == strCandidate;
               });
    };
    const std::string strPlain = CutAtCharBoundary(strName, kNameBudget);
    if (isFree(strPlain)) {
        return strPlain;
    }
    int64_t nNumber = m_clock();
    for (;;) {
        ++nNumber;
        const std::string strNumber = std::to_string(nNumber);
        const std::string strCandidate =
            CutAtCharBoundary(strName, kNameBudget - strNumber.size()) + strNumber;
        if (isFree(strCandidate)) {
            return strCandidate;
        }
    }
}

CDownloadTasks::OpenResult CDownloadTasks::OpenTorrentFile(const TorrentRecord& entry) const {
    if (!TorrentFileExists(entry)) {
        return OpenResult::kMissing;
    }
    if (!m_opener || !m_opener(GetTorrentPath(entry), m_strTorrentDir)) {
        return OpenResult::kNoHandler;
    }
    return OpenResult::kOpened;
}

std::string_view CDownloadTasks::GetOpenFailureText(OpenResult result) {
    switch (result) {
        case OpenResult::kOpened:
            return {};
        case OpenResult::kNoHandler:
            return texts::LoadString(texts::IDS_NO_BT_CLIENT);
        case OpenResult::kMissing:
            return texts::LoadString(texts::IDS_TORRENT_MISSING);
    }
    return {};
}

int CDownloadTasks::AgeInDays(time_t modified, time_t now) {
    const int64_t nDays =
        (static_cast<int64_t>(now) - static_cast<int64_t>(modified)) / kSecondsPerDay;
    return static_cast<int>(std::clamp<int64_t>(nDays, 0, INT_MAX));
}

bool CDownloadTasks::IsHeldByDownload(const std::string& strFile) const {
    std::string_view base;
    if (EndsWith(strFile, kTempExt)) {
        base = std::string_view(strFile).substr(0, strFile.size() - kTempExt.size());
    } else if (EndsWith(strFile, kPartSuffix)) {
        base = std::string_view(strFile).substr(0, strFile.size() - kPartSuffix.size());
    } else {
        return false;
    }
    const bool bOurs = std::any_of(m_tasks.begin(), m_tasks.end(), [&](const auto& pTask) {
        return IsRunning(*pTask) && pTask->FileName == base;
    });
    return bOurs || IsHeldLock(m_strTorrentDir + std::string(base) + std::string(kTempExt));
}

int CDownloadTasks::CleanTorrentFolder(int nDays, bool bNewer) const {
    const time_t now = static_cast<time_t>(m_clock());
    // Collected first: deleting while iterating leaves the listing unspecified.
    std::vector<std::string> doomed;
    std::error_code error;
    for (std::filesystem::directory_iterator it(m_strTorrentDir, error), end; !error && it != end;
         it.increment(error)) {
        struct stat info {};
        const std::string strPath = it->path().string();
        if (lstat(strPath.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) {
            continue;
        }
        const int nAge = AgeInDays(info.st_mtime, now);
        if ((bNewer ? nAge <= nDays : nAge >= nDays) &&
            !IsHeldByDownload(it->path().filename().string())) {
            doomed.push_back(strPath);
        }
    }
    int nDeleted = 0;
    for (const std::string& strPath : doomed) {
        if (unlink(strPath.c_str()) == 0) {
            ++nDeleted;
        }
    }
    return nDeleted;
}
