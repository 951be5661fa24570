// init, tree, plugins and list: the commands that lay out and read the home.
#include <unistd.h>

#include <cstdio>
#include <nlohmann/json.hpp>

#include "cli_context.h"
#include "commands.h"
#include "home.h"
#include "node_pager.h"
#include "record_json.h"
#include "refresh_log.h"
#include "terminal_text.h"
#include "texts.h"
#include "torrent_table.h"

namespace cli {
namespace {

void PrintTreeNode(CCategoryNode& node, const std::string& id) {
    std::printf("%s\t%s\t%lld\n", id.c_str(), node.m_strName.c_str(),
                static_cast<long long>(CNodePager::CountRows(node)));
}

}  // namespace

int RunInit(const std::string& home) {
    const bool chinese = texts::GetLanguage() == texts::Language::kChinese;
    tessaro::LayoutResult layout =
        tessaro::LayOutHome(home, tessaro::FindInstalledDefaults(), chinese);
    if (!layout.ok) {
        return Fail(layout.error);
    }
    CIniFile::SetAppDir(home);
    CTorrentTable::SetDatabasePath(home + "kernel/websdata.db");
    CGlobalConfig config(home + "kernel/global.ini", CGlobalConfig::SystemClock,
                         CGlobalConfig::Front::kHeadless);
    tessaro::LayoutResult catalogue = tessaro::CreateCatalogueForTree(home, config.GetRoot());
    if (!catalogue.ok) {
        return Fail(catalogue.error);
    }
    for (const auto* created : {&layout.created, &catalogue.created}) {
        for (const std::string& path : *created) {
            std::printf("created\t%s\n", path.c_str());
        }
    }
    std::printf("home\t%s\n", home.c_str());
    return kExitOk;
}

int RunTree(const std::string& home) {
    std::string error;
    auto context = CliContext::Open(home, error);
    if (!context) {
        return Fail(error);
    }
    CCategoryNode& root = context->Config().GetRoot();
    PrintTreeNode(root, "0,0");
    for (size_t i = 1; i < root.GetChildCount(); ++i) {
        CCategoryNode* category = root.GetChild(i);
        PrintTreeNode(*category, NodeId(*category));
        for (size_t j = 1; j < category->GetChildCount(); ++j) {
            CCategoryNode* leaf = category->GetChild(j);
            PrintTreeNode(*leaf, NodeId(*leaf));
        }
    }
    return kExitOk;
}

int RunPlugins(const std::string& home) {
    std::string error;
    auto context = CliContext::Open(home, error);
    if (!context) {
        return Fail(error);
    }
    PluginHost& host = context->Host();
    if (!host.CheckRegistry(error)) {
        return Fail(error);
    }
    const CRefreshLog log(home);
    for (const PluginHost::PluginInfo& info : host.GetPluginInfo()) {
        const CRefreshLog::Entry last = log.Read(info.strName);
        const std::string failure = last.strLastFailure.empty() ? "-"
                                                                : LocalTime(last.nLastFailureTime) +
                                                                      " " + last.strLastFailure;
        std::printf("%d\t%s\t%s\t%s\t%s\t%lld\t%s\n", info.nDllID, info.strName.c_str(),
                    PluginHost::StateName(info.state), host.GetSiteBase(info.nDllID).c_str(),
                    last.nLastRefresh > 0 ? LocalTime(last.nLastRefresh).c_str() : "never",
                    static_cast<long long>(last.nRows), failure.c_str());
    }
    for (const std::string& report : host.TakeLoadReports()) {
        std::fprintf(stderr, "tessaro-cli: %s\n", report.c_str());
    }
    return kExitOk;
}

int RunList(const std::string& home, const ListOptions& options) {
    std::string error;
    CCategoryNode* node = nullptr;
    auto context = CliContext::OpenAt(home, options.node, node, error);
    if (!context) {
        return Fail(error);
    }
    CNodePager pager(node);
    std::vector<ListedRow> page;
    size_t printed = 0;
    if (!options.json) {
        std::printf("%-8s  %-19s  %-10s  %6s  %6s  %s\n", "rowid", "AddDate", "Size", "Seeds",
                    "Peers", "Name");
    }
    for (pager.PageAt(static_cast<int64_t>(options.offset), page);
         !page.empty() && printed < options.limit; pager.NextPage(page)) {
        for (const ListedRow& row : page) {
            if (printed == options.limit) {
                break;
            }
            const TorrentRecord& record = row.record;
            if (options.json) {
                std::printf("%s\n",
                            RecordJson(record, row.leaf->m_strTableName)
                                .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)
                                .c_str());
            } else {
                std::printf("%-8lld  %-19s  %-10s  %6d  %6d  %s\n",
                            static_cast<long long>(record.Bookmark.nRowId),
                            record.AddDate.Format().c_str(), TerminalText(record.Size).c_str(),
                            record.Seeds, record.Peers, TerminalText(record.Name).c_str());
            }
            ++printed;
        }
        if (pager.IsLastPage()) {
            break;
        }
    }
    return kExitOk;
}

}  // namespace cli
