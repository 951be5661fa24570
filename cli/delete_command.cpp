// delete: removes catalogue data under a node by age, or all of it, sets the
// plug-ins back so that they fetch deleted recent entries again, and prunes
// the fetched torrent files, as the category tree's delete commands do.
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <memory>

#include "cli_context.h"
#include "commands.h"
#include "delete_commands.h"
#include "download_tasks.h"
#include "refresh_lock.h"
#include "texts.h"

namespace cli {
namespace {

using Kind = CDeleteCommands::Kind;

bool ParseDay(const std::string& text, OleDate& day) {
    int year = 0;
    int month = 0;
    int date = 0;
    char rest = 0;
    if (text.size() != 10 ||
        std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &year, &month, &date, &rest) != 3) {
        return false;
    }
    day = OleDate::FromFields(year, month, date);
    return day.IsValid();
}

bool Confirm() {
    std::fprintf(stderr, "%s [y/N] ", texts::LoadString(texts::IDS_CONFIRM_DELETE).data());
    std::fflush(stderr);
    std::string answer;
    std::getline(std::cin, answer);
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
}

}  // namespace

int RunDelete(const std::string& home, const DeleteOptions& options) {
    CDeleteCommands::Command command;
    if (options.clear) {
        command.kind = Kind::kClearData;
    } else if (options.beforeDays > 0) {
        command = {Kind::kBeforeDays, options.beforeDays, {}};
    } else if (options.recentDays > 0) {
        command = {Kind::kRecentDays, options.recentDays, {}};
    } else {
        const bool before = !options.beforeDate.empty();
        command.kind = before ? Kind::kBeforeDate : Kind::kAfterDate;
        const std::string& text = before ? options.beforeDate : options.afterDate;
        if (!ParseDay(text, command.dtPicked)) {
            std::fprintf(stderr, "tessaro-cli: '%s' is not a day: write YYYY-MM-DD\n",
                         text.c_str());
            return kExitUsage;
        }
    }

    std::string error;
    CCategoryNode* node = nullptr;
    auto context = CliContext::OpenAt(home, options.node, node, error);
    if (!context) {
        return Fail(error);
    }
    // These commands write the plug-ins' refresh dates, which a running
    // refresher would overwrite with its own when it unloads its plug-ins.
    std::unique_ptr<CRefreshLock> lock;
    if (command.kind == Kind::kClearData || command.kind == Kind::kRecentDays ||
        command.kind == Kind::kAfterDate) {
        lock = CRefreshLock::Acquire(home, error);
        if (!lock) {
            return Fail(error);
        }
    }
    if (!options.yes) {
        if (isatty(STDIN_FILENO) != 1) {
            return Fail("not deleting without --yes: standard input is not a terminal");
        }
        if (!Confirm()) {
            return Fail("nothing deleted");
        }
    }

    PluginHost& host = context->Host();
    if (!host.CheckRegistry(error)) {
        return Fail(error);
    }
    CDownloadTasks tasks(host, context->Config());
    CDeleteCommands commands(
        host, [&tasks](int days, bool recent) { return tasks.CleanTorrentFolder(days, recent); });
    const CDeleteCommands::Result result = commands.Run(node, command);
    for (const std::string& report : host.TakeLoadReports()) {
        std::fprintf(stderr, "tessaro-cli: %s\n", report.c_str());
    }
    bool ok = true;
    for (const CDeleteCommands::LeafResult& leaf : result.leaves) {
        if (leaf.bOk) {
            std::printf("%s\t%lld\n", NodeId(*leaf.pLeaf).c_str(),
                        static_cast<long long>(leaf.nRowsDeleted));
        } else {
            ok = false;
            std::printf("%s\tfailed\n", NodeId(*leaf.pLeaf).c_str());
        }
    }
    std::printf("files\t%d\n", result.nFilesPruned);
    return ok ? kExitOk : kExitFailure;
}

}  // namespace cli
