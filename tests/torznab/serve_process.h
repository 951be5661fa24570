// tessaro-cli serve as a background child for the tests: its standard
// output is read line by line as it comes, and it is stopped with SIGTERM.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

class ServeProcess {
  public:
    explicit ServeProcess(std::vector<std::string> argv) {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        std::vector<char*> args;
        for (std::string& arg : argv) {
            args.push_back(arg.data());
        }
        args.push_back(nullptr);
        if (posix_spawn(&m_pid, args[0], &actions, nullptr, args.data(), environ) != 0) {
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        m_out = out[0];
    }
    ~ServeProcess() {
        Stop();
        if (m_out >= 0) {
            close(m_out);
        }
    }
    ServeProcess(const ServeProcess&) = delete;
    ServeProcess& operator=(const ServeProcess&) = delete;

    // The rest of the first output line that starts with `prefix`.
    std::optional<std::string> WaitForLine(const std::string& prefix,
                                           std::chrono::seconds patience) {
        const auto deadline = std::chrono::steady_clock::now() + patience;
        for (;;) {
            for (size_t end; (end = m_buffer.find('\n')) != std::string::npos;) {
                const std::string line = m_buffer.substr(0, end);
                m_buffer.erase(0, end + 1);
                if (line.rfind(prefix, 0) == 0) {
                    return line.substr(prefix.size());
                }
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd ready{m_out, POLLIN, 0};
            if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) <= 0) {
                return std::nullopt;
            }
            char chunk[4096];
            const ssize_t got = read(m_out, chunk, sizeof chunk);
            if (got <= 0) {
                return std::nullopt;
            }
            m_buffer.append(chunk, static_cast<size_t>(got));
        }
    }

    pid_t Pid() const { return m_pid; }

    // SIGTERM, then the exit status (-1 when it had to be killed).
    int Stop() {
        if (m_pid <= 0) {
            return m_status;
        }
        kill(m_pid, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        int status = 0;
        while (waitpid(m_pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() >= deadline) {
                kill(m_pid, SIGKILL);
                waitpid(m_pid, &status, 0);
                break;
            }
            pollfd none{-1, 0, 0};
            poll(&none, 0, 10);
        }
        m_pid = -1;
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return m_status;
    }

  private:
    pid_t m_pid = -1;
    int m_out = -1;
    int m_status = -1;
    std::string m_buffer;
};
