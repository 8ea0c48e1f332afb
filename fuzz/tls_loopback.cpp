#include "tls_loopback.h"

#include <openssl/err.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include "fuzz_support.h"
#include "net/net_errors.h"

namespace tessellon::fuzz {

namespace {

bool WouldWait(SSL* ssl, int result) {
    const int error = SSL_get_error(ssl, result);
    return error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE;
}

}  // namespace

TlsLoopback::TlsLoopback() {
    const tileserver::KeyPtr key = tileserver::NewKey();
    const tileserver::CertificatePtr certificate =
        tileserver::MakeCertificate({"127.0.0.1", "IP:127.0.0.1"}, key.get());
    serverContext_ = tileserver::ServerContext(certificate.get(), key.get());
    // One ticket per connection is all the next one needs.
    SSL_CTX_set_num_tickets(serverContext_.get(), 1);
}

TlsLoopback::~TlsLoopback() {
    client_.Stop();
    DropServer();
}

void TlsLoopback::Connect(std::string_view reply, std::size_t recordSize, bool sayGoodbye) {
    client_.Stop();
    clientSocket_.CloseSocket();
    DropServer();
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, ends) != 0) {
        Fail("no socket pair");
    }
    clientSocket_.Adopt(ends[0]);
    serverSocket_ = ends[1];
    server_ = SSL_new(serverContext_.get());
    BIO* bio = NewSocketBio(serverSocket_);
    if (server_ == nullptr || bio == nullptr) {
        Fail("no TLS server");
    }
    SSL_set_bio(server_, bio, bio);
    SSL_set_accept_state(server_);
    reply_ = reply;
    recordSize_ = recordSize;
    sayGoodbye_ = sayGoodbye;
    written_ = 0;
    delivered_ = 0;
    try {
        client_.Start("127.0.0.1", true);
    } catch (const ENetException& error) {
        Fail(std::string("handshake: ") + error.what());
    }
    if (!firstConnection_ && !client_.SessionReused()) {
        Fail("a handshake that did not resume the session");
    }
    firstConnection_ = false;
}

std::size_t TlsLoopback::Read(char* into, std::size_t size) {
    const std::size_t count = client_.Read(into, size);
    delivered_ += count;
    return count;
}

bool TlsLoopback::AwaitSocket(bool) {
    // The client waits only for what the server has still to do.
    if (!Serve()) {
        Fail("the client waits on a server that has nothing left to do");
    }
    return true;
}

bool TlsLoopback::Serve() {
    if (serverSocket_ < 0) {
        return false;
    }
    if (!serverReady_) {
        const int result = SSL_accept(server_);
        if (result != 1) {
            if (!WouldWait(server_, result)) {
                Fail("the server's handshake failed");
            }
            return true;
        }
        serverReady_ = true;
    }
    while (written_ < reply_.size()) {
        std::size_t count = 0;
        const int result = SSL_write_ex(server_, reply_.data() + written_,
                                        std::min(recordSize_, reply_.size() - written_), &count);
        if (result != 1) {
            if (!WouldWait(server_, result)) {
                Fail("the server's writing failed");
            }
            return true;
        }
        written_ += count;
    }
    if (sayGoodbye_) {
        SSL_shutdown(server_);
    }
    DropServer();
    return true;
}

void TlsLoopback::DropServer() {
    SSL_free(server_);
    server_ = nullptr;
    serverReady_ = false;
    if (serverSocket_ >= 0) {
        ::close(serverSocket_);
        serverSocket_ = -1;
    }
    ERR_clear_error();
}

}  // namespace tessellon::fuzz
