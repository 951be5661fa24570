#include "task_plugin.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>

#include "netfetch.h"

namespace {

struct TFileTask {
    std::string strAddr0;
    std::string strFileName;
    int nPollsLeft = 0;
    bool bFail = false;
    bool bDone = false;  // the file is written or the task failed
    int nResult = 0;
    std::unique_ptr<CDownManager> pFetch;
};

struct SearchTask {
    size_t nNextBatch = 0;
    TorrentRecordArray pending;
};

TaskPluginScript g_script;
bool g_bScriptRead = false;
// Handles are positions; entry 0 stays empty so 0 is never a handle.
std::vector<std::optional<TFileTask>> g_tfiles(1);
std::vector<std::unique_ptr<SearchTask>> g_searches;

std::string ModulePath() {
    Dl_info info{};
    dladdr(reinterpret_cast<void*>(&ModulePath), &info);
    return info.dli_fname ? info.dli_fname : "";
}

// The module lives in <home>/kernel/.
std::string TorrentDir() {
    return std::filesystem::path(ModulePath()).parent_path().parent_path().string() + "/torrents/";
}

TorrentRecord RowFromJson(const nlohmann::json& row) {
    TorrentRecord record;
    record.Name = row.value("Name", "");
    record.Addr0 = row.value("Addr0", "");
    record.WebAddr = row.value("WebAddr", "");
    record.Size = row.value("Size", "");
    record.Seeds = row.value("Seeds", 0);
    record.Peers = row.value("Peers", 0);
    record.AddDate = OleDate::Parse(row.value("AddDate", "2024-01-01 00:00:00"));
    record.RefreshDate = record.AddDate;
    return record;
}

TaskPluginScript& Script() {
    if (g_bScriptRead) {
        return g_script;
    }
    g_bScriptRead = true;
    std::ifstream in(ModulePath() + ".json");
    if (!in) {
        return g_script;
    }
    const nlohmann::json script = nlohmann::json::parse(in, nullptr, false);
    if (script.is_discarded()) {
        return g_script;
    }
    g_script.nRefuseStarts = script.value("refuseStarts", 0);
    g_script.bRefuseSearch = script.value("refuseSearch", false);
    for (const nlohmann::json& batch : script.value("searchBatches", nlohmann::json::array())) {
        TorrentRecordArray rows;
        for (const nlohmann::json& row : batch) {
            rows.push_back(RowFromJson(row));
        }
        g_script.searchBatches.push_back(std::move(rows));
    }
    return g_script;
}

TFileTask* FindTFile(const TorrentRecord& record) {
    const auto nHandle = static_cast<size_t>(record.DownHd);
    if (record.DownHd <= 0 || nHandle >= g_tfiles.size() || !g_tfiles[nHandle] ||
        g_tfiles[nHandle]->strAddr0 != record.Addr0) {
        return nullptr;
    }
    return &*g_tfiles[nHandle];
}

void Finish(TFileTask& task, const std::string* pContent) {
    const std::string strBase = TorrentDir() + task.strFileName;
    if (pContent) {
        std::ofstream(strBase + ".torrent", std::ios::binary) << *pContent;
    }
    unlink((strBase + ".tmp").c_str());
    task.bDone = true;
    task.nResult = pContent ? 100 : -1;
}

SearchTask* FindSearch(SearchHandle handle) {
    for (const auto& pTask : g_searches) {
        if (reinterpret_cast<SearchHandle>(pTask.get()) == handle) {
            return pTask.get();
        }
    }
    return nullptr;
}

}  // namespace

PLUGIN_EXPORT TaskPluginScript* TaskPluginControl() {
    return &Script();
}

PLUGIN_EXPORT int StartDownPage(int, int) {
    return 1;
}

PLUGIN_EXPORT int StopDownPage(int, int) {
    return 1;
}

PLUGIN_EXPORT int GetDownPageStatus(int, int) {
    return 100;
}

PLUGIN_EXPORT int GetDownPageData(int, int, TorrentRecordArray*) {
    return 1;
}

PLUGIN_EXPORT int StartDownTFile(TorrentRecord* record) {
    TaskPluginScript& script = Script();
    script.calls.push_back("StartDownTFile " + record->FileName);
    if (script.nRefuseStarts > 0) {
        --script.nRefuseStarts;
        return 0;
    }
    if (record->Addr0 == "refuse") {
        return 0;
    }
    TFileTask task;
    task.strAddr0 = record->Addr0;
    task.strFileName = record->FileName;
    if (record->Addr0.starts_with("polls:")) {
        task.nPollsLeft = std::atoi(record->Addr0.c_str() + 6);
        task.bFail = record->Addr0.ends_with(":fail");
    } else {
        task.pFetch = std::make_unique<CDownManager>();
    }
    const std::string strLock = TorrentDir() + record->FileName + ".tmp";
    const int fd = open(strLock.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        return 0;
    }
    close(fd);
    if (task.pFetch && task.pFetch->DownLoadFile(record->Addr0.c_str()) == 0) {
        unlink(strLock.c_str());
        return 0;
    }
    g_tfiles.push_back(std::move(task));
    return static_cast<int>(g_tfiles.size() - 1);
}

PLUGIN_EXPORT int StopDownTFile(TorrentRecord* record) {
    Script().calls.push_back("StopDownTFile");
    if (TFileTask* pTask = FindTFile(*record)) {
        if (!pTask->bDone) {
            unlink((TorrentDir() + pTask->strFileName + ".tmp").c_str());
        }
        g_tfiles[static_cast<size_t>(record->DownHd)].reset();
    }
    return 1;
}

PLUGIN_EXPORT int GetDownTFileStatus(TorrentRecord* record) {
    TFileTask* pTask = FindTFile(*record);
    if (!pTask) {
        return -1;
    }
    if (pTask->bDone) {
        return pTask->nResult;
    }
    if (pTask->pFetch) {
        const int nPercent = pTask->pFetch->GetDownPercent();
        if (nPercent == 100) {
            const std::string strBody(pTask->pFetch->GetDataBuf(),
                                      static_cast<size_t>(pTask->pFetch->GetDataLength()));
            Finish(*pTask, &strBody);
        } else if (nPercent < 0) {
            Finish(*pTask, nullptr);
        }
        return pTask->bDone ? pTask->nResult : nPercent;
    }
    if (pTask->nPollsLeft > 0) {
        --pTask->nPollsLeft;
        return 50;
    }
    Finish(*pTask, pTask->bFail ? nullptr : &pTask->strAddr0);
    return pTask->nResult;
}

PLUGIN_EXPORT int StopAll() {
    g_tfiles.resize(1);
    return 1;
}

PLUGIN_EXPORT int ClearPageRecord(int, int, OleDate) {
    return 1;
}

PLUGIN_EXPORT SearchHandle StartSearch(const std::string& keyword) {
    TaskPluginScript& script = Script();
    script.calls.push_back("StartSearch " + keyword);
    if (script.bRefuseSearch) {
        return kNoSearch;
    }
    g_searches.push_back(std::make_unique<SearchTask>());
    return reinterpret_cast<SearchHandle>(g_searches.back().get());
}

PLUGIN_EXPORT int StopSearch(SearchHandle handle) {
    Script().calls.push_back("StopSearch");
    std::erase_if(g_searches, [&](const std::unique_ptr<SearchTask>& pTask) {
        return reinterpret_cast<SearchHandle>(pTask.get()) == handle;
    });
    return 1;
}

PLUGIN_EXPORT int GetSearchData(SearchHandle handle, TorrentRecordArray* out) {
    SearchTask* pTask = FindSearch(handle);
    if (!pTask) {
        return 0;
    }
    out->insert(out->end(), pTask->pending.begin(), pTask->pending.end());
    pTask->pending.clear();
    return 1;
}

PLUGIN_EXPORT int GetSearchStatus(SearchHandle handle) {
    SearchTask* pTask = FindSearch(handle);
    const std::vector<TorrentRecordArray>& batches = Script().searchBatches;
    if (!pTask || batches.empty()) {
        return 100;
    }
    if (pTask->nNextBatch < batches.size()) {
        const TorrentRecordArray& batch = batches[pTask->nNextBatch++];
        pTask->pending.insert(pTask->pending.end(), batch.begin(), batch.end());
    }
    return static_cast<int>(pTask->nNextBatch * 100 / batches.size());
}

PLUGIN_EXPORT int WebIOCtl(TorrentRecord*, int, int, int, char**, int, int*) {
    return 1;
}
