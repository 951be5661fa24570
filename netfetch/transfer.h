// Internal to netfetch: the state one request shares between the caller's
// thread and the I/O thread, and the engine that drives every request.
#pragma once

#include <curl/curl.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "netfetch.h"

namespace netfetch {

struct EasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct MultiDeleter {
    void operator()(CURLM* handle) const { curl_multi_cleanup(handle); }
};
struct SlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using MultiHandle = std::unique_ptr<CURLM, MultiDeleter>;
using Slist = std::unique_ptr<curl_slist, SlistDeleter>;
using UrlHandle = std::unique_ptr<CURLU, UrlDeleter>;

// Counts the process's running transfers for IsCanDownNow.
extern std::atomic<int> g_runningTransfers;

}  // namespace netfetch

struct CDownManager::Transfer {
    enum class State { kRunning, kDone, kFailed };

    // The caller's thread configures these before handing the transfer to
    // the engine; from then on only the I/O thread touches them.
    netfetch::Slist headers;
    netfetch::EasyHandle easy;

    // Everything below is shared with the caller's thread.
    mutable std::mutex mutex;
    State state = State::kRunning;
    bool cancelled = false;
    bool overCap = false;
    std::string failure;     // why the transfer failed, once it has
    long httpStatus = 0;     // the reply's status, once it ended
    std::vector<char> data;  // once done: the body plus one zero byte
    int64_t received = 0;    // decoded body bytes
    int64_t wireNow = 0;     // body bytes as sent, before content decoding
    int64_t wireTotal = -1;  // Content-Length, -1 when unknown
    // Lets an unknown-length percent move on every poll that sees new bytes.
    int64_t receivedAtLastPoll = 0;
    int unknownLengthPercent = 0;
    // The cookie engine's lines, exported when the transfer ended.
    std::string cookies;
    bool cookiesExported = false;

    // Set while the transfer counts against the process-wide limit; whoever
    // clears it (the I/O thread on completion, the caller on Close) gives the
    // slot back.
    std::atomic<bool> holdsSlot{false};

    void ReleaseSlot() {
        if (holdsSlot.exchange(false)) {
            netfetch::g_runningTransfers.fetch_sub(1);
        }
    }
};

namespace netfetch {

// One libcurl multi handle driven by one background thread, created on first
// use and stopped when the library is unloaded.
class TransferEngine {
  public:
    // Null once the library is being unloaded, or when the engine could not
    // start.
    static TransferEngine* Get();

    // Hands a configured transfer to the I/O thread. False when the engine is
    // stopping; the transfer is then left untouched.
    bool Start(std::shared_ptr<CDownManager::Transfer> transfer);
    // Asks the I/O thread to drop a transfer the caller has already marked
    // cancelled.
    void Cancel(std::shared_ptr<CDownManager::Transfer> transfer);

    TransferEngine(const TransferEngine&) = delete;
    TransferEngine& operator=(const TransferEngine&) = delete;

  private:
    struct Command {
        bool start;
        std::shared_ptr<CDownManager::Transfer> transfer;
    };

    TransferEngine();
    ~TransferEngine();

    void Run();
    void Apply(std::vector<Command>& commands);
    void Finish(CDownManager::Transfer* transfer, CURLcode result);
    void Detach(CDownManager::Transfer* transfer);
    void FailEverything();

    bool globalInit_ = false;
    MultiHandle multi_;
    std::mutex mutex_;
    bool stopping_ = false;
    std::vector<Command> commands_;
    // Owned by the I/O thread: the transfers inside the multi handle.
    std::unordered_map<CDownManager::Transfer*, std::shared_ptr<CDownManager::Transfer>> active_;
    std::thread thread_;
};

}  // namespace netfetch
