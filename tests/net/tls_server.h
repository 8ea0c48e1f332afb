#pragma once
// An HTTPS peer on 127.0.0.1 for the TLS tests. Each connection handshakes
// with the chosen certificate and then answers every request on it, kept
// alive, until the client closes: "/moved" with a redirect to "/tile";
// "/cut" with the head and part of the body, then a close without goodbye;
// "/garbage" with the head and then bytes that are no TLS record;
// "/open-cut" and "/open-bye" with a body without a length, ended by a close
// without and with goodbye; "/bye"
// and "/gone" with the whole reply, then a close with and without goodbye,
// as a server's idle limit ends a kept connection; any other path with a 200
// reply whose body is "tls:" + the path.

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "certificate.h"
#include "loopback_server.h"
#include "test_certificates.h"

namespace tessellon::test {

class TTlsServer {
public:
    explicit TTlsServer(TCertificateKind kind = TCertificateKind::Valid);

    int Port() const { return server_->Port(); }
    // "https://" + host + ":" + port + path.
    std::string Url(const std::string& path, const std::string& host = "127.0.0.1") const;
    int Connections() const { return server_->Connections(); }
    // Completed handshakes, and those that resumed an earlier session.
    int Handshakes() const { return handshakes_; }
    int Resumed() const { return resumed_; }
    // The server name each handshake asked for ("" without SNI).
    std::vector<std::string> ServerNames() const;
    std::vector<std::string> Requests() const;

private:
    void Serve(int fd);

    tileserver::ContextPtr context_;
    std::atomic<int> handshakes_{0};
    std::atomic<int> resumed_{0};
    mutable std::mutex lock_;
    std::vector<std::string> serverNames_;
    std::vector<std::string> requests_;
    // Last, so it stops before the rest goes.
    std::unique_ptr<TLoopbackServer> server_;
};

}  // namespace tessellon::test
