// fetch: downloads the .torrent files of catalogue rows through the download
// tasks, records their file names in the rows and prints where they are.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "ado_recordset.h"
#include "cli_context.h"
#include "commands.h"
#include "download_tasks.h"
#include "terminal_text.h"
#include "torrent_fetch.h"

extern char** environ;

namespace cli {
namespace {

// How long xdg-open may take to hand the file over before it is left to
// finish on its own: some desktops keep it running as long as the handler.
constexpr auto kOpenerPatience = std::chrono::seconds(5);
constexpr auto kOpenerCheck = std::chrono::milliseconds(20);

class SpawnActions {
  public:
    SpawnActions() { posix_spawn_file_actions_init(&m_actions); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&m_actions); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    posix_spawn_file_actions_t* Get() { return &m_actions; }

  private:
    posix_spawn_file_actions_t m_actions;
};

std::optional<int64_t> ParseRowId(const std::string& text) {
    int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || ptr != end || value <= 0) {
        return std::nullopt;
    }
    return value;
}

std::optional<TorrentRecord> ReadRow(CCategoryNode& leaf, int64_t rowid) {
    CTorrentTable& table = leaf.m_Table;
    RecordBookmark bookmark;
    bookmark.nRowId = rowid;
    TorrentRecord record;
    if (!table.Open() || !table.RecordSet().SetBookmark(bookmark) || !table.ReadNext(record)) {
        return std::nullopt;
    }
    return record;
}

}  // namespace

bool OpenWithDesktop(const std::string& path, const std::string& dir) {
    std::error_code ignored;
    // The opener runs in `dir`, so a relative path would point elsewhere.
    std::string file = std::filesystem::absolute(path, ignored).string();
    SpawnActions actions;
    if (posix_spawn_file_actions_addchdir_np(actions.Get(), dir.c_str()) != 0) {
        return false;
    }
    std::string program = "xdg-open";
    char* argv[] = {program.data(), file.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, program.c_str(), actions.Get(), nullptr, argv, environ) != 0) {
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + kOpenerPatience;
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        }
        if (done < 0 && errno != EINTR) {
            return false;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return true;
        }
        std::this_thread::sleep_for(kOpenerCheck);
    }
}

FetchOutcome FetchTorrentFiles(CliContext& context, const std::vector<TorrentRecord>& entries,
                               bool open, int pollMs) {
    CDownloadTasks tasks(context.Host(), context.Config());
    tasks.SetFileOpener(OpenWithDesktop);
    FetchOutcome outcome;
    outcome.paths.resize(entries.size());
    const auto reportOpenFailure = [&](CDownloadTasks::OpenResult result,
                                       const TorrentRecord& entry) {
        Fail(TerminalText(tasks.GetTorrentPath(entry)) + ": " +
             std::string(CDownloadTasks::GetOpenFailureText(result)));
        outcome.bOpenFailed = true;
    };
    tasks.SetOpenFailedCallback(reportOpenFailure);

    std::vector<std::optional<size_t>> taskOf(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        if (tasks.TorrentFileExists(entries[i])) {
            outcome.paths[i] = tasks.GetTorrentPath(entries[i]);
            const CDownloadTasks::OpenResult result =
                open ? tasks.OpenTorrentFile(entries[i]) : CDownloadTasks::OpenResult::kOpened;
            if (result != CDownloadTasks::OpenResult::kOpened) {
                reportOpenFailure(result, entries[i]);
            }
            continue;
        }
        TorrentRecord entry = entries[i];
        entry.Reserved = open ? 1 : 0;
        taskOf[i] = tasks.AddTask(entry).nIndex;
    }

    while (tasks.HasPendingTasks()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(pollMs));
        tasks.Poll();
        // Tasks still waiting with every slot free were refused by their
        // plug-in and would wait for ever.
        if (tasks.GetRunningCount() == 0) {
            break;
        }
    }

    if (tasks.GetUnrecordedCount() > 0) {
        Fail("the catalogue did not take the file names of " +
             std::to_string(tasks.GetUnrecordedCount()) + " fetched files");
        outcome.bUnrecorded = true;
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        if (!taskOf[i]) {
            continue;
        }
        const TorrentRecord& task = tasks.GetTask(*taskOf[i]);
        if (CDownloadTasks::GetState(task) == CDownloadTasks::kCompleted) {
            outcome.paths[i] = tasks.GetTorrentPath(task);
        }
    }
    return outcome;
}

int RunFetch(const std::string& home, const FetchOptions& options) {
    std::string error;
    CCategoryNode* node = nullptr;
    auto context = CliContext::OpenAt(home, options.node, node, error);
    if (!context) {
        return Fail(error);
    }
    if (!context->Host().CheckRegistry(error)) {
        return Fail(error);
    }
    const std::vector<CCategoryNode*> leaves = node->GetLeaves();

    // Row ids count per table, so a node with several leaves may hold one
    // id more than once; such a row must be named through its leaf.
    std::vector<TorrentRecord> entries;
    std::vector<std::optional<size_t>> entryOf(options.rowids.size());
    for (size_t i = 0; i < options.rowids.size(); ++i) {
        const std::string& text = options.rowids[i];
        const std::optional<int64_t> rowid = ParseRowId(text);
        if (!rowid) {
            Fail("'" + text + "' is not a row id");
            continue;
        }
        std::vector<std::pair<TorrentRecord, CCategoryNode*>> found;
        for (CCategoryNode* leaf : leaves) {
            if (std::optional<TorrentRecord> record = ReadRow(*leaf, *rowid)) {
                found.emplace_back(std::move(*record), leaf);
            }
        }
        if (found.empty()) {
            Fail("no row " + text + " under node " + options.node);
        } else if (found.size() > 1) {
            std::string where;
            for (const auto& [record, leaf] : found) {
                where += (where.empty() ? "" : ", ") + NodeId(*leaf);
            }
            Fail("row " + text + " is in several leaves (" + where + "): name the leaf");
        } else {
            entryOf[i] = entries.size();
            entries.push_back(std::move(found.front().first));
        }
    }

    const FetchOutcome outcome = FetchTorrentFiles(*context, entries, options.open, options.pollMs);
    bool allFetched = true;
    for (size_t i = 0; i < options.rowids.size(); ++i) {
        const std::string path = entryOf[i] ? outcome.paths[*entryOf[i]] : std::string();
        allFetched = allFetched && !path.empty();
        std::printf("%s\t%s\n", TerminalText(options.rowids[i]).c_str(),
                    path.empty() ? "failed" : TerminalText(path).c_str());
    }
    return allFetched && !outcome.bOpenFailed && !outcome.bUnrecorded ? kExitOk : kExitFailure;
}

}  // namespace cli
