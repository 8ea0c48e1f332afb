#include "tls_server.h"

#include <csignal>

namespace tessellon::test {

namespace {

struct TFreeSsl {
    void operator()(SSL* ssl) const { SSL_free(ssl); }
};

// One request's head, or "" when the client closed first.
std::string ReadRequest(SSL* ssl) {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
        const int count = SSL_read(ssl, buffer, sizeof buffer);
        if (count <= 0) {
            return {};
        }
        request.append(buffer, static_cast<std::size_t>(count));
    }
    return request;
}

std::string ReplyTo(const std::string& request) {
    const std::size_t pathStart = request.find(' ') + 1;
    const std::string path = request.substr(pathStart, request.find(' ', pathStart) - pathStart);
    if (path == "/moved") {
        return "HTTP/1.1 302 Found\r\nLocation: /tile\r\nContent-Length: 0\r\n\r\n";
    }
    const std::string body = "tls:" + path;
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

}  // namespace

TTlsServer::TTlsServer(TCertificateKind kind) {
    // A client that gives up mid-handshake must not end the test process.
    std::signal(SIGPIPE, SIG_IGN);
    const TServerIdentity identity = ServerIdentity(kind);
    context_ = tileserver::ServerContext(identity.Certificate, identity.Key);
    server_ = std::make_unique<TLoopbackServer>([this](int fd, int) { Serve(fd); });
}

std::string TTlsServer::Url(const std::string& path, const std::string& host) const {
    return "https://" + host + ":" + std::to_string(Port()) + path;
}

std::vector<std::string> TTlsServer::ServerNames() const {
    const std::lock_guard<std::mutex> guard(lock_);
    return serverNames_;
}

std::vector<std::string> TTlsServer::Requests() const {
    const std::lock_guard<std::mutex> guard(lock_);
    return requests_;
}

void TTlsServer::Serve(int fd) {
    const std::unique_ptr<SSL, TFreeSsl> ssl(SSL_new(context_.get()));
    SSL_set_fd(ssl.get(), fd);
    if (SSL_accept(ssl.get()) != 1) {
        return;
    }
    ++handshakes_;
    if (SSL_session_reused(ssl.get()) == 1) {
        ++resumed_;
    }
    {
        const char* name = SSL_get_servername(ssl.get(), TLSEXT_NAMETYPE_host_name);
        const std::lock_guard<std::mutex> guard(lock_);
        serverNames_.emplace_back(name != nullptr ? name : "");
    }
    for (;;) {
        const std::string request = ReadRequest(ssl.get());
        if (request.empty() || server_->Stopping()) {
            return;
        }
        {
            const std::lock_guard<std::mutex> guard(lock_);
            requests_.push_back(request);
        }
        const bool cut = request.rfind("GET /cut ", 0) == 0;
        const bool garbage = request.rfind("GET /garbage ", 0) == 0;
        // A body without a length, ended by a close with or without goodbye.
        const bool openCut = request.rfind("GET /open-cut ", 0) == 0;
        const bool openBye = request.rfind("GET /open-bye ", 0) == 0;
        const std::string reply = cut || garbage
                                      ? "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npart"
                                  : openCut || openBye ? "HTTP/1.1 200 OK\r\n\r\nsome body"
                                                       : ReplyTo(request);
        if (SSL_write(ssl.get(), reply.data(), static_cast<int>(reply.size())) <= 0) {
            return;
        }
        if (garbage) {
            SendAll(fd, std::string(64, 'x'));
        }
        const bool bye = request.rfind("GET /bye ", 0) == 0 || openBye;
        if (bye) {
            SSL_shutdown(ssl.get());
        }
        if (cut || garbage || bye || openCut || request.rfind("GET /gone ", 0) == 0) {
            server_->CloseNow(fd);
            return;
        }
    }
}

}  // namespace tessellon::test
