#include "run_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <map>

extern char** environ;

namespace testing_support {
namespace {

struct Pipe {
    int fds[2] = {-1, -1};
    Pipe() {
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            fds[0] = fds[1] = -1;
        }
    }
    ~Pipe() {
        CloseRead();
        CloseWrite();
    }
    void CloseRead() {
        if (fds[0] >= 0) {
            ::close(fds[0]);
            fds[0] = -1;
        }
    }
    void CloseWrite() {
        if (fds[1] >= 0) {
            ::close(fds[1]);
            fds[1] = -1;
        }
    }
};

std::vector<std::string> ChildEnvironment(const ProcessOptions& options) {
    std::map<std::string, std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const char* equals = std::strchr(*entry, '=');
        if (equals != nullptr) {
            variables[std::string(*entry, static_cast<size_t>(equals - *entry))] = equals + 1;
        }
    }
    for (const auto& [name, value] : options.environment) {
        if (value.empty()) {
            variables.erase(name);
        } else {
            variables[name] = value;
        }
    }
    std::vector<std::string> result;
    for (const auto& [name, value] : variables) {
        result.push_back(name + "=" + value);
    }
    return result;
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options) {
    // A child that exits without reading its input must not kill the test.
    ::signal(SIGPIPE, SIG_IGN);
    ProcessResult result;
    Pipe input;
    Pipe output;
    Pipe error;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input.fds[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output.fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, error.fds[1], STDERR_FILENO);

    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    std::vector<std::string> environment = ChildEnvironment(options);
    std::vector<char*> envp;
    for (std::string& entry : environment) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);

    pid_t child = -1;
    const int spawned = posix_spawn(&child, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    input.CloseRead();
    output.CloseWrite();
    error.CloseWrite();
    if (spawned != 0) {
        result.err = std::string("cannot start ") + argv[0] + ": " + std::strerror(spawned);
        return result;
    }

    // Feed stdin and drain both outputs together, so a chatty child never
    // blocks on a full pipe.
    size_t written = 0;
    if (options.input.empty()) {
        input.CloseWrite();
    }
    const auto deadline = std::chrono::steady_clock::now() + options.timeout;
    while (output.fds[0] >= 0 || error.fds[0] >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result.timedOut = true;
            ::kill(child, SIGKILL);
            break;
        }
        pollfd fds[3] = {
            {output.fds[0], POLLIN, 0}, {error.fds[0], POLLIN, 0}, {input.fds[1], POLLOUT, 0}};
        if (::poll(fds, 3, static_cast<int>(left.count())) < 0) {
            continue;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            char buffer[8192];
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            Pipe& source = i == 0 ? output : error;
            if (got <= 0) {
                source.CloseRead();
            } else {
                (i == 0 ? result.out : result.err).append(buffer, static_cast<size_t>(got));
            }
        }
        if (fds[2].fd >= 0 && fds[2].revents != 0) {
            const ssize_t sent = ::write(input.fds[1], options.input.data() + written,
                                         options.input.size() - written);
            if (sent <= 0 || (written += static_cast<size_t>(sent)) == options.input.size()) {
                input.CloseWrite();
            }
        }
    }
    input.CloseWrite();
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFEXITED(status) && !result.timedOut) {
        result.exitCode = WEXITSTATUS(status);
    }
    return result;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace testing_support
