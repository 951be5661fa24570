// SIGINT and SIGTERM turned into a request to stop, seen by the command's
// loop between two polls, so a refresh cut short still stores what it has,
// releases the plug-ins and the home's lock, and reports.
#pragma once

#include <signal.h>

namespace cli {

class StopSignals {
  public:
    StopSignals();
    // Puts the previous handlers back.
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    bool IsOk() const { return m_bOk; }

    // Sleeps up to `ms` or until `otherFd` (when not -1) is readable; true
    // when a stop signal has arrived.
    bool Wait(int ms, int otherFd = -1);

  private:
    int m_fds[2] = {-1, -1};
    bool m_bOk = false;
    struct sigaction m_previousInt {};
    struct sigaction m_previousTerm {};
};

}  // namespace cli
