#include "raw_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace tessellon::test {

RawClient::RawClient(int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd_ < 0 || ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        const std::string reason = std::strerror(errno);
        if (fd_ >= 0) {
            ::close(fd_);
        }
        throw std::runtime_error(reason);
    }
}

RawClient::~RawClient() {
    ::close(fd_);
}

void RawClient::Send(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) {
            throw std::runtime_error(std::string("send: ") + std::strerror(errno));
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

void RawClient::SendGet(std::string_view target, bool close) {
    Send("GET " + std::string(target) + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
         (close ? "Connection: close\r\n" : "") + "\r\n");
}

bool RawClient::Fill(int timeoutMs, End& end) {
    pollfd fds{fd_, POLLIN, 0};
    if (::poll(&fds, 1, timeoutMs) <= 0) {
        end = End::Timeout;
        return false;
    }
    char chunk[64 * 1024];
    const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
    if (n > 0) {
        buffer_.append(chunk, static_cast<std::size_t>(n));
        return true;
    }
    end = n == 0 ? End::Closed : End::Reset;
    return false;
}

RawClient::End RawClient::ReadUntilEnd(std::string& received, int timeoutMs) {
    End end;
    while (Fill(timeoutMs, end)) {
    }
    received += buffer_;
    buffer_.clear();
    return end;
}

RawClient::End RawClient::ReadAtLeast(std::size_t count, std::string& received, int timeoutMs) {
    End end = End::Timeout;
    while (buffer_.size() < count && Fill(timeoutMs, end)) {
    }
    received += buffer_;
    buffer_.clear();
    return end;
}

RawClient::Reply RawClient::ReadReply(int timeoutMs) {
    End end;
    std::size_t headEnd;
    while ((headEnd = buffer_.find("\r\n\r\n")) == std::string::npos) {
        if (!Fill(timeoutMs, end)) {
            throw std::runtime_error("connection ended before a reply head");
        }
    }
    Reply reply;
    reply.head = buffer_.substr(0, headEnd + 4);
    reply.status = std::atoi(reply.head.c_str() + reply.head.find(' ') + 1);
    const std::size_t length = reply.head.find("\r\nContent-Length: ");
    const std::size_t size = length == std::string::npos
                                 ? 0
                                 : std::strtoul(reply.head.c_str() + length + 18, nullptr, 10);
    while (buffer_.size() < headEnd + 4 + size) {
        if (!Fill(timeoutMs, end)) {
            throw std::runtime_error("connection ended inside a reply body");
        }
    }
    reply.body = buffer_.substr(headEnd + 4, size);
    buffer_.erase(0, headEnd + 4 + size);
    return reply;
}

}  // namespace tessellon::test
