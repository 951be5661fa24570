// serve: the indexer API over the catalogue, the site searches and the
// torrent-file downloads, until SIGINT or SIGTERM. The HTTP threads queue
// their work; this loop alone drives the core.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "cli_context.h"
#include "commands.h"
#include "indexer_server.h"

namespace cli {
namespace {

// SIGINT and SIGTERM, blocked in this thread (and so in every thread the
// server starts after it) and read from a descriptor by the loop.
class StopSignalFd {
  public:
    StopSignalFd() {
        sigset_t signals;
        sigemptyset(&signals);
        sigaddset(&signals, SIGINT);
        sigaddset(&signals, SIGTERM);
        if (pthread_sigmask(SIG_BLOCK, &signals, &m_previous) == 0) {
            m_fd = signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
        }
    }
    ~StopSignalFd() {
        if (m_fd >= 0) {
            close(m_fd);
        }
        pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
    }
    StopSignalFd(const StopSignalFd&) = delete;
    StopSignalFd& operator=(const StopSignalFd&) = delete;

    int Fd() const { return m_fd; }

    // Takes the arrived signal, so it is not delivered once unblocked.
    bool Take() {
        signalfd_siginfo info{};
        return read(m_fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info);
    }

  private:
    int m_fd = -1;
    sigset_t m_previous{};
};

}  // namespace

int RunServe(const std::string& home, const ServeOptions& options) {
    std::string error;
    auto context = CliContext::Open(home, error);
    if (!context) {
        return Fail(error);
    }
    StopSignalFd stop;
    if (stop.Fd() < 0) {
        return Fail("cannot set up the stop signals");
    }
    auto server = IndexerServer::Start(*context, options.listen, error);
    if (!server) {
        return Fail(error);
    }
    server->Announce();
    for (;;) {
        pollfd ready[2] = {{stop.Fd(), POLLIN, 0}, {server->WakeFd(), POLLIN, 0}};
        const auto due = server->NextPollIn();
        if (poll(ready, 2, due ? static_cast<int>(due->count()) : -1) < 0 && errno != EINTR) {
            return Fail("waiting for requests failed");
        }
        if ((ready[0].revents & POLLIN) && stop.Take()) {
            break;
        }
        server->Poll();
    }
    std::printf("stopped\n");
    return kExitOk;
}

}  // namespace cli
