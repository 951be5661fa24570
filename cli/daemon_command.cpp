// daemon: the headless background refresher. It runs the automatic update
// and the refresh engine on the desktop program's timers, logs one line per
// event on stdout, and stops cleanly on SIGINT or SIGTERM.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>

#include "auto_update.h"
#include "cli_context.h"
#include "commands.h"
#include "indexer_server.h"
#include "refresh_engine.h"
#include "refresh_lock.h"

namespace cli {
namespace {

// The signal handler only writes a byte here, which wakes the loop's poll()
// whichever thread the signal was delivered to.
int g_wakeFd = -1;

extern "C" void OnStopSignal(int) {
    const int savedErrno = errno;
    const char byte = 's';
    [[maybe_unused]] const ssize_t ignored = write(g_wakeFd, &byte, 1);
    errno = savedErrno;
}

class StopSignals {
  public:
    StopSignals() {
        if (pipe2(m_fds, O_CLOEXEC | O_NONBLOCK) != 0) {
            return;
        }
        g_wakeFd = m_fds[1];
        struct sigaction action {};
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &m_previousInt);
        sigaction(SIGTERM, &action, &m_previousTerm);
        m_bOk = true;
    }
    ~StopSignals() {
        if (!m_bOk) {
            return;
        }
        sigaction(SIGINT, &m_previousInt, nullptr);
        sigaction(SIGTERM, &m_previousTerm, nullptr);
        g_wakeFd = -1;
        close(m_fds[0]);
        close(m_fds[1]);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    bool IsOk() const { return m_bOk; }

    // Sleeps up to `ms` or until `otherFd` (when not -1) is readable; true
    // when a stop signal has arrived.
    bool Wait(int ms, int otherFd = -1) {
        pollfd wake[2] = {{m_fds[0], POLLIN, 0}, {otherFd, POLLIN, 0}};
        const int ready = poll(wake, otherFd < 0 ? 1 : 2, std::max(ms, 0));
        char byte = 0;
        return ready > 0 && (wake[0].revents & POLLIN) && read(m_fds[0], &byte, 1) == 1;
    }

  private:
    int m_fds[2] = {-1, -1};
    bool m_bOk = false;
    struct sigaction m_previousInt {};
    struct sigaction m_previousTerm {};
};

std::string LocalTime(int64_t seconds) {
    const time_t value = static_cast<time_t>(seconds);
    std::tm local{};
    localtime_r(&value, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

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
    host.GetPluginInfo();
    for (const std::string& report : host.TakeLoadReports()) {
        Log(report);
    }

    CCategoryNode& root = config.GetRoot();
    CRefreshEngine engine(host, &root);
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
                config.SaveUpdateData();
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
    Log("stopped");
    return kExitOk;
}

}  // namespace cli
