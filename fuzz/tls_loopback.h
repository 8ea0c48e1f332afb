#pragma once
// The client's TLS stream over a socket pair whose other end is a TLS server
// in this process. The server takes its next steps whenever the client must
// wait, so one thread drives both ends. Its certificate is made once; every
// connection after the first resumes the session of the one before, so a
// reply costs a short handshake and the records of its bytes, never a
// certificate's round trip.

#include <openssl/ssl.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "certificate.h"
#include "net/byte_stream.h"
#include "net/socket_handle.h"
#include "net/tls_stream.h"

namespace tessellon::fuzz {

class TlsLoopback : public TByteStream, private TSocketWaiter {
public:
    TlsLoopback();
    ~TlsLoopback() override;
    TlsLoopback(const TlsLoopback&) = delete;
    TlsLoopback& operator=(const TlsLoopback&) = delete;

    // A new connection whose server sends `reply` in records of at most
    // `recordSize` bytes and then closes, with a close_notify when
    // `sayGoodbye`. Aborts when the handshake fails or, after the first
    // connection, did not resume the session.
    void Connect(std::string_view reply, std::size_t recordSize, bool sayGoodbye);
    // The client's reading, counted.
    std::size_t Read(char* into, std::size_t size) override;
    // The reply's bytes the client has read so far.
    std::size_t Delivered() const { return delivered_; }

private:
    bool AwaitSocket(bool forWriting) override;
    // Handshakes, writes and closes as far as the socket lets it; false when
    // it could do nothing.
    bool Serve();
    void DropServer();

    tileserver::ContextPtr serverContext_;
    TSocketHandle clientSocket_;
    TTlsStream client_{clientSocket_, *this};
    bool firstConnection_ = true;
    SSL* server_ = nullptr;
    int serverSocket_ = -1;
    bool serverReady_ = false;
    std::string reply_;
    std::size_t recordSize_ = 1;
    bool sayGoodbye_ = false;
    std::size_t written_ = 0;
    std::size_t delivered_ = 0;
};

}  // namespace tessellon::fuzz
