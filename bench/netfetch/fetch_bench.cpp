// Throughput of the download library: many 100 kB GETs from a local server,
// a fixed number in flight, polled the way the plug-ins poll. The server runs
// in a child process so that the CPU time measured is the library's alone.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <thread>

#include "fixture_server.h"
#include "netfetch.h"

namespace {

constexpr int kRequests = 2000;
constexpr int kInFlight = 16;
constexpr size_t kBodyBytes = 100 * 1000;
constexpr double kTargetPerSecond = 500;

// Runs the server in a child until the parent closes `stop`; answers the
// child's id and writes its port to `port`, or -1 on failure.
pid_t StartServer(int& port, int& stop) {
    int portPipe[2];
    int stopPipe[2];
    if (::pipe(portPipe) != 0 || ::pipe(stopPipe) != 0) {
        return -1;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(portPipe[0]);
        ::close(stopPipe[1]);
        int status = 0;
        {
            testing_support::FixtureServer server;
            testing_support::FixtureReply reply;
            reply.body.assign(kBodyBytes, 'x');
            reply.contentType = "application/octet-stream";
            server.Route("/blob", reply);
            const int serving = server.Port();
            if (::write(portPipe[1], &serving, sizeof serving) != sizeof serving) {
                status = 1;
            }
            char ignored;
            while (status == 0 && ::read(stopPipe[0], &ignored, 1) > 0) {
            }
        }
        ::_exit(status);
    }
    ::close(portPipe[1]);
    ::close(stopPipe[0]);
    stop = stopPipe[1];
    const bool ok = child > 0 && ::read(portPipe[0], &port, sizeof port) == sizeof port;
    ::close(portPipe[0]);
    return ok ? child : -1;
}

double CpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main() {
    int port = 0;
    int stop = -1;
    const pid_t server = StartServer(port, stop);
    if (server < 0) {
        std::fprintf(stderr, "bench_netfetch: cannot start the local server\n");
        return 1;
    }
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/blob";

    std::array<CDownManager, kInFlight> slots;
    std::array<bool, kInFlight> busy{};
    int started = 0;
    int completed = 0;
    int failed = 0;
    const double cpuBefore = CpuSeconds();
    const auto begin = std::chrono::steady_clock::now();
    while (completed + failed < kRequests) {
        for (int i = 0; i < kInFlight; ++i) {
            if (!busy[i] && started < kRequests) {
                busy[i] = slots[i].DownLoadFile(url.c_str()) != 0;
                ++started;
                failed += busy[i] ? 0 : 1;
                continue;
            }
            if (!busy[i]) {
                continue;
            }
            const int percent = slots[i].GetDownPercent();
            if (percent == 100 || percent == -1) {
                const bool whole =
                    percent == 100 && slots[i].GetDataLength() == static_cast<int64_t>(kBodyBytes);
                completed += whole ? 1 : 0;
                failed += whole ? 0 : 1;
                slots[i].Close();
                busy[i] = false;
            }
        }
        // A poller that does not spin, as the host's timers do not.
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    const double cpu = CpuSeconds() - cpuBefore;

    ::close(stop);
    int status = 0;
    ::waitpid(server, &status, 0);

    const double perSecond = completed / seconds;
    const bool ok = failed == 0 && perSecond >= kTargetPerSecond;
    std::printf("netfetch  %d GETs of %zu bytes, %d in flight: %d complete, %d failed in %.2f s\n",
                kRequests, kBodyBytes, kInFlight, completed, failed, seconds);
    std::printf("netfetch  responses per second  %8.0f   target >= %.0f  %s\n", perSecond,
                kTargetPerSecond, perSecond >= kTargetPerSecond ? "ok" : "MISSED");
    std::printf("netfetch  CPU per response      %8.1f us (process, client side; reported)\n",
                cpu * 1e6 / kRequests);
    return ok ? 0 : 1;
}
