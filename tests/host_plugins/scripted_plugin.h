// A site plug-in for the host tests whose answers the test scripts. Every
// copy of the module file loaded under another name is a separate instance
// with its own script; the test reaches it through ScriptedPluginControl().
#pragma once

#include <array>
#include <string>
#include <vector>

#include "plugin_api.h"

struct PluginScript {
    // Answer of GetDownPageStatus per slot (group * 8 + index).
    std::array<int, kSlotCount> pageStatus;
    // Rows handed over by the next GetDownPageData of the slot.
    std::array<TorrentRecordArray, kSlotCount> pageRows;

    int nTFileHandle = 0;
    int nTFileStatus = -1;

    SearchHandle searchHandle = kNoSearch;
    int nSearchStatus = 100;
    TorrentRecordArray searchRows;

    // WebIOCtl code 1 answers strInfo when bHasInfo, else leaves the output
    // arguments untouched.
    bool bHasInfo = false;
    std::string strInfo;

    // Every export call, e.g. "StartDownPage 3 1", in call order.
    std::vector<std::string> calls;

    PluginScript() { pageStatus.fill(100); }
};

using PFN_ScriptedPluginControl = PluginScript* (*)();
inline constexpr const char* kScriptedPluginControlName = "ScriptedPluginControl";
