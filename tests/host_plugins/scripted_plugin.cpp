#include "scripted_plugin.h"

#include <cstdlib>
#include <cstring>

namespace {

PluginScript g_script;

std::string Slot(int group, int index) {
    return std::to_string(group) + " " + std::to_string(index);
}

int SlotNumber(int group, int index) {
    return group * kIndexCount + index;
}

bool IsSlot(int group, int index) {
    return group >= 0 && group < kGroupCount && index >= 0 && index < kIndexCount;
}

void Log(std::string strCall) {
    g_script.calls.push_back(std::move(strCall));
}

}  // namespace

PLUGIN_EXPORT PluginScript* ScriptedPluginControl() {
    return &g_script;
}

PLUGIN_EXPORT int StartDownPage(int group, int index) {
    Log("StartDownPage " + Slot(group, index));
    return 1;
}

PLUGIN_EXPORT int StopDownPage(int group, int index) {
    Log("StopDownPage " + Slot(group, index));
    return 1;
}

PLUGIN_EXPORT int GetDownPageStatus(int group, int index) {
    Log("GetDownPageStatus " + Slot(group, index));
    return IsSlot(group, index) ? g_script.pageStatus[SlotNumber(group, index)] : 100;
}

PLUGIN_EXPORT int GetDownPageData(int group, int index, TorrentRecordArray* out) {
    Log("GetDownPageData " + Slot(group, index));
    if (IsSlot(group, index)) {
        TorrentRecordArray& rows = g_script.pageRows[SlotNumber(group, index)];
        out->insert(out->end(), rows.begin(), rows.end());
        rows.clear();
    }
    return 1;
}

PLUGIN_EXPORT int StartDownTFile(TorrentRecord* record) {
    Log("StartDownTFile " + record->FileName);
    return g_script.nTFileHandle;
}

PLUGIN_EXPORT int StopDownTFile(TorrentRecord* record) {
    Log("StopDownTFile " + std::to_string(record->DownHd));
    return 1;
}

PLUGIN_EXPORT int GetDownTFileStatus(TorrentRecord* record) {
    Log("GetDownTFileStatus " + std::to_string(record->DownHd));
    return g_script.nTFileStatus;
}

PLUGIN_EXPORT int StopAll() {
    Log("StopAll");
    return 1;
}

PLUGIN_EXPORT int ClearPageRecord(int group, int index, OleDate date) {
    Log("ClearPageRecord " + Slot(group, index) + " " + std::to_string(date.m_dt));
    return 1;
}

PLUGIN_EXPORT SearchHandle StartSearch(const std::string& keyword) {
    Log("StartSearch " + keyword);
    return g_script.searchHandle;
}

PLUGIN_EXPORT int StopSearch(SearchHandle handle) {
    Log("StopSearch " + std::to_string(handle));
    return 1;
}

PLUGIN_EXPORT int GetSearchData(SearchHandle handle, TorrentRecordArray* out) {
    Log("GetSearchData " + std::to_string(handle));
    if (handle != g_script.searchHandle) {
        return 0;
    }
    out->insert(out->end(), g_script.searchRows.begin(), g_script.searchRows.end());
    g_script.searchRows.clear();
    return 1;
}

PLUGIN_EXPORT int GetSearchStatus(SearchHandle handle) {
    Log("GetSearchStatus " + std::to_string(handle));
    return handle == g_script.searchHandle ? g_script.nSearchStatus : 100;
}

// Built without this export, the module stands for a plug-in that lacks one.
#ifndef SCRIPTED_PLUGIN_WITHOUT_WEBIOCTL
PLUGIN_EXPORT int WebIOCtl(TorrentRecord* record, int code, int, int, char** buffer, int,
                           int* length) {
    Log("WebIOCtl " + record->Name + " " + std::to_string(code));
    if (code == 1 && g_script.bHasInfo) {
        *buffer = static_cast<char*>(std::malloc(g_script.strInfo.size() + 1));
        std::memcpy(*buffer, g_script.strInfo.c_str(), g_script.strInfo.size() + 1);
        *length = static_cast<int>(g_script.strInfo.size() + 1);
    }
    return 1;
}
#endif
