#include "scripted_plugin.h"

#include <cstdlib>
#include <cstring>

namespace {

PluginScript g_script;

template <typename... Args>
void Log(const char* pszName, Args... args) {
    std::string strCall = pszName;
    ((strCall.append(" ").append(std::to_string(args))), ...);
    g_script.calls.push_back(strCall);
}

int Slot(int group, int index) {
    const bool bValid = group >= 0 && group < kGroupCount && index >= 0 && index < kIndexCount;
    return bValid ? group * kIndexCount + index : -1;
}

}  // namespace

PLUGIN_EXPORT PluginScript* ScriptedPluginControl() {
    return &g_script;
}

PLUGIN_EXPORT int StartDownPage(int group, int index) {
    Log("StartDownPage", group, index);
    return 1;
}

PLUGIN_EXPORT int StopDownPage(int group, int index) {
    Log("StopDownPage", group, index);
    return 1;
}

PLUGIN_EXPORT int GetDownPageStatus(int group, int index) {
    Log("GetDownPageStatus", group, index);
    return Slot(group, index) < 0 ? 100 : g_script.pageStatus[Slot(group, index)];
}

PLUGIN_EXPORT int GetDownPageData(int group, int index, TorrentRecordArray* out) {
    Log("GetDownPageData", group, index);
    if (Slot(group, index) >= 0) {
        TorrentRecordArray& rows = g_script.pageRows[Slot(group, index)];
        out->insert(out->end(), rows.begin(), rows.end());
        rows.clear();
    }
    return 1;
}

PLUGIN_EXPORT int StartDownTFile(TorrentRecord* record) {
    Log(("StartDownTFile " + record->FileName).c_str());
    return g_script.nTFileHandle;
}

PLUGIN_EXPORT int StopDownTFile(TorrentRecord* record) {
    Log("StopDownTFile", record->DownHd);
    return 1;
}

PLUGIN_EXPORT int GetDownTFileStatus(TorrentRecord* record) {
    Log("GetDownTFileStatus", record->DownHd);
    return g_script.nTFileStatus;
}

PLUGIN_EXPORT int StopAll() {
    Log("StopAll");
    return 1;
}

PLUGIN_EXPORT int ClearPageRecord(int group, int index, OleDate date) {
    Log("ClearPageRecord", group, index, date.m_dt);
    return 1;
}

PLUGIN_EXPORT SearchHandle StartSearch(const std::string& keyword) {
    Log(("StartSearch " + keyword).c_str());
    return g_script.searchHandle;
}

PLUGIN_EXPORT int StopSearch(SearchHandle handle) {
    Log("StopSearch", handle);
    return 1;
}

PLUGIN_EXPORT int GetSearchData(SearchHandle handle, TorrentRecordArray* out) {
    Log("GetSearchData", handle);
    if (handle != g_script.searchHandle) {
        return 0;
    }
    out->insert(out->end(), g_script.searchRows.begin(), g_script.searchRows.end());
    g_script.searchRows.clear();
    return 1;
}

PLUGIN_EXPORT int GetSearchStatus(SearchHandle handle) {
    Log("GetSearchStatus", handle);
    return handle == g_script.searchHandle ? g_script.nSearchStatus : 100;
}

// Built without this export, the module stands for a plug-in that lacks one.
#ifndef SCRIPTED_PLUGIN_WITHOUT_WEBIOCTL
PLUGIN_EXPORT int WebIOCtl(TorrentRecord*, int code, int, int, char** buffer, int, int* length) {
    if (code == 1 && g_script.bHasInfo) {
        *length = static_cast<int>(g_script.strInfo.size() + 1);
        *buffer = static_cast<char*>(std::malloc(*length));
        std::memcpy(*buffer, g_script.strInfo.c_str(), *length);
    }
    return 1;
}
#endif
