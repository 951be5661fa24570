// Helpers for the netfetch tests: bounded waits, a server the test feeds by
// hand, and child processes for the proxies.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "netfetch.h"

namespace netfetch_test {

using namespace std::chrono_literals;

inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds limit = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

// The final percent (100 or -1), or the last running one after `limit`.
inline int WaitForEnd(const CDownManager& fetch, std::chrono::milliseconds limit = 10s) {
    int percent = fetch.GetDownPercent();
    WaitUntil([&] { return (percent = fetch.GetDownPercent()) == 100 || percent == -1; }, limit);
    return percent;
}

inline std::string DataOf(CDownManager& fetch) {
    const char* data = fetch.GetDataBuf();
    return data == nullptr ? std::string()
                           : std::string(data, static_cast<size_t>(fetch.GetDataLength()));
}

// A listening 127.0.0.1 socket; with `keep` false it is closed at once and
// its port left unused.
inline int Listen(int& port, bool keep = true) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(fd, 8);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    if (!keep) {
        ::close(fd);
        return -1;
    }
    return fd;
}

inline int UnusedPort() {
    int port = 0;
    Listen(port, false);
    return port;
}

inline bool WaitForListener(int port) {
    return WaitUntil([port] {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_in address{
            AF_INET, htons(static_cast<uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
        const bool connected =
            ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        return connected;
    });
}

// Serves one connection; the test writes the reply piece by piece.
class ScriptedServer {
  public:
    ScriptedServer() : listener_(Listen(port_)) {}
    ~ScriptedServer() {
        Hangup();
        ::close(listener_);
    }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    // Accepts the client and reads its request head.
    bool Accept() {
        pollfd waiting{listener_, POLLIN, 0};
        if (::poll(&waiting, 1, 10000) != 1) {
            return false;
        }
        client_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        std::string head;
        char buffer[4096];
        ssize_t got = 1;
        while (got > 0 && head.find("\r\n\r\n") == std::string::npos) {
            got = ::recv(client_, buffer, sizeof buffer, 0);
            head.append(buffer, static_cast<size_t>(std::max<ssize_t>(got, 0)));
        }
        return got > 0;
    }
    bool Send(const std::string& bytes) {
        return ::send(client_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }
    void Hangup() {
        if (client_ >= 0) {
            ::close(client_);
            client_ = -1;
        }
    }

  private:
    int port_ = 0;
    int listener_;
    int client_ = -1;
};

// A program started for the test, silenced, and ended with it.
class ChildProcess {
  public:
    explicit ChildProcess(std::vector<std::string> argv) {
        std::vector<char*> pointers;
        for (std::string& argument : argv) {
            pointers.push_back(argument.data());
        }
        pointers.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&pid_, pointers[0], &actions, nullptr, pointers.data(), nullptr) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
    }
    ~ChildProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

  private:
    pid_t pid_ = -1;
};

}  // namespace netfetch_test
