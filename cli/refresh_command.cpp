// refresh: runs the refresh engine over the named nodes, polling as the
// desktop program's timer does, and reports the rows each leaf gained and
// what failed in it. Ctrl-C or SIGTERM stops it between two polls: what was
// handed over is stored, the unfinished slots keep their dates.
#include <unistd.h>

#include <cstdio>
#include <map>

#include "cli_context.h"
#include "commands.h"
#include "leaf_reports.h"
#include "record_json.h"
#include "refresh_engine.h"
#include "refresh_lock.h"
#include "refresh_log.h"
#include "stop_signals.h"
#include "torrent_table.h"

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
    StopSignals signals;
    if (!signals.IsOk()) {
        return Fail("cannot set up the stop signals");
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
    CRefreshLog log(home);
    ProgressReporter progress;
    std::map<CCategoryNode*, int64_t> rowsOfLeaf;
    std::vector<CCategoryNode*> leavesInOrder;
    bool bSiteFailed = false;
    bool bWriteFailed = false;
    engine.SetLeafFinishedCallback([&](const CRefreshEngine::LeafReport& report) {
        if (rowsOfLeaf.emplace(report.pLeaf, 0).second) {
            leavesInOrder.push_back(report.pLeaf);
        }
        rowsOfLeaf[report.pLeaf] += report.RowsStored();
        bSiteFailed = bSiteFailed || !report.siteFailures.empty();
        bWriteFailed = bWriteFailed || report.bWriteFailed;
        AddToLog(log, report, host);
        if (options.json) {
            std::printf("%s\n", JsonLine(ReportJson(report, host)).c_str());
            std::fflush(stdout);
        }
        const std::vector<std::string> failures = FailureLines(report, host);
        if (!failures.empty()) {
            progress.Finish();
        }
        for (const std::string& line : failures) {
            std::fprintf(stderr, "tessaro-cli: %s\n", line.c_str());
        }
    });

    bool bInterrupted = false;
    for (CCategoryNode* node : nodes) {
        if (!engine.StartRefresh(node, true)) {
            continue;
        }
        progress.Show(*node, node->m_nRefreshPercent);
        while (engine.HasActiveRefresh() && !bInterrupted) {
            bInterrupted = signals.Wait(options.pollMs);
            // The rows handed over so far are stored even when stopping.
            engine.Poll();
            CTorrentTable::MergeSearchIndexStep(kMergePagesPerPoll);
            progress.Show(*node, node->m_nRefreshPercent);
        }
        progress.Finish();
        if (bInterrupted) {
            for (CCategoryNode* unfinished : engine.GetActiveList()) {
                std::fprintf(stderr, "tessaro-cli: interrupted: %s %s left unfinished\n",
                             NodeId(*unfinished).c_str(), unfinished->m_strName.c_str());
            }
            break;
        }
    }
    // What the last polls wrote is merged before the next search needs it.
    while (!bInterrupted && CTorrentTable::MergeSearchIndexStep(kMergePagesPerPoll)) {
    }
    if (!log.Save(CGlobalConfig::SystemClock())) {
        std::fprintf(stderr, "tessaro-cli: cannot write %skernel/refreshlog.ini\n", home.c_str());
    }

    int64_t total = 0;
    for (CCategoryNode* leaf : leavesInOrder) {
        total += rowsOfLeaf[leaf];
        if (!options.json) {
            std::printf("%s\t%lld\n", NodeId(*leaf).c_str(),
                        static_cast<long long>(rowsOfLeaf[leaf]));
        }
    }
    if (options.json) {
        std::printf("%s\n", JsonLine({{"total", total}}).c_str());
    } else {
        std::printf("total\t%lld\n", static_cast<long long>(total));
    }
    if (bInterrupted) {
        return kExitInterrupted;
    }
    if (bWriteFailed) {
        return kExitFailure;
    }
    return bSiteFailed ? kExitSitesFailed : kExitOk;
}

}  // namespace cli
