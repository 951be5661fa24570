// A program running beside the test: its output (stdout and stderr in one
// stream) read as it comes, signals sent when the test decides. With a
// terminal, the child's standard streams are one pseudo-terminal, so it can
// ask questions the test answers.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace cli_upkeep {

class ChildProcess {
  public:
    using Millis = std::chrono::milliseconds;

    ChildProcess(const std::vector<std::string>& argv, bool bTerminal = false) {
        std::vector<char*> args;
        for (const std::string& arg : argv) {
            args.push_back(const_cast<char*>(arg.c_str()));
        }
        args.push_back(nullptr);
        // Everything the child needs is prepared before the fork: the test
        // process has threads, so the child may only exec.
        if (bTerminal) {
            m_pid = forkpty(&m_fd, nullptr, nullptr, nullptr);
            if (m_pid == 0) {
                execv(args[0], args.data());
                _exit(127);
            }
            return;
        }
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) {
            return;
        }
        m_pid = fork();
        if (m_pid == 0) {
            const int null = open("/dev/null", O_RDONLY);
            dup2(null, STDIN_FILENO);
            dup2(fds[1], STDOUT_FILENO);
            dup2(fds[1], STDERR_FILENO);
            execv(args[0], args.data());
            _exit(127);
        }
        close(fds[1]);
        m_fd = fds[0];
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

    bool Started() const { return m_pid > 0 && m_fd >= 0; }
    const std::string& Output() const { return m_output; }

    // Reads until the output holds `text` `count` times (or the output ends
    // or the time runs out); answers whether it does.
    bool WaitFor(const std::string& text, Millis timeout, size_t count = 1) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (Occurrences(text) < count) {
            if (!ReadSome(deadline)) {
                return Occurrences(text) >= count;
            }
        }
        return true;
    }

    void Write(const std::string& text) const {
        [[maybe_unused]] const ssize_t written = write(m_fd, text.data(), text.size());
    }
    void Signal(int nSignal) const { kill(m_pid, nSignal); }

    // The exit code once the child has ended, reading its output meanwhile;
    // -1 when it was killed by a signal or is still running at the deadline.
    int Wait(Millis timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (m_exitCode == kRunning) {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                break;
            }
            if (!ReadSome(deadline) && std::chrono::steady_clock::now() >= deadline) {
                return -1;
            }
        }
        // What the child wrote last is still in the pipe.
        while (ReadSome(std::chrono::steady_clock::now())) {
        }
        return m_exitCode;
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

    // Waits for output until the deadline; false when none came or the
    // stream has ended.
    bool ReadSome(std::chrono::steady_clock::time_point deadline) {
        const auto left =
            std::chrono::duration_cast<Millis>(deadline - std::chrono::steady_clock::now());
        pollfd ready{m_fd, POLLIN, 0};
        // A short slice even without data, so Wait() notices the exit of a
        // child whose stream stays open elsewhere.
        if (poll(&ready, 1, static_cast<int>(std::clamp<int64_t>(left.count(), 0, 50))) <= 0) {
            return std::chrono::steady_clock::now() < deadline && m_exitCode == kRunning;
        }
        char buffer[4096];
        const ssize_t n = read(m_fd, buffer, sizeof buffer);
        if (n <= 0) {
            return false;
        }
        m_output.append(buffer, static_cast<size_t>(n));
        return true;
    }

    pid_t m_pid = -1;
    int m_fd = -1;
    int m_exitCode = kRunning;
    std::string m_output;
};

}  // namespace cli_upkeep
