#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <string_view>

#include "netfetch.h"
#include "transfer.h"

using netfetch::TransferEngine;
using Transfer = CDownManager::Transfer;

namespace {

std::atomic<_tagProxyInfo*> g_proxy{nullptr};
std::atomic<int> g_maxTransfers{CDownManager::kDefaultMaxTransfers};
std::atomic<long> g_lowSpeedBytes{CDownManager::TransferLimits{}.lowSpeedBytes};
std::atomic<long> g_lowSpeedSeconds{CDownManager::TransferLimits{}.lowSpeedSeconds};
std::atomic<long> g_totalSeconds{CDownManager::TransferLimits{}.totalSeconds};

constexpr long kMaxRedirects = 5;
// A dead site should fail within a poll cycle or two; once connected, the
// transfer limits and the callers' own stall rules decide how long a slow
// answer may take.
constexpr long kConnectTimeoutMs = 15000;
constexpr char kUserAgent[] = "Mozilla/5.0 (compatible; Tessaro/0.1)";

bool IsRunning(const Transfer& transfer) {
    return transfer.state == Transfer::State::kRunning && !transfer.cancelled;
}

size_t OnBody(char* bytes, size_t size, size_t count, void* context) {
    auto* transfer = static_cast<Transfer*>(context);
    const size_t length = size * count;
    curl_off_t announced = -1;
    curl_easy_getinfo(transfer->easy.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);

    std::lock_guard lock(transfer->mutex);
    if (transfer->cancelled) {
        return 0;
    }
    if (transfer->received + static_cast<int64_t>(length) > CDownManager::kMaxResponseBytes) {
        transfer->overCap = true;
        return 0;
    }
    std::vector<char>& data = transfer->data;
    // One spare byte for the terminator that completion appends.
    const size_t needed = data.size() + length + 1;
    try {
        if (data.capacity() < needed) {
            size_t capacity = std::max(needed, data.capacity() * 2);
            if (data.capacity() == 0 && announced > 0) {
                capacity = std::max(capacity, static_cast<size_t>(announced) + 1);
            }
            data.reserve(
                std::min(capacity, static_cast<size_t>(CDownManager::kMaxResponseBytes) + 1));
        }
        data.insert(data.end(), bytes, bytes + length);
    } catch (const std::bad_alloc&) {
        // Out of memory is a response too large for this process.
        transfer->overCap = true;
        return 0;
    }
    transfer->received += static_cast<int64_t>(length);
    return length;
}

int OnProgress(void* context, curl_off_t wireTotal, curl_off_t wireNow, curl_off_t, curl_off_t) {
    auto* transfer = static_cast<Transfer*>(context);
    std::lock_guard lock(transfer->mutex);
    transfer->wireTotal = wireTotal > 0 ? wireTotal : -1;
    transfer->wireNow = wireNow;
    return transfer->cancelled ? 1 : 0;
}

// Accepts what a browser's address bar would: surrounding blanks are dropped
// and inner spaces (common in links cut from pages) are escaped. Only http
// and https with a host name pass.
bool NormalizeUrl(const char* url, std::string& normalized) {
    if (url == nullptr) {
        return false;
    }
    std::string_view text(url);
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    if (text.empty()) {
        return false;
    }
    normalized.clear();
    for (const char c : text) {
        if (c == ' ') {
            normalized += "%20";
        } else {
            normalized += c;
        }
    }
    const netfetch::UrlHandle parsed(curl_url());
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, normalized.c_str(), 0) != CURLUE_OK) {
        return false;
    }
    char* scheme = nullptr;
    char* host = nullptr;
    const bool parts = curl_url_get(parsed.get(), CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
                       curl_url_get(parsed.get(), CURLUPART_HOST, &host, 0) == CURLUE_OK;
    const bool accepted = parts &&
                          (std::strcmp(scheme, "http") == 0 || std::strcmp(scheme, "https") == 0) &&
                          host[0] != '\0';
    curl_free(scheme);
    curl_free(host);
    return accepted;
}

class OptionSetter {
  public:
    explicit OptionSetter(CURL* easy) : easy_(easy) {}

    template <typename Value>
    void Set(CURLoption option, Value value) {
        if (result_ == CURLE_OK) {
            result_ = curl_easy_setopt(easy_, option, value);
        }
    }
    bool Ok() const { return result_ == CURLE_OK; }

  private:
    CURL* easy_;
    CURLcode result_ = CURLE_OK;
};

// Reads the proxy record as it stands now, so that an edit made in the
// options applies to the next transfer.
void ApplyProxy(OptionSetter& options) {
    const _tagProxyInfo* proxy = g_proxy.load(std::memory_order_acquire);
    long type = -1;
    if (proxy != nullptr && !proxy->strAddr.empty()) {
        switch (proxy->nType) {
            case 1:
                type = CURLPROXY_SOCKS4;
                break;
            case 2:
                type = CURLPROXY_SOCKS4A;
                break;
            // Let the proxy resolve names too, so no lookup leaves this machine.
            case 3:
                type = CURLPROXY_SOCKS5_HOSTNAME;
                break;
            case 4:
                type = CURLPROXY_HTTP;
                break;
            default:
                break;
        }
    }
    if (type < 0) {
        // An empty proxy also keeps libcurl from taking one from the environment.
        options.Set(CURLOPT_PROXY, "");
        return;
    }
    std::string address = proxy->strAddr;
    if (std::count(address.begin(), address.end(), ':') >= 2 && address.front() != '[') {
        address = "[" + address + "]";
    }
    options.Set(CURLOPT_PROXY, address.c_str());
    options.Set(CURLOPT_PROXYTYPE, type);
    if (proxy->nPort > 0 && proxy->nPort <= 65535) {
        options.Set(CURLOPT_PROXYPORT, static_cast<long>(proxy->nPort));
    }
    // The configured proxy applies to every host, whatever NO_PROXY says.
    options.Set(CURLOPT_NOPROXY, "");
    if (proxy->bAuthen != 0) {
        options.Set(CURLOPT_PROXYUSERNAME, proxy->strUser.c_str());
        options.Set(CURLOPT_PROXYPASSWORD, proxy->strPassword.c_str());
    }
}

bool Configure(Transfer& transfer, const std::string& url, const char* referer, const char* body,
               const std::string& cookies) {
    transfer.easy.reset(curl_easy_init());
    if (!transfer.easy) {
        return false;
    }
    transfer.headers.reset(curl_slist_append(nullptr, "Expect:"));
    if (!transfer.headers) {
        return false;
    }
    OptionSetter options(transfer.easy.get());
    options.Set(CURLOPT_URL, url.c_str());
    options.Set(CURLOPT_PRIVATE, static_cast<void*>(&transfer));
    options.Set(CURLOPT_WRITEFUNCTION, &OnBody);
    options.Set(CURLOPT_WRITEDATA, static_cast<void*>(&transfer));
    options.Set(CURLOPT_XFERINFOFUNCTION, &OnProgress);
    options.Set(CURLOPT_XFERINFODATA, static_cast<void*>(&transfer));
    options.Set(CURLOPT_NOPROGRESS, 0L);
    options.Set(CURLOPT_NOSIGNAL, 1L);
    options.Set(CURLOPT_PROTOCOLS_STR, "http,https");
    options.Set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    options.Set(CURLOPT_FOLLOWLOCATION, 1L);
    options.Set(CURLOPT_MAXREDIRS, kMaxRedirects);
    options.Set(CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
    options.Set(CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
    const CDownManager::TransferLimits limits = CDownManager::GetTransferLimits();
    if (limits.lowSpeedBytes > 0 && limits.lowSpeedSeconds > 0) {
        options.Set(CURLOPT_LOW_SPEED_LIMIT, limits.lowSpeedBytes);
        options.Set(CURLOPT_LOW_SPEED_TIME, limits.lowSpeedSeconds);
    }
    options.Set(CURLOPT_TIMEOUT_MS, limits.totalSeconds * 1000);
    options.Set(CURLOPT_TCP_KEEPALIVE, 1L);
    options.Set(CURLOPT_FAILONERROR, 1L);
    options.Set(CURLOPT_MAXFILESIZE_LARGE,
                static_cast<curl_off_t>(CDownManager::kMaxResponseBytes));
    options.Set(CURLOPT_USERAGENT, kUserAgent);
    // libcurl would otherwise hold back a larger form body for up to a
    // second waiting for "100 Continue", which plain servers never send.
    options.Set(CURLOPT_HTTPHEADER, transfer.headers.get());
    if (referer != nullptr && referer[0] != '\0') {
        options.Set(CURLOPT_REFERER, referer);
    }
    if (body != nullptr && body[0] != '\0') {
        // The default content type of a posted body is the form encoding.
        options.Set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(std::strlen(body)));
        options.Set(CURLOPT_COPYPOSTFIELDS, body);
    }
    options.Set(CURLOPT_COOKIEFILE, "");
    size_t start = 0;
    while (start < cookies.size()) {
        size_t end = cookies.find('\n', start);
        if (end == std::string::npos) {
            end = cookies.size();
        }
        const std::string line = cookies.substr(start, end - start);
        if (!line.empty()) {
            options.Set(CURLOPT_COOKIELIST, line.c_str());
        }
        start = end + 1;
    }
    ApplyProxy(options);
    return options.Ok();
}

}  // namespace

CDownManager::CDownManager() = default;

CDownManager::~CDownManager() {
    Close();
}

int CDownManager::DownLoadFile(const char* url, const char* referer, const char* body) {
    if (transfer_) {
        std::lock_guard lock(transfer_->mutex);
        if (IsRunning(*transfer_)) {
            return 0;
        }
    }
    std::string target;
    if (!NormalizeUrl(url, target)) {
        return 0;
    }
    // Starts the I/O thread and libcurl before the first easy handle exists.
    TransferEngine* engine = TransferEngine::Get();
    if (engine == nullptr) {
        return 0;
    }
    // The finished request's cookies go with the next one.
    Close();
    auto transfer = std::make_shared<Transfer>();
    if (!Configure(*transfer, target, referer, body, cookies_)) {
        return 0;
    }
    transfer->holdsSlot = true;
    netfetch::g_runningTransfers.fetch_add(1);
    if (!engine->Start(transfer)) {
        transfer->ReleaseSlot();
        return 0;
    }
    transfer_ = std::move(transfer);
    return 1;
}

std::string CDownManager::GetFailureText() const {
    if (!transfer_) {
        return {};
    }
    std::lock_guard lock(transfer_->mutex);
    return transfer_->failure;
}

long CDownManager::GetHttpStatus() const {
    if (!transfer_) {
        return 0;
    }
    std::lock_guard lock(transfer_->mutex);
    return transfer_->httpStatus;
}

int CDownManager::GetDownPercent() const {
    if (!transfer_) {
        return -1;
    }
    Transfer& transfer = *transfer_;
    std::lock_guard lock(transfer.mutex);
    if (transfer.cancelled || transfer.state == Transfer::State::kFailed) {
        return -1;
    }
    if (transfer.state == Transfer::State::kDone) {
        return 100;
    }
    if (transfer.wireTotal > 0) {
        const int64_t percent = transfer.wireNow * 100 / transfer.wireTotal;
        // Above 0 as soon as anything arrived: callers read 0 as "no data yet".
        return static_cast<int>(std::clamp<int64_t>(percent, transfer.received > 0 ? 1 : 0, 99));
    }
    // Without a length there is no true percentage. The value steps on every
    // poll that finds new bytes, so a caller watching for a value that stops
    // changing sees only a transfer that really stopped.
    if (transfer.received != transfer.receivedAtLastPoll) {
        transfer.receivedAtLastPoll = transfer.received;
        transfer.unknownLengthPercent = transfer.unknownLengthPercent % 99 + 1;
    }
    return transfer.unknownLengthPercent;
}

int64_t CDownManager::GetDownLength() const {
    if (!transfer_) {
        return 0;
    }
    std::lock_guard lock(transfer_->mutex);
    return transfer_->received;
}

int64_t CDownManager::GetDataLength() const {
    if (!transfer_) {
        return 0;
    }
    std::lock_guard lock(transfer_->mutex);
    if (transfer_->state != Transfer::State::kDone || transfer_->cancelled) {
        return 0;
    }
    return static_cast<int64_t>(transfer_->data.size()) - 1;
}

char* CDownManager::GetDataBuf() {
    if (!transfer_) {
        return nullptr;
    }
    std::lock_guard lock(transfer_->mutex);
    if (transfer_->state != Transfer::State::kDone || transfer_->cancelled) {
        return nullptr;
    }
    return transfer_->data.data();
}

size_t CDownManager::CopyTail(char* out, size_t size) const {
    if (!transfer_ || out == nullptr) {
        return 0;
    }
    std::lock_guard lock(transfer_->mutex);
    size_t available = transfer_->data.size();
    if (transfer_->state == Transfer::State::kDone && available > 0) {
        --available;  // the terminator is not part of the response
    }
    const size_t count = std::min(size, available);
    if (count == 0) {
        return 0;
    }
    std::memcpy(out, transfer_->data.data() + available - count, count);
    return count;
}

int CDownManager::IsCanDownNow() const {
    return netfetch::g_runningTransfers.load() < g_maxTransfers.load() ? 1 : 0;
}

void CDownManager::Close() {
    if (!transfer_) {
        return;
    }
    bool cancel = false;
    {
        std::lock_guard lock(transfer_->mutex);
        if (IsRunning(*transfer_)) {
            transfer_->cancelled = true;
            cancel = true;
        } else if (transfer_->cookiesExported) {
            cookies_ = std::move(transfer_->cookies);
            transfer_->cookiesExported = false;
        }
        std::vector<char>().swap(transfer_->data);
    }
    transfer_->ReleaseSlot();
    if (cancel) {
        if (TransferEngine* engine = TransferEngine::Get()) {
            engine->Cancel(std::move(transfer_));
        }
    }
    transfer_.reset();
}

void CDownManager::SetProxyInfo(_tagProxyInfo* info) {
    g_proxy.store(info, std::memory_order_release);
}

void CDownManager::SetTransferLimits(const TransferLimits& limits) {
    // Longer than anyone waits, and small enough to count in milliseconds.
    constexpr long kLongest = 24L * 3600;
    g_lowSpeedBytes.store(std::clamp(limits.lowSpeedBytes, 0L, LONG_MAX));
    g_lowSpeedSeconds.store(std::clamp(limits.lowSpeedSeconds, 0L, kLongest));
    g_totalSeconds.store(std::clamp(limits.totalSeconds, 0L, kLongest));
}

CDownManager::TransferLimits CDownManager::GetTransferLimits() {
    return {g_lowSpeedBytes.load(), g_lowSpeedSeconds.load(), g_totalSeconds.load()};
}

void CDownManager::SetMaxTransfers(int limit) {
    g_maxTransfers.store(std::max(limit, 1));
}

int CDownManager::GetMaxTransfers() {
    return g_maxTransfers.load();
}

int CDownManager::GetRunningTransfers() {
    return netfetch::g_runningTransfers.load();
}
