// A site plug-in for the download-task and search tests. Each copy of the
// module file is its own instance.
//
// Torrent files follow the record's Addr0: "refuse" is never started;
// "polls:N[#tag][:fail]" answers 50 to N status polls, then writes
// <FileName>.torrent (holding Addr0) and answers 100, or answers -1. Like the
// real plug-ins, a running task holds <FileName>.tmp in <home>/torrents/.
//
// Search: every status poll hands over the next batch of rows; the status is
// 100 from the last batch on. The batches come from <module path>.json,
// {"searchBatches": [[{"Name": ..., "Addr0": ...}, ...], ...]}, read at the
// first call; in-process tests reach the script through TaskPluginControl().
#pragma once

#include <string>
#include <vector>

#include "plugin_api.h"

struct TaskPluginScript {
    int nRefuseStarts = 0;  // the next n torrent-file starts answer 0
    std::vector<TorrentRecordArray> searchBatches;
    std::vector<std::string> calls;  // "StartSearch <keyword>" and "StopSearch"
};

using PFN_TaskPluginControl = TaskPluginScript* (*)();
