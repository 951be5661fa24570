// The indexer's HTTP side for serve and daemon --serve: an HTTP server on its
// own threads that checks requests, answers the capabilities itself and
// queues everything else for the loop that owns the core, which calls Poll()
// whenever WakeFd() is readable or NextPollIn() has passed.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "cli_context.h"

namespace cli {

inline constexpr const char kDefaultListen[] = "127.0.0.1:9117";

class IndexerServer {
  public:
    // Reads the indexer's settings (making the API key on the first start),
    // opens the catalogue and listens on `listen` ("ADDR:PORT"; port 0 picks
    // a free one). Null with a sentence when any of it fails.
    static std::unique_ptr<IndexerServer> Start(CliContext& context, const std::string& listen,
                                                std::string& error);
    // Stops listening, then answers every request still open.
    ~IndexerServer();
    IndexerServer(const IndexerServer&) = delete;
    IndexerServer& operator=(const IndexerServer&) = delete;

    int WakeFd() const;
    void Poll();
    std::optional<std::chrono::milliseconds> NextPollIn() const;

    // Prints the API address and key on stdout, and on stderr a warning
    // when the address is reachable from other machines.
    void Announce() const;

  private:
    struct Impl;
    explicit IndexerServer(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};

// Splits "ADDR:PORT" ("[v6]:PORT" for IPv6); false when it is not one.
bool SplitListenAddress(const std::string& listen, std::string& host, int& port);
// True for addresses only this machine can reach.
bool IsLoopbackHost(const std::string& host);

}  // namespace cli
