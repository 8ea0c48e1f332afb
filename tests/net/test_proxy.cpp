#include "test_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
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

std::string Fetch(int port, const std::string& request) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string reply;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        SendAll(fd, request);
        char buffer[4096];
        ssize_t n;
        while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) {
            reply.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    return reply;
}

}  // namespace

TTestProxy::TTestProxy()
    : server_(std::make_unique<TLoopbackServer>([this](int fd, int) { Serve(fd); })) {}

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
        int port = 0;
        const std::string origin = OriginRequest(request, port);
        SendAll(client, Fetch(port, origin));
    }
}

}  // namespace tessellon::test
