// daemon: the headless background refresher. It runs the automatic update
// and the refresh engine on the desktop program's timers, logs one line per
// event on stdout, and stops cleanly on SIGINT or SIGTERM.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>

#include "auto_update.h"
#include "cli_context.h"
#include "commands.h"
#include "indexer_server.h"
#include "leaf_reports.h"
#include "refresh_engine.h"
#include "refresh_lock.h"
#include "refresh_log.h"
#include "stop_signals.h"
#include "torrent_table.h"

namespace cli {
namespace {

void Log(const std::string& message) {
    std::printf("%s\t%s\n", LocalTime(CGlobalConfig::SystemClock()).c_str(), message.c_str());
    std::fflush(stdout);
}

int64_t RowCount(CCategoryNode& node) {
    int64_t rows = 0;
    for (CCategoryNode* leaf : node.GetLeaves()) {
        rows += leaf->m_Table.Count();
    }
    return rows;
}

std::string Describe(CCategoryNode& node) {
    return NodeId(node) + " " + node.m_strName;
}

}  // namespace

int RunDaemon(const std::string& home, const DaemonOptions& options) {
    std::string error;
    auto context = CliContext::Open(home, error);
    if (!context) {
        return Fail(error);
    }
    const auto lock = CRefreshLock::Acquire(home, error);
    if (!lock) {
        return Fail(error);
    }
    StopSignals signals;
    if (!signals.IsOk()) {
        return Fail("cannot set up the stop signals");
    }

    CGlobalConfig& config = context->Config();
    PluginHost& host = context->Host();
    if (!host.CheckRegistry(error)) {
        return Fail(error);
    }
    for (const std::string& report : host.TakeLoadReports()) {
        Log(report);
    }

    CCategoryNode& root = config.GetRoot();
    CRefreshEngine engine(host, &root);
    CRefreshLog log(home);
    const auto saveLog = [&] {
        if (!log.Save(CGlobalConfig::SystemClock())) {
            Log("cannot write " + home + "kernel/refreshlog.ini");
        }
    };
    engine.SetLeafFinishedCallback([&](const CRefreshEngine::LeafReport& report) {
        AddToLog(log, report, host);
        for (const std::string& line : FailureLines(report, host)) {
            Log(line);
        }
    });
    CAutoUpdate update(config.Settings(), root, engine);
    std::string testAddress = options.testUrl;
    if (testAddress.empty()) {
        config.GetString("UpdateData", "TestAddr", testAddress);
    }
    if (!testAddress.empty()) {
        update.SetTestAddress(testAddress);
    }
    if (options.cycleHours > 0) {
        update.SetCycleOverride(std::max<int64_t>(1, std::llround(options.cycleHours * 3600)));
    } else if (!update.IsEnabled()) {
        return Fail("automatic update is off in " + home +
                    "kernel/global.ini ([UpdateData] Auto=0): enable it or pass --cycle HOURS");
    }

    std::map<CCategoryNode*, int64_t> rowsAtStart;
    update.SetEventCallback([&](CAutoUpdate::Event event, CCategoryNode* node) {
        switch (event) {
            case CAutoUpdate::Event::kTestStarted:
                Log("testing the connection with " + update.GetTestAddress());
                break;
            case CAutoUpdate::Event::kTestFailed:
                Log("connection test failed; trying again");
                break;
            case CAutoUpdate::Event::kTestPassed:
                Log("connection test passed");
                break;
            case CAutoUpdate::Event::kUpdateStarted:
            case CAutoUpdate::Event::kUpdateRestarted:
                // The start time reaches the file at once, so a machine that
                // goes down mid-update does not begin the cycle again.
                if (!config.SaveUpdateData()) {
                    Log("cannot write the update time to " + config.GetPath());
                }
                Log(event == CAutoUpdate::Event::kUpdateStarted
                        ? "update started"
                        : "update due again before the last one ended; starting over");
                break;
            case CAutoUpdate::Event::kNodeStarted:
                rowsAtStart[node] = RowCount(*node);
                Log("refreshing " + Describe(*node));
                break;
            case CAutoUpdate::Event::kNodeFinished:
                Log("refreshed " + Describe(*node) + ": " +
                    std::to_string(RowCount(*node) - rowsAtStart[node]) + " new rows");
                break;
            case CAutoUpdate::Event::kUpdateFinished:
                saveLog();
                Log("update finished; next update at " + LocalTime(update.GetNextUpdateTime()));
                break;
        }
    });

    Log("refreshing " + home + " every " + std::to_string(update.GetCycleSeconds()) +
        " seconds; next update at " +
        LocalTime(std::max(update.GetNextUpdateTime(), CGlobalConfig::SystemClock())));

    std::unique_ptr<IndexerServer> server;
    if (!options.serve.empty()) {
        server = IndexerServer::Start(*context, options.serve, error);
        if (!server) {
            return Fail(error);
        }
        server->Announce();
    }

    using Clock = std::chrono::steady_clock;
    const auto tickPeriod = [&] {
        return std::chrono::milliseconds(options.tickMs > 0 ? options.tickMs
                                                            : update.GetTimerPeriodMs());
    };
    const auto pollPeriod = std::chrono::milliseconds(options.pollMs);
    auto nextTick = Clock::now() + tickPeriod();
    auto nextPoll = Clock::now() + pollPeriod;
    for (;;) {
        auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::min(nextTick, nextPoll) - Clock::now());
        if (const auto due = server ? server->NextPollIn() : std::nullopt) {
            wait = std::min(wait, *due);
        }
        if (signals.Wait(static_cast<int>(wait.count()), server ? server->WakeFd() : -1)) {
            break;
        }
        if (server) {
            server->Poll();
        }
        const auto now = Clock::now();
        if (now >= nextPoll) {
            engine.Poll();
            CTorrentTable::MergeSearchIndexStep(kMergePagesPerPoll);
            nextPoll = now + pollPeriod;
        }
        if (now >= nextTick) {
            update.Tick();
            nextTick = now + tickPeriod();
        }
    }

    for (CCategoryNode* node : engine.GetActiveList()) {
        Log("left unfinished: " + Describe(*node));
    }
    saveLog();
    Log("stopped");
    return kExitOk;
}

}  // namespace cli
