#include "loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace tessellon::test {

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

int UnusedPort() {
    int port = 0;
    ::close(ListenOnLoopback(port));
    return port;
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

TLoopbackServer::TLoopbackServer(std::function<void(int fd, int index)> serve)
    : serve_(std::move(serve)) {
    listener_ = ListenOnLoopback(port_);
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

TLoopbackServer::~TLoopbackServer() {
    {
        const std::lock_guard<std::mutex> guard(lock_);
        stop_ = true;
        ::shutdown(listener_, SHUT_RDWR);
        for (const int fd : sockets_) {
            ::shutdown(fd, SHUT_RDWR);
        }
    }
    stopped_.notify_all();
    acceptor_.join();
    for (std::thread& thread : threads_) {
        thread.join();
    }
    for (const int fd : sockets_) {
        ::close(fd);
    }
    ::close(listener_);
}

void TLoopbackServer::Pause(int ms) {
    std::unique_lock<std::mutex> guard(lock_);
    stopped_.wait_for(guard, std::chrono::milliseconds(ms), [this] { return stop_.load(); });
}

void TLoopbackServer::CloseNow(int fd) {
    const std::lock_guard<std::mutex> guard(lock_);
    sockets_.erase(std::find(sockets_.begin(), sockets_.end(), fd));
    ::close(fd);
}

void TLoopbackServer::AcceptLoop() {
    while (!stop_) {
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;  // woken by the shutdown in the destructor, or interrupted
        }
        const int index = accepted_++;
        const std::lock_guard<std::mutex> guard(lock_);
        sockets_.push_back(fd);
        threads_.emplace_back([this, fd, index] { serve_(fd, index); });
    }
}

}  // namespace tessellon::test
