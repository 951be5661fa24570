#include "leaf_reports.h"

#include "cli_context.h"

namespace cli {
namespace {

std::string SiteName(PluginHost& host, int nDllID) {
    const std::vector<PluginHost::PluginInfo>& plugins = host.GetPluginInfo();
    if (nDllID < 0 || static_cast<size_t>(nDllID) >= plugins.size()) {
        return "plug-ins";
    }
    return plugins[static_cast<size_t>(nDllID)].strName;
}

}  // namespace

std::vector<std::string> FailureLines(const CRefreshEngine::LeafReport& report, PluginHost& host) {
    const std::string leaf = NodeId(*report.pLeaf) + " " + report.pLeaf->m_strName + ": ";
    std::vector<std::string> lines;
    if (report.bWriteFailed) {
        lines.push_back(leaf + "rows not stored (the next refresh fetches them again): " +
                        report.strWriteError);
    }
    for (const CRefreshEngine::SiteFailure& failure : report.siteFailures) {
        lines.push_back(leaf + SiteName(host, failure.nDllID) + ": " + failure.strReason);
    }
    return lines;
}

nlohmann::json ReportJson(const CRefreshEngine::LeafReport& report, PluginHost& host) {
    nlohmann::json failures = nlohmann::json::array();
    for (const CRefreshEngine::SiteFailure& failure : report.siteFailures) {
        failures.push_back(
            {{"site", SiteName(host, failure.nDllID)}, {"reason", failure.strReason}});
    }
    nlohmann::json json = {{"node", NodeId(*report.pLeaf)},
                           {"name", report.pLeaf->m_strName},
                           {"rows", report.RowsStored()},
                           {"stored", !report.bWriteFailed},
                           {"failures", failures}};
    if (report.bWriteFailed) {
        json["error"] = report.strWriteError;
    }
    return json;
}

void AddToLog(CRefreshLog& log, const CRefreshEngine::LeafReport& report, PluginHost& host) {
    const std::vector<PluginHost::PluginInfo>& plugins = host.GetPluginInfo();
    for (const PluginHost::PluginInfo& plugin : plugins) {
        const size_t nDllID = static_cast<size_t>(plugin.nDllID);
        std::string strFailure;
        for (const CRefreshEngine::SiteFailure& failure : report.siteFailures) {
            if (failure.nDllID == plugin.nDllID) {
                strFailure = failure.strReason;
            }
        }
        log.Add(plugin.strName,
                nDllID < report.rowsByPlugin.size() ? report.rowsByPlugin[nDllID] : 0, strFailure);
    }
}

}  // namespace cli
