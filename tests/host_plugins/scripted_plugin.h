// A site plug-in for the host tests whose answers the test scripts. Each copy
// of the module file is a separate instance with its own script, reached
// through ScriptedPluginControl().
#pragma once

#include <array>
#include <string>
#include <vector>

#include "plugin_api.h"

struct PluginScript {
    std::array<int, kSlotCount> pageStatus;               // per slot, group * 8 + index
    std::array<TorrentRecordArray, kSlotCount> pageRows;  // for the next hand-over
    int nTFileHandle = 0;
    int nTFileStatus = -1;
    SearchHandle searchHandle = kNoSearch;
    int nSearchStatus = 100;
    TorrentRecordArray searchRows;
    bool bHasInfo = false;  // else WebIOCtl leaves its outputs untouched
    std::string strInfo;
    std::vector<std::string> calls;  // e.g. "StartDownPage 3 1", in call order

    PluginScript() { pageStatus.fill(100); }
};

using PFN_ScriptedPluginControl = PluginScript* (*)();
