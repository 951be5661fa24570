// Start of the desktop program on a home with a leaf of a million rows:
// process start until the tree and the first node are shown, and the
// resident memory then. The home is made once and kept beside the bench.
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "bench_report.h"
#include "catalogue_schema.h"
#include "ini_file.h"
#include "open_home.h"

namespace {

constexpr int kRows = 1000000;
constexpr char kLeaf[] = "video_films";
constexpr double kStartTargetMs = 1000;
constexpr double kRssTargetMb = 120;
constexpr int kReadyTimeoutMs = 30000;

int64_t CountRows(const std::string& home) {
    sqlite3* db = nullptr;
    int64_t count = -1;
    if (sqlite3_open_v2((home + "kernel/websdata.db").c_str(), &db, SQLITE_OPEN_READONLY,
                        nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        const std::string query =
            std::string("SELECT n FROM ") + catalogue_schema::kCountsTable + " WHERE tbl = ?1";
        if (sqlite3_prepare_v2(db, query.c_str(), -1, &statement, nullptr) == SQLITE_OK) {
            sqlite3_bind_text(statement, 1, kLeaf, -1, SQLITE_STATIC);
            if (sqlite3_step(statement) == SQLITE_ROW) {
                count = sqlite3_column_int64(statement, 0);
            }
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return count;
}

// One transaction; the rows go in a minute apart, newest first.
bool MakeHome(const std::string& home) {
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
    const tessaro::LayoutResult layout =
        tessaro::InitHome(home, {TESSARO_DIST "/defaults/", TESSARO_DIST "/kernel/"}, false,
                          CGlobalConfig::Front::kDesktop);
    if (!layout.ok) {
        std::fprintf(stderr, "gui_start_bench: %s\n", layout.error.c_str());
        return false;
    }
    if (!CIniFile(home + "kernel/global.ini")
             .WriteString("NoAskAgain", "StartwhenAutoUpdateData", "1")) {
        std::fprintf(stderr, "gui_start_bench: cannot write %skernel/global.ini\n", home.c_str());
        return false;
    }
    sqlite3* db = nullptr;
    bool bOk =
        sqlite3_open((home + "kernel/websdata.db").c_str(), &db) == SQLITE_OK &&
        Exec(db, "BEGIN") &&
        Exec(db, std::string("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                             "WHERE i < ") +
                     std::to_string(kRows) + ") INSERT INTO " + kLeaf +
                     " (AddDate, Name, Addr0, Type, Size, RefreshDate, Seeds, Peers, "
                     "bCompleted, DllID) SELECT 46000 - i / 1440.0, '[Films] entry ' || i, "
                     "'http://127.0.0.1/t/' || i, 1, '700.0MB', 46000 - i / 1440.0, i % 50, "
                     "i % 20, 0, 0 FROM n") &&
        Exec(db, "COMMIT");
    sqlite3_close(db);
    return bOk;
}

long ResidentKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::atol(line.c_str() + 6);
        }
    }
    return -1;
}

// User and system CPU time the process has used, in milliseconds: on a
// loaded machine it tells the program's own cost from the wait for a CPU.
double CpuMs(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(stat, text);
    const size_t end = text.rfind(')');
    if (end == std::string::npos) {
        return -1;
    }
    std::istringstream fields(text.substr(end + 2));
    std::string field;
    long ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i >= 14) {
            ticks += std::atol(field.c_str());
        }
    }
    return ticks * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

}  // namespace

int main() {
    using Clock = std::chrono::steady_clock;
    const std::string home = BENCH_HOME;
    if (CountRows(home) != kRows) {
        std::printf("making the home %s with %d rows in %s\n", home.c_str(), kRows, kLeaf);
        std::fflush(stdout);
        const auto made = Clock::now();
        if (!MakeHome(home) || CountRows(home) != kRows) {
            return 1;
        }
        std::printf("%-52s %12.2f s\n", "home made in",
                    std::chrono::duration<double>(Clock::now() - made).count());
    }

    int fds[2];
    if (pipe(fds) != 0) {
        return 1;
    }
    const auto started = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        setenv("TESSARO_REPORT_READY", "1", 1);
        if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr) {
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
        }
        execl(TESSARO_PROGRAM, TESSARO_PROGRAM, "--home", home.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    FILE* output = fdopen(fds[0], "r");
    char line[256] = {};
    alarm(kReadyTimeoutMs / 1000);
    const bool bReady =
        std::fgets(line, sizeof line, output) != nullptr && std::string(line) == "ready\n";
    alarm(0);
    const double dStartMs =
        std::chrono::duration<double, std::milli>(Clock::now() - started).count();
    const long nRssKb = ResidentKb(pid);
    const double dCpuMs = CpuMs(pid);
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    std::fclose(output);
    if (!bReady) {
        std::fprintf(stderr, "gui_start_bench: the program never reported its first node\n");
        return 1;
    }
    Report("start to tree and first node shown", dStartMs, "ms", kStartTargetMs);
    std::printf("%-52s %12.2f ms\n", "CPU time of the program until then", dCpuMs);
    Report("resident memory after start", nRssKb / 1024.0, "MB", kRssTargetMb);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "gui_start_bench: the program did not end cleanly on SIGTERM\n");
        ++g_nMisses;
    }
    return g_nMisses == 0 ? 0 : 1;
}
