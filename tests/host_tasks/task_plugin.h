// A site plug-in for the download-task and search tests. Each copy of the
// module file is its own instance.
//
// Torrent files: the record's Addr0 says what happens.
//   "http://..."        fetched with netfetch; written when complete, failed
//                       when the transfer fails
//   "polls:N[:fail]"    N status polls answer 50, the next writes the file
//                       (holding Addr0) and answers 100, or answers -1; a
//                       "#tag" after N keeps entries of one script apart
//   "refuse"            StartDownTFile answers 0
// Like the real plug-ins, a start holds <FileName>.tmp in <home>/torrents/
// until the task ends, and refuses a name whose .tmp exists.
//
// Search: each status poll releases the next batch of rows; the status is
// 100 from the last batch on.
//
// The script comes from <module path>.json when that file exists
// ({"refuseStarts": n, "refuseSearch": bool, "searchBatches": [[row...]...]},
// a row holding Name, Addr0, AddDate "YYYY-MM-DD HH:MM:SS", Size, Seeds,
// Peers, WebAddr), read at the first call; in-process tests change it through
// TaskPluginControl().
#pragma once

#include <string>
#include <vector>

#include "plugin_api.h"

struct TaskPluginScript {
    int nRefuseStarts = 0;  // the next n torrent-file starts answer 0
    bool bRefuseSearch = false;
    std::vector<TorrentRecordArray> searchBatches;
    std::vector<std::string> calls;  // "StartSearch <keyword>", "StopSearch", ...
};

using PFN_TaskPluginControl = TaskPluginScript* (*)();
