#include "script_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

namespace tessellon::test {

TServerScript& TServerScript::ReadRequest() {
    steps_.push_back({TStep::Kind::ReadRequest, {}});
    return *this;
}

TServerScript& TServerScript::Send(std::string bytes) {
    steps_.push_back({TStep::Kind::Send, std::move(bytes)});
    return *this;
}

TServerScript& TServerScript::Drip(std::string bytes, std::size_t piece, int pauseMs) {
    steps_.push_back({TStep::Kind::Send, std::move(bytes), pauseMs, piece});
    return *this;
}

TServerScript& TServerScript::Sleep(int ms) {
    steps_.push_back({TStep::Kind::Sleep, {}, ms});
    return *this;
}

TServerScript& TServerScript::Close() {
    steps_.push_back({TStep::Kind::Close, {}});
    return *this;
}

TServerScript& TServerScript::Reset() {
    steps_.push_back({TStep::Kind::Reset, {}});
    return *this;
}

int ListenOnLoopback(int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 64) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port = ntohs(address.sin_port);
    return fd;
}

void SendAll(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return;  // the client went away; its side of the test reports that
        }
        sent += static_cast<std::size_t>(n);
    }
}

std::string ReadHttpRequest(int fd) {
    std::string request;
    std::size_t wanted = std::string::npos;
    char buffer[4096];
    while (request.size() < wanted) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            break;
        }
        request.append(buffer, static_cast<std::size_t>(n));
        const std::size_t end = request.find("\r\n\r\n");
        if (wanted == std::string::npos && end != std::string::npos) {
            wanted = end + 4;
            const std::size_t length = request.find("\r\nContent-Length: ");
            if (length != std::string::npos && length < end) {
                wanted += std::stoul(request.substr(length + 18));
            }
        }
    }
    return request;
}

TScriptServer::TScriptServer(std::vector<TServerScript> scripts, std::size_t pieceSize)
    : scripts_(std::move(scripts)), pieceSize_(pieceSize) {
    listener_ = ListenOnLoopback(port_);
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

TScriptServer::~TScriptServer() {
    {
        const std::lock_guard<std::mutex> guard(lock_);
        stop_ = true;
        ::shutdown(listener_, SHUT_RDWR);
        for (const int fd : openSockets_) {
            ::shutdown(fd, SHUT_RDWR);
        }
    }
    stopped_.notify_all();
    acceptor_.join();
    for (std::thread& thread : threads_) {
        thread.join();
    }
    for (const int fd : openSockets_) {
        ::close(fd);
    }
    ::close(listener_);
}

std::string TScriptServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> TScriptServer::Requests() const {
    const std::lock_guard<std::mutex> guard(lock_);
    return requests_;
}

void TScriptServer::AcceptLoop() {
    while (!stop_) {
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;  // woken by the shutdown in the destructor, or interrupted
        }
        const auto index = static_cast<std::size_t>(accepted_++);
        if (index >= scripts_.size()) {
            ::close(fd);
            continue;
        }
        const std::lock_guard<std::mutex> guard(lock_);
        openSockets_.push_back(fd);
        threads_.emplace_back([this, fd, index] { Run(fd, scripts_[index]); });
    }
}

void TScriptServer::Pause(int ms) {
    std::unique_lock<std::mutex> guard(lock_);
    stopped_.wait_for(guard, std::chrono::milliseconds(ms), [this] { return stop_.load(); });
}

void TScriptServer::Run(int fd, const TServerScript& script) {
    for (const TServerScript::TStep& step : script.Steps()) {
        if (stop_) {
            return;
        }
        switch (step.kind) {
            case TServerScript::TStep::Kind::ReadRequest: {
                std::string request = ReadHttpRequest(fd);
                const std::lock_guard<std::mutex> guard(lock_);
                requests_.push_back(std::move(request));
                break;
            }
            case TServerScript::TStep::Kind::Send: {
                const std::size_t piece = step.piece > 0 ? step.piece : pieceSize_;
                if (piece == 0) {
                    SendAll(fd, step.bytes);
                    break;
                }
                for (std::size_t at = 0; at < step.bytes.size() && !stop_; at += piece) {
                    SendAll(fd, step.bytes.substr(at, piece));
                    Pause(step.ms);
                }
                break;
            }
            case TServerScript::TStep::Kind::Sleep:
                Pause(step.ms);
                break;
            case TServerScript::TStep::Kind::Reset: {
                const linger abort{1, 0};
                ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
                const std::lock_guard<std::mutex> guard(lock_);
                openSockets_.erase(std::find(openSockets_.begin(), openSockets_.end(), fd));
                ::close(fd);
                return;
            }
            case TServerScript::TStep::Kind::Close:
                // The socket itself stays until the server goes, so no other
                // connection can take its number; the peer sees the close.
                ::shutdown(fd, SHUT_RDWR);
                return;
        }
    }
}

}  // namespace tessellon::test
