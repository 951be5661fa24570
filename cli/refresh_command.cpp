// refresh: runs the refresh engine over the named nodes, polling as the
// desktop program's timer does, and reports the rows each leaf gained.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <thread>

#include "cli_context.h"
#include "commands.h"
#include "refresh_engine.h"
#include "refresh_lock.h"
#include "texts.h"

namespace cli {
namespace {

// Progress of one node: a bar redrawn in place on a terminal, a plain line
// per change otherwise.
class ProgressReporter {
  public:
    ProgressReporter() : m_bTerminal(isatty(STDERR_FILENO) == 1) {}

    void Show(const CCategoryNode& node, int percent) {
        if (percent == m_nLastPercent) {
            return;
        }
        m_nLastPercent = percent;
        const std::string id = NodeId(node);
        if (!m_bTerminal) {
            std::fprintf(stderr, "%s\t%s\t%d%%\n", id.c_str(), node.m_strName.c_str(), percent);
            return;
        }
        constexpr int kWidth = 30;
        const int filled = percent * kWidth / 100;
        std::fprintf(stderr, "\r%-6s %-24.24s [%.*s%*s] %3d%%", id.c_str(), node.m_strName.c_str(),
                     filled, "##############################", kWidth - filled, "", percent);
        std::fflush(stderr);
    }

    void Finish() {
        if (m_bTerminal && m_nLastPercent >= 0) {
            std::fputc('\n', stderr);
        }
        m_nLastPercent = -1;
    }

  private:
    bool m_bTerminal;
    int m_nLastPercent = -1;
};

}  // namespace

int RunRefresh(const std::string& home, const RefreshOptions& options) {
    std::string error;
    auto context = CliContext::Open(home, error);
    if (!context) {
        return Fail(error);
    }
    // One refresher per home: a second would append the same rows and
    // overwrite the plug-ins' remembered dates.
    auto lock = CRefreshLock::Acquire(home, error);
    if (!lock) {
        return Fail(error);
    }
    CCategoryNode& root = context->Config().GetRoot();

    // "all" walks every category node in tree order, one after another, as
    // the automatic update does.
    std::vector<CCategoryNode*> nodes;
    for (const std::string& spec : options.nodes) {
        if (spec == "all") {
            for (size_t i = 1; i < root.GetChildCount(); ++i) {
                nodes.push_back(root.GetChild(i));
            }
            continue;
        }
        CCategoryNode* node = context->FindNode(spec, error);
        if (node == nullptr) {
            return Fail(error);
        }
        if (node->IsRoot()) {
            return Fail("the root is refreshed as 'all'");
        }
        nodes.push_back(node);
    }

    PluginHost& host = context->Host();
    if (!host.CheckRegistry(error)) {
        return Fail(error);
    }
    for (const std::string& report : host.TakeLoadReports()) {
        std::fprintf(stderr, "tessaro-cli: %s\n", report.c_str());
    }

    CRefreshEngine engine(host, &root);
    ProgressReporter progress;
    std::map<CCategoryNode*, int64_t> rowsBefore;
    std::vector<CCategoryNode*> leavesInOrder;
    for (CCategoryNode* node : nodes) {
        for (CCategoryNode* leaf : node->GetLeaves()) {
            if (rowsBefore.emplace(leaf, leaf->m_Table.Count()).second) {
                leavesInOrder.push_back(leaf);
            }
        }
        engine.StartRefresh(node, true);
        progress.Show(*node, node->m_nRefreshPercent);
        while (engine.HasActiveRefresh()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(options.pollMs));
            engine.Poll();
            progress.Show(*node, node->m_nRefreshPercent);
        }
        progress.Finish();
    }

    int64_t total = 0;
    for (CCategoryNode* leaf : leavesInOrder) {
        const int64_t appended = leaf->m_Table.Count() - rowsBefore[leaf];
        total += appended;
        std::printf("%s\t%lld\n", NodeId(*leaf).c_str(), static_cast<long long>(appended));
    }
    std::printf("total\t%lld\n", static_cast<long long>(total));
    return kExitOk;
}

}  // namespace cli
