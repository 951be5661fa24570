// PluginManager: the one object of a plug-in, behind its exports. It owns a
// page task per category slot the site serves, created on first start and
// kept until the plug-in is unloaded; the torrent-file tasks, whose handle is
// their position in a list that never reuses one; and the search tasks, whose
// handle is their address. Its tables are not locked: starting, stopping and
// deleting tasks come from one thread at a time.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "page_task.h"
#include "plugin_api.h"
#include "plugin_location.h"
#include "search_task.h"
#include "site_context.h"
#include "site_data.h"
#include "torrent_file_task.h"

class PluginManager {
  public:
    PluginManager(const SiteData& site, PluginLocation location, ClockFn clock = nullptr);
    // Deletes every task; each writes its slot's refresh date.
    ~PluginManager();
    PluginManager(const PluginManager&) = delete;
    PluginManager& operator=(const PluginManager&) = delete;

    int StartDownPage(int group, int index);
    int StopDownPage(int group, int index);
    int GetDownPageStatus(int group, int index);
    int GetDownPageData(int group, int index, TorrentRecordArray* out);
    int StartDownTFile(TorrentRecord* record);
    int StopDownTFile(const TorrentRecord* record);
    int GetDownTFileStatus(const TorrentRecord* record);
    int StopAll();
    int ClearPageRecord(int group, int index, const OleDate& date);
    // Code 1 answers the record's detail text; code 2 the failure of the
    // page run of slot (group, index), for which record may be null.
    int WebIOCtl(const TorrentRecord* record, int code, int group, int index, char** buffer,
                 int* length);

    SearchHandle StartSearch(const std::string& keyword);
    int StopSearch(SearchHandle handle);
    int GetSearchData(SearchHandle handle, TorrentRecordArray* out);
    int GetSearchStatus(SearchHandle handle);

    void SetClock(ClockFn clock) { context_.SetClock(clock); }

  private:
    // The slot's task if the site serves the slot; created when `create`.
    PageTask* Task(int group, int index, bool create);
    // The torrent-file task the record's DownHd names, if it fetches the
    // record's Addr0.
    TorrentFileTask* FileTask(const TorrentRecord* record);
    SearchTask* Search(SearchHandle handle);

    SiteContext context_;
    std::array<std::unique_ptr<PageTask>, kSlotCount> pages_;
    // Entry 0 stays empty so that 0 is never a handle; a finished entry
    // stays empty so that no handle is given twice.
    std::vector<std::unique_ptr<TorrentFileTask>> files_ =
        std::vector<std::unique_ptr<TorrentFileTask>>(1);
    std::vector<std::unique_ptr<SearchTask>> searches_;
};
