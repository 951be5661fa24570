#include "fixture_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace testing_support {
namespace {

bool SendAll(int socket, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t sent = ::send(socket, data, size, MSG_NOSIGNAL);
        if (sent <= 0) {
            return false;
        }
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

bool SendAll(int socket, const std::string& text) {
    return SendAll(socket, text.data(), text.size());
}

const char* ReasonPhrase(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 404:
            return "Not Found";
        case 500:
            return "Internal Server Error";
        default:
            return "Status";
    }
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

FixtureServer::FixtureServer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) {
        throw std::runtime_error("fixture server: socket failed");
    }
    int one = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 256) != 0) {
        ::close(listener_);
        throw std::runtime_error("fixture server: cannot listen on 127.0.0.1");
    }
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

FixtureServer::~FixtureServer() {
    Stop();
}

std::string FixtureServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void FixtureServer::Route(const std::string& target, FixtureReply reply) {
    std::lock_guard lock(mutex_);
    routes_[target] = std::move(reply);
}

void FixtureServer::SetHandler(Handler handler) {
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
}

std::vector<FixtureRequest> FixtureServer::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<std::string> FixtureServer::Targets() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> targets;
    for (const auto& request : requests_) {
        targets.push_back(request.target);
    }
    return targets;
}

void FixtureServer::ClearRequests() {
    std::lock_guard lock(mutex_);
    requests_.clear();
}

void FixtureServer::Stop() {
    if (stopping_.exchange(true)) {
        return;
    }
    stopped_.notify_all();
    if (acceptor_.joinable()) {
        acceptor_.join();
    }
    std::vector<std::thread> workers;
    {
        std::lock_guard lock(mutex_);
        workers.swap(workers_);
    }
    for (auto& worker : workers) {
        worker.join();
    }
    ::close(listener_);
}

bool FixtureServer::WaitTrickled(long bytes) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (trickled_.load() < bytes) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

bool FixtureServer::WaitUnlessStopping(int milliseconds) {
    std::unique_lock lock(mutex_);
    return !stopped_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                              [this] { return stopping_.load(); });
}

void FixtureServer::AcceptLoop() {
    while (!stopping_) {
        pollfd waiting{listener_, POLLIN, 0};
        if (::poll(&waiting, 1, 50) <= 0) {
            continue;
        }
        const int socket = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (socket < 0) {
            continue;
        }
        std::lock_guard lock(mutex_);
        workers_.emplace_back([this, socket] {
            ++active_;
            Serve(socket);
            ::close(socket);
            --active_;
        });
    }
}

FixtureReply FixtureServer::Answer(const FixtureRequest& request) {
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
    auto route = routes_.find(request.target);
    if (route != routes_.end()) {
        return route->second;
    }
    if (handler_) {
        return handler_(request);
    }
    FixtureReply missing;
    missing.status = 404;
    missing.body = "not found";
    return missing;
}

void FixtureServer::Serve(int socket) {
    int one = 1;
    ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::string received;
    char chunk[16384];
    // Serve requests on this connection until the client closes it.
    while (!stopping_) {
        size_t header_end = received.find("\r\n\r\n");
        while (header_end == std::string::npos) {
            pollfd waiting{socket, POLLIN, 0};
            if (::poll(&waiting, 1, 50) == 0) {
                if (stopping_) {
                    return;
                }
                continue;
            }
            const ssize_t got = ::recv(socket, chunk, sizeof chunk, 0);
            if (got <= 0) {
                return;
            }
            received.append(chunk, static_cast<size_t>(got));
            header_end = received.find("\r\n\r\n");
        }
        FixtureRequest request;
        const std::string head = received.substr(0, header_end);
        received.erase(0, header_end + 4);
        size_t line_end = head.find("\r\n");
        const std::string request_line = head.substr(0, line_end);
        const size_t first_space = request_line.find(' ');
        const size_t second_space = request_line.find(' ', first_space + 1);
        request.method = request_line.substr(0, first_space);
        request.target = request_line.substr(first_space + 1, second_space - first_space - 1);
        while (line_end != std::string::npos) {
            const size_t start = line_end + 2;
            line_end = head.find("\r\n", start);
            const std::string line = head.substr(
                start, line_end == std::string::npos ? std::string::npos : line_end - start);
            const size_t colon = line.find(':');
            if (colon == std::string::npos) {
                continue;
            }
            size_t value_start = colon + 1;
            while (value_start < line.size() && line[value_start] == ' ') {
                ++value_start;
            }
            request.headers[Lower(line.substr(0, colon))] = line.substr(value_start);
        }
        const size_t body_length =
            std::strtoul(request.Header("content-length").c_str(), nullptr, 10);
        while (received.size() < body_length) {
            const ssize_t got = ::recv(socket, chunk, sizeof chunk, 0);
            if (got <= 0) {
                return;
            }
            received.append(chunk, static_cast<size_t>(got));
        }
        request.body = received.substr(0, body_length);
        received.erase(0, body_length);

        const FixtureReply reply = Answer(request);
        if (reply.delayMs > 0 && !WaitUnlessStopping(reply.delayMs)) {
            return;
        }
        const bool keep_alive = !reply.omitLength && reply.stallAfterBytes < 0 &&
                                reply.trickleMs == 0 &&
                                Lower(request.Header("connection")) != "close";
        std::string head_out =
            "HTTP/1.1 " + std::to_string(reply.status) + " " + ReasonPhrase(reply.status) + "\r\n";
        head_out += "Content-Type: " + reply.contentType + "\r\n";
        for (const auto& [name, value] : reply.headers) {
            head_out += name + ": " + value + "\r\n";
        }
        if (reply.chunked) {
            head_out += "Transfer-Encoding: chunked\r\n";
        } else if (!reply.omitLength) {
            head_out += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
        }
        head_out += keep_alive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
        if (!SendAll(socket, head_out)) {
            return;
        }
        if (reply.stallAfterBytes >= 0) {
            const size_t sent =
                std::min(reply.body.size(), static_cast<size_t>(reply.stallAfterBytes));
            SendAll(socket, reply.body.data(), sent);
            while (WaitUnlessStopping(1000)) {
            }
            return;
        }
        if (reply.trickleMs > 0) {
            for (const char byte : reply.body) {
                if (!WaitUnlessStopping(reply.trickleMs) || !SendAll(socket, &byte, 1)) {
                    return;
                }
                ++trickled_;
            }
            ::shutdown(socket, SHUT_WR);
            return;
        }
        if (reply.chunked) {
            const size_t piece = 4096;
            for (size_t offset = 0; offset < reply.body.size(); offset += piece) {
                const size_t size = std::min(piece, reply.body.size() - offset);
                char size_line[32];
                std::snprintf(size_line, sizeof size_line, "%zx\r\n", size);
                if (!SendAll(socket, size_line) ||
                    !SendAll(socket, reply.body.data() + offset, size) ||
                    !SendAll(socket, "\r\n")) {
                    return;
                }
            }
            if (!SendAll(socket, "0\r\n\r\n")) {
                return;
            }
        } else if (!SendAll(socket, reply.body)) {
            return;
        }
        if (!keep_alive) {
            ::shutdown(socket, SHUT_WR);
            return;
        }
    }
}

}  // namespace testing_support
