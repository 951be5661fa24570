#include "indexer_server.h"

#include <arpa/inet.h>
#include <malloc.h>

#include <httplib.h>
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "catalogue_query.h"
#include "category_map.h"
#include "feed_xml.h"
#include "indexer_service.h"
#include "indexer_settings.h"
#include "request_queue.h"
#include "torrent_table.h"

namespace cli {
namespace {

constexpr const char kTitle[] = "Tessaro";
constexpr const char kXmlType[] = "application/xml; charset=utf-8";
// The HTTP threads wait this much longer than the loop's own time limits,
// which answer first.
constexpr std::chrono::seconds kPatienceMargin{5};
// Searches without the sites answer at once; this only covers a loop busy
// with others.
constexpr std::chrono::seconds kLocalPatience{30};
constexpr size_t kHttpThreads = 16;
// Free memory the heap keeps rather than giving back. A search opens and
// drops SQLite's temporary tables, whose page caches come and go at the
// heap's top: under glibc's default threshold each search returned those
// pages and faulted them in again, some 30 faults a search.
constexpr int kKeptFreeHeapBytes = 16 << 20;

// The address the client used, when it is a plain host[:port].
std::string ClientVisibleHost(const httplib::Request& request, const std::string& fallback) {
    const std::string host = request.get_header_value("Host");
    const bool plain =
        !host.empty() && host.size() < 256 && std::all_of(host.begin(), host.end(), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' ||
                   c == ':' || c == '[' || c == ']';
        });
    return plain ? host : fallback;
}

// RFC 6266: a plain fallback name and the exact UTF-8 name.
std::string ContentDisposition(const std::string& fileName) {
    std::string plain;
    std::string exact;
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (const char c : fileName) {
        const auto byte = static_cast<unsigned char>(c);
        const bool safe = std::isalnum(byte) || c == '.' || c == '-' || c == '_';
        plain += byte >= 0x20 && byte < 0x7F && c != '"' && c != '\\' ? c : '_';
        if (safe) {
            exact += c;
        } else {
            exact += '%';
            exact += kDigits[byte >> 4];
            exact += kDigits[byte & 0x0F];
        }
    }
    return "attachment; filename=\"" + plain + "\"; filename*=UTF-8''" + exact;
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    std::ostringstream content;
    content << file.rdbuf();
    bytes = content.str();
    return static_cast<bool>(file) || file.eof();
}

}  // namespace

bool SplitListenAddress(const std::string& listen, std::string& host, int& port) {
    const size_t colon = listen.rfind(':');
    if (colon == std::string::npos || colon == 0) {
        return false;
    }
    host = listen.substr(0, colon);
    if (host.front() == '[') {
        if (host.size() < 3 || host.back() != ']') {
            return false;
        }
        host = host.substr(1, host.size() - 2);
    } else if (host.find(':') != std::string::npos) {
        return false;
    }
    const std::string portText = listen.substr(colon + 1);
    const auto [end, status] =
        std::from_chars(portText.data(), portText.data() + portText.size(), port);
    return status == std::errc() && end == portText.data() + portText.size() && port >= 0 &&
           port <= 65535;
}

bool IsLoopbackHost(const std::string& host) {
    in_addr v4{};
    if (inet_pton(AF_INET, host.c_str(), &v4) == 1) {
        return (ntohl(v4.s_addr) >> 24) == 127;
    }
    in6_addr v6{};
    if (inet_pton(AF_INET6, host.c_str(), &v6) == 1) {
        return IN6_IS_ADDR_LOOPBACK(&v6);
    }
    return host == "localhost";
}

struct IndexerServer::Impl {
    torznab::IndexerSettings settings;
    std::unique_ptr<torznab::CCategoryMap> categories;
    torznab::CCatalogueQuery catalogue;
    std::string caps;
    torznab::CRequestQueue queue;
    std::unique_ptr<torznab::CIndexerService> service;
    httplib::Server http;
    std::thread listener;
    std::string host;
    int port = 0;

    std::string Authority() const {
        const std::string shown = host.find(':') != std::string::npos ? "[" + host + "]" : host;
        return shown + ":" + std::to_string(port);
    }

    void Reply(httplib::Response& response, const torznab::ApiError& error, int status = 200) {
        response.status = status;
        response.set_content(torznab::RenderError(error.code, error.description), kXmlType);
    }

    void HandleApi(const httplib::Request& request, httplib::Response& response) {
        auto parsed = torznab::ParseApiRequest(request.params, settings.apiKey);
        if (const auto* error = std::get_if<torznab::ApiError>(&parsed)) {
            Reply(response, *error);
            return;
        }
        torznab::ApiQuery& query = std::get<torznab::ApiQuery>(parsed);
        if (query.function == torznab::Function::kCaps) {
            response.set_content(caps, kXmlType);
            return;
        }
        const bool sites = query.extended || settings.siteSearchAlways;
        const torznab::Answer answer = queue.Submit(
            std::move(query), sites ? settings.siteSearchTime + kPatienceMargin : kLocalPatience);
        if (const auto* error = std::get_if<torznab::ApiError>(&answer)) {
            Reply(response, *error);
            return;
        }
        const auto& feed = std::get<torznab::FeedAnswer>(answer);
        response.set_content(
            torznab::RenderFeed(kTitle, "http://" + ClientVisibleHost(request, Authority()),
                                settings.apiKey, feed.offset, feed.items),
            "application/rss+xml; charset=utf-8");
    }

    void HandleDownload(const httplib::Request& request, httplib::Response& response) {
        const std::optional<std::string> key = torznab::FirstValue(request.params, "apikey");
        if (!key || !torznab::KeyMatches(*key, settings.apiKey)) {
            Reply(response, {torznab::kBadCredentials, "Incorrect user credentials"}, 401);
            return;
        }
        const torznab::Answer answer = queue.Submit(torznab::DownloadWork{request.matches[1]},
                                                    settings.downloadTime + kPatienceMargin);
        if (const auto* error = std::get_if<torznab::ApiError>(&answer)) {
            Reply(response, *error, error->code == torznab::kNoSuchItem ? 404 : 502);
            return;
        }
        const auto& file = std::get<torznab::FileAnswer>(answer);
        std::string bytes;
        if (!ReadWholeFile(file.path, bytes)) {
            Reply(response, {torznab::kUnknownError, "The torrent file cannot be read"}, 500);
            return;
        }
        response.set_header("Content-Disposition", ContentDisposition(file.fileName));
        response.set_content(std::move(bytes), "application/x-bittorrent");
    }
};

IndexerServer::IndexerServer(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}

std::unique_ptr<IndexerServer> IndexerServer::Start(CliContext& context, const std::string& listen,
                                                    std::string& error) {
    auto impl = std::make_unique<Impl>();
    if (!SplitListenAddress(listen, impl->host, impl->port)) {
        error = "'" + listen + "' is not an address to listen on: write ADDR:PORT";
        return nullptr;
    }
    if (!impl->queue.IsOk()) {
        error = "cannot make the request queue's wake-up descriptor";
        return nullptr;
    }
    if (!torznab::LoadIndexerSettings(context.Config(), impl->settings, error) ||
        !impl->catalogue.Open(CTorrentTable::GetDatabasePath(), error)) {
        return nullptr;
    }
    impl->categories = std::make_unique<torznab::CCategoryMap>(context.Config());
    impl->caps = torznab::RenderCaps(torznab::MakeCaps(kTitle, *impl->categories));
    impl->service = std::make_unique<torznab::CIndexerService>(
        context.Host(), context.Config(), *impl->categories, impl->catalogue, impl->settings);

    mallopt(M_TRIM_THRESHOLD, kKeptFreeHeapBytes);
    Impl* self = impl.get();
    impl->http.new_task_queue = [] { return new httplib::ThreadPool(kHttpThreads); };
    // An answer goes out in several writes; without this a client that keeps
    // its connection waits for its own delayed acknowledgement before the
    // last one arrives, some 40 ms per request.
    impl->http.set_tcp_nodelay(true);
    impl->http.Get("/api", [self](const httplib::Request& request, httplib::Response& response) {
        self->HandleApi(request, response);
    });
    impl->http.Get(R"(/dl/([0-9a-f]+))",
                   [self](const httplib::Request& request, httplib::Response& response) {
                       self->HandleDownload(request, response);
                   });
    if (impl->port == 0) {
        impl->port = impl->http.bind_to_any_port(impl->host);
    } else if (!impl->http.bind_to_port(impl->host, impl->port)) {
        impl->port = -1;
    }
    if (impl->port <= 0) {
        error = "cannot listen on " + listen;
        return nullptr;
    }
    impl->listener = std::thread([self] { self->http.listen_after_bind(); });
    return std::unique_ptr<IndexerServer>(new IndexerServer(std::move(impl)));
}

IndexerServer::~IndexerServer() {
    m_impl->http.stop();
    // Requests still waiting are answered before the HTTP threads are joined.
    m_impl->service.reset();
    m_impl->queue.Close();
    if (m_impl->listener.joinable()) {
        m_impl->listener.join();
    }
}

int IndexerServer::WakeFd() const {
    return m_impl->queue.WakeFd();
}

void IndexerServer::Poll() {
    m_impl->service->Accept(m_impl->queue.Take());
    m_impl->service->Poll();
}

std::optional<std::chrono::milliseconds> IndexerServer::NextPollIn() const {
    return m_impl->service->NextPollIn();
}

void IndexerServer::Announce() const {
    std::printf("serving the indexer API at http://%s/api\napi key %s\n",
                m_impl->Authority().c_str(), m_impl->settings.apiKey.c_str());
    std::fflush(stdout);
    if (!IsLoopbackHost(m_impl->host)) {
        std::fprintf(stderr,
                     "tessaro-cli: warning: listening on %s, which other machines can reach; "
                     "anyone who learns the API key can search and download through it\n",
                     m_impl->Authority().c_str());
    }
}

}  // namespace cli
