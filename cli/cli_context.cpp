#include "cli_context.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "torrent_table.h"

namespace cli {

int Fail(const std::string& message) {
    std::fprintf(stderr, "tessaro-cli: %s\n", message.c_str());
    return kExitFailure;
}

std::string NodeId(const CCategoryNode& node) {
    return std::to_string(node.m_nCategoryId) + "," + std::to_string(node.m_nSubIndex);
}

std::string LocalTime(int64_t seconds) {
    const time_t value = static_cast<time_t>(seconds);
    std::tm local{};
    localtime_r(&value, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

std::unique_ptr<CliContext> CliContext::Open(const std::string& home, std::string& error) {
    const std::string configPath = home + "kernel/global.ini";
    std::error_code ignored;
    if (!std::filesystem::exists(configPath, ignored)) {
        error =
            "no Tessaro home at " + home + " (run 'tessaro-cli --home " + home + " init' first)";
        return nullptr;
    }
    CIniFile::SetAppDir(home);
    CTorrentTable::SetDatabasePath(home + "kernel/websdata.db");
    if (!std::filesystem::exists(CTorrentTable::GetDatabasePath(), ignored)) {
        error = "cannot open the catalogue " + CTorrentTable::GetDatabasePath();
        return nullptr;
    }
    if (!CTorrentTable::Connect()) {
        error = CTorrentTable::LastError();
        return nullptr;
    }
    auto context = std::unique_ptr<CliContext>(new CliContext);
    context->m_strHome = home;
    context->m_pConfig = std::make_unique<CGlobalConfig>(configPath, CGlobalConfig::SystemClock,
                                                         CGlobalConfig::Front::kHeadless);
    context->m_pHost = std::make_unique<PluginHost>(home);
    return context;
}

std::unique_ptr<CliContext> CliContext::OpenAt(const std::string& home, const std::string& spec,
                                               CCategoryNode*& node, std::string& error) {
    auto context = Open(home, error);
    node = context ? context->FindNode(spec, error) : nullptr;
    if (node == nullptr) {
        return nullptr;
    }
    return context;
}

CCategoryNode* CliContext::FindNode(const std::string& spec, std::string& error) {
    int category = -1;
    int sub = 0;
    char rest = 0;
    const int fields = std::sscanf(spec.c_str(), "%d,%d%c", &category, &sub, &rest);
    const bool plainCategory = fields == 1 && spec.find(',') == std::string::npos;
    if (!(plainCategory || fields == 2) || category < 0 || sub < 0) {
        error = "'" + spec + "' is not a node: write C for a category or C,I for a leaf";
        return nullptr;
    }
    CCategoryNode& root = m_pConfig->GetRoot();
    if (category == 0 && sub == 0) {
        return &root;
    }
    for (size_t i = 1; i < root.GetChildCount(); ++i) {
        CCategoryNode* node = root.GetChild(i);
        if (node->m_nCategoryId != category) {
            continue;
        }
        if (sub == 0) {
            return node;
        }
        for (size_t j = 1; j < node->GetChildCount(); ++j) {
            if (node->GetChild(j)->m_nSubIndex == sub) {
                return node->GetChild(j);
            }
        }
    }
    error = "no node " + spec + " in the category tree";
    return nullptr;
}

}  // namespace cli
