// Helpers for the netfetch tests: bounded waits, a server the test feeds by
// hand, and child processes for the proxies.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "netfetch.h"

namespace netfetch_test {

using namespace std::chrono_literals;

// Polls `condition` until it holds or `limit` passes; answers its last value.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = 10s);

// Waits for the transfer to end and answers its final percent (100 or -1),
// or the last running value when it did not end in time.
int WaitForEnd(const CDownManager& fetch, std::chrono::milliseconds limit = 10s);

std::string DataOf(CDownManager& fetch);

// A 127.0.0.1 port that nothing listens on right now.
int UnusedPort();
bool WaitForListener(int port, std::chrono::milliseconds limit = 10s);

// Serves one connection; the test writes the reply piece by piece.
class ScriptedServer {
  public:
    ScriptedServer();
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    std::string Url(const std::string& path) const;
    // Accepts the client and reads its request head.
    bool Accept(std::chrono::milliseconds limit = 10s);
    bool Send(const std::string& bytes);
    void Hangup();

  private:
    int listener_ = -1;
    int client_ = -1;
    int port_ = 0;
};

// A program started for the test and ended with it.
class ChildProcess {
  public:
    explicit ChildProcess(const std::vector<std::string>& argv);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Running() const { return pid_ > 0; }

  private:
    pid_t pid_ = -1;
};

// A fresh directory under the system's temporary folder, removed at the end.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string Write(const std::string& name, const std::string& text) const;

  private:
    std::string path_;
};

}  // namespace netfetch_test
