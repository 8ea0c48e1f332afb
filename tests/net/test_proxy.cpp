#include "test_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "loopback_server.h"

namespace tessellon::test {

namespace {

// "GET http://host:port/path HTTP/1.1" -> the origin's port and the request
// in origin form, without proxy credentials.
std::string OriginRequest(const std::string& request, int& port) {
    const std::size_t targetStart = request.find(' ') + 1;
    const std::size_t hostStart = request.find("://", targetStart) + 3;
    const std::size_t pathStart = request.find('/', hostStart);
    const std::size_t colon = request.find(':', hostStart);
    port = colon < pathStart ? std::stoi(request.substr(colon + 1)) : 80;
    std::string origin = request.substr(0, targetStart) + request.substr(pathStart);
    const std::size_t credentials = origin.find("Proxy-Authorization: ");
    if (credentials != std::string::npos) {
        origin.erase(credentials, origin.find("\r\n", credentials) + 2 - credentials);
    }
    return origin;
}

// A socket connected to the port on 127.0.0.1; -1 when nobody listens.
int ConnectToOrigin(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Moves what one side sent to the other; false once it closed.
bool Relay(int from, int to) {
    char buffer[16384];
    const ssize_t n = ::recv(from, buffer, sizeof buffer, 0);
    if (n <= 0) {
        return false;
    }
    SendAll(to, std::string(buffer, static_cast<std::size_t>(n)));
    return true;
}

std::string Fetch(int port, const std::string& request) {
    const int fd = ConnectToOrigin(port);
    std::string reply;
    if (fd >= 0) {
        SendAll(fd, request);
        char buffer[4096];
        ssize_t n;
        while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) {
            reply.append(buffer, static_cast<std::size_t>(n));
        }
        ::close(fd);
    }
    return reply;
}

}  // namespace

TTestProxy::TTestProxy(std::string connectRefusal)
    : connectRefusal_(std::move(connectRefusal)),
      server_(std::make_unique<TLoopbackServer>([this](int fd, int) { Serve(fd); })) {}

std::vector<std::string> TTestProxy::Requests() const {
    const std::lock_guard<std::mutex> guard(lock_);
    return requests_;
}

void TTestProxy::Serve(int client) {
    for (;;) {
        const std::string request = ReadHttpRequest(client);
        if (request.empty() || server_->Stopping()) {
            return;
        }
        {
            const std::lock_guard<std::mutex> guard(lock_);
            requests_.push_back(request);
        }
        if (request.rfind("CONNECT ", 0) == 0) {
            Tunnel(client, request);
            return;
        }
        int port = 0;
        const std::string origin = OriginRequest(request, port);
        SendAll(client, Fetch(port, origin));
    }
}

}  // namespace tessellon::test

namespace tessellon::test {

void TTestProxy::Tunnel(int client, const std::string& request) {
    if (!connectRefusal_.empty()) {
        SendAll(client, "HTTP/1.1 " + connectRefusal_ +
                            "\r\nProxy-Authenticate: Basic realm=\"test\"\r\n"
                            "Content-Length: 0\r\n\r\n");
        return;
    }
    // "CONNECT host:port HTTP/1.1"
    const std::size_t colon = request.find(':');
    const int origin = ConnectToOrigin(std::stoi(request.substr(colon + 1)));
    if (origin < 0) {
        SendAll(client, "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n");
        return;
    }
    SendAll(client, "HTTP/1.1 200 Connection established\r\n\r\n");
    pollfd sides[] = {{client, POLLIN, 0}, {origin, POLLIN, 0}};
    while (!server_->Stopping() && ::poll(sides, 2, 100) >= 0) {
        if ((sides[0].revents != 0 && !Relay(client, origin)) ||
            (sides[1].revents != 0 && !Relay(origin, client))) {
            break;
        }
    }
    ::close(origin);
}

}  // namespace tessellon::test
