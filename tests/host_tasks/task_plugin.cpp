#include "task_plugin.h"

#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>

namespace {

struct TFileTask {
    std::string strAddr0;
    std::string strFileName;
    int nPollsLeft = 0;
    int nResult = 0;  // 100 or -1 once ended
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
std::string TorrentBase(const std::string& strFileName) {
    return std::filesystem::path(ModulePath()).parent_path().parent_path().string() + "/torrents/" +
           strFileName;
}

TaskPluginScript& Script() {
    if (!g_bScriptRead) {
        g_bScriptRead = true;
        std::ifstream in(ModulePath() + ".json");
        const nlohmann::json script = nlohmann::json::parse(in, nullptr, false);
        for (const nlohmann::json& batch :
             script.is_object() ? script["searchBatches"] : nlohmann::json::array()) {
            TorrentRecordArray& rows = g_script.searchBatches.emplace_back();
            for (const nlohmann::json& row : batch) {
                TorrentRecord& record = rows.emplace_back();
                record.Name = row.value("Name", "");
                record.Addr0 = row.value("Addr0", "");
                record.AddDate = record.RefreshDate = OleDate::Parse("2024-01-01 00:00:00");
            }
        }
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
    if (script.nRefuseStarts > 0) {
        --script.nRefuseStarts;
        return 0;
    }
    if (!record->Addr0.starts_with("polls:")) {
        return 0;
    }
    std::ofstream(TorrentBase(record->FileName) + ".tmp");
    g_tfiles.push_back(TFileTask{.strAddr0 = record->Addr0,
                                 .strFileName = record->FileName,
                                 .nPollsLeft = std::atoi(record->Addr0.c_str() + 6),
                                 .nResult = 0});
    return static_cast<int>(g_tfiles.size() - 1);
}

PLUGIN_EXPORT int StopDownTFile(TorrentRecord* record) {
    if (TFileTask* pTask = FindTFile(*record)) {
        unlink((TorrentBase(pTask->strFileName) + ".tmp").c_str());
        g_tfiles[static_cast<size_t>(record->DownHd)].reset();
    }
    return 1;
}

PLUGIN_EXPORT int GetDownTFileStatus(TorrentRecord* record) {
    TFileTask* pTask = FindTFile(*record);
    if (!pTask) {
        return -1;
    }
    if (pTask->nResult == 0 && pTask->nPollsLeft-- == 0) {
        pTask->nResult = pTask->strAddr0.ends_with(":fail") ? -1 : 100;
        if (pTask->nResult == 100) {
            std::ofstream(TorrentBase(pTask->strFileName) + ".torrent") << pTask->strAddr0;
        }
    }
    return pTask->nResult == 0 ? 50 : pTask->nResult;
}

PLUGIN_EXPORT int StopAll() {
    g_tfiles.resize(1);
    return 1;
}

PLUGIN_EXPORT int ClearPageRecord(int, int, OleDate) {
    return 1;
}

PLUGIN_EXPORT SearchHandle StartSearch(const std::string& keyword) {
    Script().calls.push_back("StartSearch " + keyword);
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
