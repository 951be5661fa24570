#include "child_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <memory>
#include <sstream>

extern char** environ;

namespace refresh_bench {
namespace {

struct FileActionsDeleter {
    void operator()(posix_spawn_file_actions_t* actions) const {
        posix_spawn_file_actions_destroy(actions);
    }
};

class UniqueFd {
  public:
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int Get() const { return m_fd; }

  private:
    int m_fd;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

double Seconds(const timeval& value) {
    return static_cast<double>(value.tv_sec) + static_cast<double>(value.tv_usec) / 1e6;
}

}  // namespace

ChildResult RunChild(const std::vector<std::string>& argv, const std::string& scratchDir,
                     std::chrono::seconds timeout) {
    ChildResult result;
    const std::string outPath = scratchDir + "/child.out";
    const std::string errPath = scratchDir + "/child.err";

    posix_spawn_file_actions_t storage;
    if (posix_spawn_file_actions_init(&storage) != 0) {
        return result;
    }
    std::unique_ptr<posix_spawn_file_actions_t, FileActionsDeleter> actions(&storage);
    posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(actions.get(), STDOUT_FILENO, outPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(actions.get(), STDERR_FILENO, errPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);

    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);

    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, args[0], actions.get(), nullptr, args.data(), environ) != 0) {
        return result;
    }
    result.started = true;

    // The pid file descriptor turns "the child ended" into something poll
    // can wait for with a deadline.
    // Through syscall: glibc 2.36's <sys/pidfd.h> declares pidfd_open
    // without C linkage, so C++ callers do not link.
    const UniqueFd pidFd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    if (pidFd.Get() >= 0) {
        pollfd ended{pidFd.Get(), POLLIN, 0};
        const int timeoutMs = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(timeout).count());
        if (::poll(&ended, 1, timeoutMs) == 0) {
            result.timedOut = true;
            ::kill(pid, SIGKILL);
        }
    }

    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    result.wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.cpuSeconds = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    result.peakRssKb = usage.ru_maxrss;
    if (WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    }
    result.out = ReadFile(outPath);
    result.err = ReadFile(errPath);
    return result;
}

}  // namespace refresh_bench
