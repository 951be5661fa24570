// The exports every plug-in shares. The registration object of the site's
// source refers to this file, which is what links it into each plug-in.

#include <memory>

#include "plugin_entry.h"
#include "plugin_location.h"
#include "plugin_manager.h"

namespace {

std::unique_ptr<PluginManager>& Manager() {
    static std::unique_ptr<PluginManager> manager;
    return manager;
}

}  // namespace

PluginRegistration::PluginRegistration(const SiteData& site) {
    Manager() = std::make_unique<PluginManager>(site, OwnLocation());
}

PluginRegistration::~PluginRegistration() {
    Manager().reset();
}

PLUGIN_EXPORT int StartDownPage(int group, int index) {
    return Manager() ? Manager()->StartDownPage(group, index) : 1;
}

PLUGIN_EXPORT int StopDownPage(int group, int index) {
    return Manager() ? Manager()->StopDownPage(group, index) : 1;
}

PLUGIN_EXPORT int GetDownPageStatus(int group, int index) {
    return Manager() ? Manager()->GetDownPageStatus(group, index) : 100;
}

PLUGIN_EXPORT int GetDownPageData(int group, int index, TorrentRecordArray* out) {
    return Manager() ? Manager()->GetDownPageData(group, index, out) : 1;
}

PLUGIN_EXPORT int StartDownTFile(TorrentRecord* record) {
    return Manager() ? Manager()->StartDownTFile(record) : 0;
}

PLUGIN_EXPORT int StopDownTFile(TorrentRecord* record) {
    return Manager() ? Manager()->StopDownTFile(record) : 1;
}

PLUGIN_EXPORT int GetDownTFileStatus(TorrentRecord* record) {
    return Manager() ? Manager()->GetDownTFileStatus(record) : -1;
}

PLUGIN_EXPORT int StopAll() {
    return Manager() ? Manager()->StopAll() : 1;
}

PLUGIN_EXPORT int ClearPageRecord(int group, int index, OleDate date) {
    return Manager() ? Manager()->ClearPageRecord(group, index, date) : 1;
}

PLUGIN_EXPORT SearchHandle StartSearch(const std::string& keyword) {
    return Manager() ? Manager()->StartSearch(keyword) : kNoSearch;
}

PLUGIN_EXPORT int StopSearch(SearchHandle handle) {
    return Manager() ? Manager()->StopSearch(handle) : 1;
}

PLUGIN_EXPORT int GetSearchData(SearchHandle handle, TorrentRecordArray* out) {
    return Manager() ? Manager()->GetSearchData(handle, out) : 0;
}

PLUGIN_EXPORT int GetSearchStatus(SearchHandle handle) {
    return Manager() ? Manager()->GetSearchStatus(handle) : 100;
}

PLUGIN_EXPORT int WebIOCtl(TorrentRecord* record, int code, int reserved1, int reserved2,
                           char** buffer, int /*reserved3*/, int* length) {
    return Manager() ? Manager()->WebIOCtl(record, code, reserved1, reserved2, buffer, length) : 1;
}

PLUGIN_EXPORT void SetPluginClock(int64_t (*now)()) {
    if (Manager()) {
        Manager()->SetClock(now);
    }
}
