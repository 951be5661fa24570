#include <pthread.h>
#include <signal.h>

#include <system_error>

#include "transfer.h"

namespace netfetch {

std::atomic<int> g_runningTransfers{0};

namespace {

// Trivially destructible, so it can still be read by CDownManager objects
// that other static destructors tear down after the engine is gone.
std::atomic<bool> g_engineGone{false};

// curl_multi_poll returns earlier whenever libcurl has a timer due or a
// caller wakes it, so this only bounds an idle wait.
constexpr int kIdleWaitMs = 10000;

std::string ExportCookies(CURL* easy) {
    curl_slist* raw = nullptr;
    if (curl_easy_getinfo(easy, CURLINFO_COOKIELIST, &raw) != CURLE_OK) {
        return {};
    }
    const Slist list(raw);
    std::string lines;
    for (const curl_slist* item = list.get(); item != nullptr; item = item->next) {
        lines += item->data;
        lines += '\n';
    }
    return lines;
}

void MarkFailed(CDownManager::Transfer& transfer, const char* reason) {
    std::lock_guard lock(transfer.mutex);
    if (transfer.state == CDownManager::Transfer::State::kRunning) {
        transfer.state = CDownManager::Transfer::State::kFailed;
        transfer.failure = reason;
        std::vector<char>().swap(transfer.data);
    }
}

// One sentence a user can act on: the site's own status, or what kept the
// reply from arriving whole.
std::string FailureText(CURLcode result, long status, bool overCap) {
    if (overCap) {
        return "the reply is larger than " +
               std::to_string(CDownManager::kMaxResponseBytes / (1024 * 1024)) + " MB";
    }
    if (result == CURLE_OK || result == CURLE_HTTP_RETURNED_ERROR) {
        return "the site answered HTTP status " + std::to_string(status);
    }
    if (result == CURLE_OPERATION_TIMEDOUT) {
        return "the site answered too slowly";
    }
    return curl_easy_strerror(result);
}

}  // namespace

TransferEngine* TransferEngine::Get() {
    if (g_engineGone.load(std::memory_order_acquire)) {
        return nullptr;
    }
    static TransferEngine engine;
    return engine.thread_.joinable() ? &engine : nullptr;
}

TransferEngine::TransferEngine() {
    globalInit_ = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    if (!globalInit_) {
        return;
    }
    multi_.reset(curl_multi_init());
    if (!multi_) {
        return;
    }
    // The I/O thread inherits a full signal mask: the host's handlers run on
    // its own threads, and a write to a closed socket gives EPIPE instead of
    // a SIGPIPE that would end the process.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    try {
        thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        // Get() reports the engine as unavailable; DownLoadFile answers 0.
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

TransferEngine::~TransferEngine() {
    g_engineGone.store(true, std::memory_order_release);
    if (thread_.joinable()) {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        curl_multi_wakeup(multi_.get());
        thread_.join();
    }
    FailEverything();
    multi_.reset();
    if (globalInit_) {
        curl_global_cleanup();
    }
}

bool TransferEngine::Start(std::shared_ptr<CDownManager::Transfer> transfer) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_) {
            return false;
        }
        commands_.push_back({true, std::move(transfer)});
    }
    curl_multi_wakeup(multi_.get());
    return true;
}

void TransferEngine::Cancel(std::shared_ptr<CDownManager::Transfer> transfer) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_) {
            return;
        }
        commands_.push_back({false, std::move(transfer)});
    }
    curl_multi_wakeup(multi_.get());
}

void TransferEngine::Run() {
    std::vector<Command> commands;
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_) {
                return;
            }
            commands.swap(commands_);
        }
        Apply(commands);
        commands.clear();

        int running = 0;
        curl_multi_perform(multi_.get(), &running);
        int queued = 0;
        while (const CURLMsg* message = curl_multi_info_read(multi_.get(), &queued)) {
            if (message->msg != CURLMSG_DONE) {
                continue;
            }
            // Finish removes the handle, which invalidates the message.
            CURL* easy = message->easy_handle;
            const CURLcode result = message->data.result;
            CDownManager::Transfer* transfer = nullptr;
            curl_easy_getinfo(easy, CURLINFO_PRIVATE, &transfer);
            Finish(transfer, result);
        }
        curl_multi_poll(multi_.get(), nullptr, 0, kIdleWaitMs, nullptr);
    }
}

void TransferEngine::Apply(std::vector<Command>& commands) {
    for (Command& command : commands) {
        CDownManager::Transfer* transfer = command.transfer.get();
        if (!command.start) {
            if (active_.count(transfer) != 0) {
                Detach(transfer);
            }
            continue;
        }
        if (curl_multi_add_handle(multi_.get(), transfer->easy.get()) != CURLM_OK) {
            MarkFailed(*transfer, "the transfer could not be started");
            transfer->easy.reset();
            transfer->ReleaseSlot();
            continue;
        }
        active_.emplace(transfer, std::move(command.transfer));
    }
}

void TransferEngine::Finish(CDownManager::Transfer* transfer, CURLcode result) {
    long status = 0;
    curl_easy_getinfo(transfer->easy.get(), CURLINFO_RESPONSE_CODE, &status);
    std::string cookies = ExportCookies(transfer->easy.get());
    {
        std::lock_guard lock(transfer->mutex);
        if (transfer->state == CDownManager::Transfer::State::kRunning && !transfer->cancelled) {
            if (result == CURLE_OK && status > 0 && status < 400 && !transfer->overCap) {
                // Room for the terminator was reserved with the data.
                transfer->data.push_back('\0');
                transfer->state = CDownManager::Transfer::State::kDone;
            } else {
                transfer->state = CDownManager::Transfer::State::kFailed;
                transfer->failure = FailureText(result, status, transfer->overCap);
                std::vector<char>().swap(transfer->data);
            }
        }
        transfer->httpStatus = status;
        transfer->cookies = std::move(cookies);
        transfer->cookiesExported = true;
    }
    Detach(transfer);
}

void TransferEngine::Detach(CDownManager::Transfer* transfer) {
    curl_multi_remove_handle(multi_.get(), transfer->easy.get());
    transfer->easy.reset();
    transfer->ReleaseSlot();
    // May destroy the transfer when its CDownManager has already let go.
    active_.erase(transfer);
}

void TransferEngine::FailEverything() {
    for (auto& [transfer, owner] : active_) {
        curl_multi_remove_handle(multi_.get(), transfer->easy.get());
        MarkFailed(*transfer, "the program is ending");
        transfer->easy.reset();
        transfer->ReleaseSlot();
    }
    active_.clear();
    for (Command& command : commands_) {
        if (command.start) {
            MarkFailed(*command.transfer, "the program is ending");
            command.transfer->easy.reset();
            command.transfer->ReleaseSlot();
        }
    }
    commands_.clear();
}

}  // namespace netfetch
