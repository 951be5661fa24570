// search: looks a keyword up in the local catalogue and on the sites, prints
// the local matches at once and the site matches as they arrive, keeps the
// keyword history, and optionally fetches the .torrent files of results.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli_context.h"
#include "commands.h"
#include "record_json.h"
#include "search_session.h"
#include "terminal_text.h"
#include "texts.h"
#include "torrent_fetch.h"

namespace cli {
namespace {

const char* SourceName(CSearchSession::Source source) {
    return source == CSearchSession::Source::kLocal ? "local" : "site";
}

void PrintRow(size_t number, const CSearchSession::ResultRow& row, bool json) {
    const TorrentRecord& record = row.record;
    if (json) {
        nlohmann::json value = RecordJson(record, row.pLeaf ? row.pLeaf->m_strTableName : "");
        value["source"] = SourceName(row.source);
        value["number"] = number;
        std::printf("%s\n", JsonLine(value).c_str());
        return;
    }
    std::printf("%zu\t%s\t%d\t%s\t%s\n", number, SourceName(row.source), record.DllID,
                record.AddDate.Format().c_str(), TerminalText(record.Name).c_str());
}

// The site search's progress on stderr: a bar redrawn in place on a
// terminal, a line per change otherwise.
class SearchProgress {
  public:
    SearchProgress() : m_bTerminal(isatty(STDERR_FILENO) == 1) {}

    void Show(int percent) {
        if (percent == m_nLastPercent) {
            return;
        }
        m_nLastPercent = percent;
        if (!m_bTerminal) {
            std::fprintf(stderr, "search\t%d%%\n", percent);
            return;
        }
        constexpr int kWidth = 30;
        const int filled = percent * kWidth / 100;
        std::fprintf(stderr, "\rsearching [%.*s%*s] %3d%%", filled,
                     "##############################", kWidth - filled, "", percent);
        std::fflush(stderr);
    }

    void Finish() {
        if (m_bTerminal && m_nLastPercent >= 0) {
            std::fputc('\n', stderr);
        }
    }

  private:
    bool m_bTerminal;
    int m_nLastPercent = -1;
};

}  // namespace

int RunSearch(const std::string& home, const SearchOptions& options) {
    std::string error;
    auto context = CliContext::Open(home, error);
    if (!context) {
        return Fail(error);
    }
    if (!options.localOnly && !context->Host().CheckRegistry(error)) {
        return Fail(error);
    }
    CSearchSession session(context->Host(), context->Config());
    session.LoadHistory();
    const CSearchSession::Scope scope{.bLocal = !options.sitesOnly, .bSites = !options.localOnly};
    if (session.Start(options.keyword, scope) == CSearchSession::StartResult::kEmptyKeyword) {
        Fail(std::string(texts::LoadString(texts::IDS_NO_KEYWORD)));
        return kExitUsage;
    }
    if (!session.SaveHistory()) {
        // The search itself still runs; only its place in the history is lost.
        std::fprintf(stderr, "tessaro-cli: cannot write the search history to %s\n",
                     context->Config().GetPath().c_str());
    }
    if (scope.bSites) {
        for (const std::string& report : context->Host().TakeLoadReports()) {
            std::fprintf(stderr, "tessaro-cli: %s\n", report.c_str());
        }
    }

    const std::vector<CSearchSession::ResultRow>& rows = session.GetRows();
    size_t printed = 0;
    const auto printNewRows = [&] {
        for (; printed < rows.size(); ++printed) {
            PrintRow(printed, rows[printed], options.json);
        }
        std::fflush(stdout);
    };
    printNewRows();
    SearchProgress progress;
    while (session.IsSearching()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(options.pollMs));
        session.Poll();
        progress.Show(session.GetProgress());
        printNewRows();
    }
    progress.Finish();

    if (options.fetch.empty()) {
        return kExitOk;
    }
    std::vector<TorrentRecord> entries;
    std::vector<std::optional<size_t>> entryOf(options.fetch.size());
    for (size_t i = 0; i < options.fetch.size(); ++i) {
        if (options.fetch[i] >= rows.size()) {
            Fail("there is no result " + std::to_string(options.fetch[i]));
            continue;
        }
        entryOf[i] = entries.size();
        entries.push_back(rows[options.fetch[i]].record);
    }
    const FetchOutcome outcome = FetchTorrentFiles(*context, entries, false, options.pollMs);
    bool allFetched = true;
    for (size_t i = 0; i < options.fetch.size(); ++i) {
        const std::string path = entryOf[i] ? outcome.paths[*entryOf[i]] : std::string();
        allFetched = allFetched && !path.empty();
        if (options.json) {
            nlohmann::json value = {{"number", options.fetch[i]}, {"path", nullptr}};
            if (!path.empty()) {
                value["path"] = path;
            }
            std::printf("%s\n", JsonLine(value).c_str());
        } else {
            std::printf("%zu\t%s\n", options.fetch[i],
                        path.empty() ? "failed" : TerminalText(path).c_str());
        }
    }
    return allFetched && !outcome.bUnrecorded ? kExitOk : kExitFailure;
}

}  // namespace cli
