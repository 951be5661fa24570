#include "stop_signals.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

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

}  // namespace

StopSignals::StopSignals() {
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

StopSignals::~StopSignals() {
    if (!m_bOk) {
        return;
    }
    sigaction(SIGINT, &m_previousInt, nullptr);
    sigaction(SIGTERM, &m_previousTerm, nullptr);
    g_wakeFd = -1;
    close(m_fds[0]);
    close(m_fds[1]);
}

bool StopSignals::Wait(int ms, int otherFd) {
    pollfd wake[2] = {{m_fds[0], POLLIN, 0}, {otherFd, POLLIN, 0}};
    const int ready = poll(wake, otherFd < 0 ? 1 : 2, std::max(ms, 0));
    char byte = 0;
    return ready > 0 && (wake[0].revents & POLLIN) && read(m_fds[0], &byte, 1) == 1;
}

}  // namespace cli
