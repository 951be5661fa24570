// A small HTTP/1.1 server on 127.0.0.1 for tests: replies come from routes
// (exact path with query) or a handler, every request is recorded, and a
// reply can stall to imitate a hung site. It stops by itself when destroyed.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

struct FixtureRequest {
    std::string method;
    std::string target;                          // path with query, as sent
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;

    std::string Header(const std::string& lowerName) const {
        auto it = headers.find(lowerName);
        return it == headers.end() ? std::string() : it->second;
    }
};

struct FixtureReply {
    int status = 200;
    std::string body;
    std::string contentType = "text/html";
    std::vector<std::pair<std::string, std::string>> headers;
    bool chunked = false;       // send the body in chunks without Content-Length
    bool omitLength = false;    // no Content-Length; the body ends with the connection
    long stallAfterBytes = -1;  // >= 0: send the headers and this many body bytes, then hang
    int delayMs = 0;            // wait before answering (bounded by the server's stop)
    int trickleMs = 0;          // > 0: send the body one byte at a time, this far apart
};

class FixtureServer {
  public:
    using Handler = std::function<FixtureReply(const FixtureRequest&)>;

    FixtureServer();
    ~FixtureServer();
    FixtureServer(const FixtureServer&) = delete;
    FixtureServer& operator=(const FixtureServer&) = delete;

    int Port() const { return port_; }
    // "http://127.0.0.1:<port>" followed by `path`.
    std::string Url(const std::string& path = "/") const;

    void Route(const std::string& target, FixtureReply reply);
    // Answers requests that no route matches (404 without one).
    void SetHandler(Handler handler);

    std::vector<FixtureRequest> Requests() const;
    std::vector<std::string> Targets() const;
    void ClearRequests();
    // Connections currently being served.
    int ActiveConnections() const { return active_.load(); }
    // Body bytes sent so far by trickling replies.
    long TrickledBytes() const { return trickled_.load(); }
    // Waits up to 10 s until trickling replies have sent `bytes` in all.
    bool WaitTrickled(long bytes) const;

    // Stops accepting, releases stalled replies and joins every thread.
    void Stop();

  private:
    void AcceptLoop();
    void Serve(int socket);
    FixtureReply Answer(const FixtureRequest& request);
    bool WaitUnlessStopping(int milliseconds);

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> active_{0};
    std::atomic<long> trickled_{0};
    std::thread acceptor_;
    mutable std::mutex mutex_;
    std::condition_variable stopped_;
    std::map<std::string, FixtureReply> routes_;
    Handler handler_;
    std::vector<FixtureRequest> requests_;
    std::vector<std::thread> workers_;
};

}  // namespace testing_support
