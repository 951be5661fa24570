// A program running beside the test on a pseudo-terminal: it can ask
// questions the test answers, its output (stdout and stderr, lines ending
// in "\r\n") is read as it comes, and signals arrive when the test decides.
#pragma once

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

namespace cli_upkeep {

class ChildProcess {
  public:
    using Clock = std::chrono::steady_clock;

    explicit ChildProcess(const std::vector<std::string>& argv) {
        // Prepared before the fork: the test has threads, so the child may
        // only exec.
        std::vector<char*> args;
        for (const std::string& arg : argv) {
            args.push_back(const_cast<char*>(arg.c_str()));
        }
        args.push_back(nullptr);
        m_pid = forkpty(&m_fd, nullptr, nullptr, nullptr);
        if (m_pid == 0) {
            execv(args[0], args.data());
            _exit(127);
        }
    }
    ~ChildProcess() {
        if (m_pid > 0 && m_exitCode == kRunning) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    const std::string& Output() const { return m_output; }

    // Reads until the output holds `text` `count` times; false when it does
    // not by the deadline.
    bool WaitFor(const std::string& text, std::chrono::milliseconds timeout, size_t count = 1) {
        const auto deadline = Clock::now() + timeout;
        while (Occurrences(text) < count && Clock::now() < deadline) {
            ReadFor(std::chrono::milliseconds(20));
        }
        return Occurrences(text) >= count;
    }
    void Write(const std::string& text) const {
        [[maybe_unused]] const ssize_t written = write(m_fd, text.data(), text.size());
    }
    void Signal(int nSignal) const { kill(m_pid, nSignal); }
    pid_t Pid() const { return m_pid; }

    // The exit code; -1 when killed by a signal or still running at the
    // deadline.
    int Wait(std::chrono::milliseconds timeout) {
        const auto deadline = Clock::now() + timeout;
        while (m_exitCode == kRunning && Clock::now() < deadline) {
            ReadFor(std::chrono::milliseconds(20));
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
        }
        ReadFor(std::chrono::milliseconds(0));
        return m_exitCode == kRunning ? -1 : m_exitCode;
    }

  private:
    static constexpr int kRunning = -2;

    size_t Occurrences(const std::string& text) const {
        size_t count = 0;
        for (size_t at = m_output.find(text); at != std::string::npos;
             at = m_output.find(text, at + text.size())) {
            ++count;
        }
        return count;
    }
    void ReadFor(std::chrono::milliseconds wait) {
        pollfd ready{m_fd, POLLIN, 0};
        char buffer[4096];
        ssize_t n = 0;
        while (poll(&ready, 1, static_cast<int>(wait.count())) > 0 &&
               (n = read(m_fd, buffer, sizeof buffer)) > 0) {
            m_output.append(buffer, static_cast<size_t>(n));
            wait = std::chrono::milliseconds(0);
        }
    }

    pid_t m_pid = -1;
    int m_fd = -1;
    int m_exitCode = kRunning;
    std::string m_output;
};

}  // namespace cli_upkeep
