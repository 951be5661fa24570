// How the refresh and daemon commands tell what a finished leaf brought and
// what failed in it, and how they keep it in the refresh log.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "plugin_host.h"
#include "refresh_engine.h"
#include "refresh_log.h"

namespace cli {

// One sentence per failure of the leaf: "<C,I> <name>: <site>: <reason>",
// the failed write first.
std::vector<std::string> FailureLines(const CRefreshEngine::LeafReport& report, PluginHost& host);

// {"node", "name", "rows", "stored", "failures": [{"site", "reason"}]};
// "stored" is false when the catalogue refused the leaf's rows.
nlohmann::json ReportJson(const CRefreshEngine::LeafReport& report, PluginHost& host);

// Adds every listed plug-in's rows and failure in the leaf to the log.
void AddToLog(CRefreshLog& log, const CRefreshEngine::LeafReport& report, PluginHost& host);

}  // namespace cli
