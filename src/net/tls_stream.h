#pragma once
// The encrypted stream beside the plain socket stream: TLS through OpenSSL
// over a connection's own non-blocking socket. OpenSSL never waits here;
// when it needs the socket it asks the connection, whose waits keep the same
// time limits and deadline as its plain reads. The peer is verified against
// the store OpenSSL's default paths find (SSL_CERT_FILE and SSL_CERT_DIR
// redirect it), by host name or IP address; TLS 1.2 is the least version, and
// the session of the last handshake is offered again to the same peer.

#include <cstddef>
#include <string>

#include "net/byte_stream.h"
#include "net/socket_handle.h"

// OpenSSL's types, without its headers.
struct bio_st;
struct ssl_ctx_st;
struct ssl_st;
struct ssl_session_st;

namespace tessellon {

// What the encrypted stream asks of the connection under it.
class TSocketWaiter {
public:
    // Waits until the socket can be read (`forWriting` false) or written.
    // False when the wait of the current read ran out or it asked not to
    // wait; raises the connection's time-out (releasing the connection,
    // which stops this stream) when its limits run out.
    virtual bool AwaitSocket(bool forWriting) = 0;

protected:
    ~TSocketWaiter() = default;
};

// A BIO over the non-blocking socket `fd` (which stays the caller's): it
// never waits and never raises SIGPIPE, so OpenSSL's calls on it come back
// at once wishing to read or write. Null when OpenSSL has no memory.
bio_st* NewSocketBio(int fd);

class TTlsStream : public TByteStream {
public:
    TTlsStream(TSocketHandle& socket, TSocketWaiter& waiter) : socket_(socket), waiter_(waiter) {}
    ~TTlsStream() override;
    TTlsStream(const TTlsStream&) = delete;
    TTlsStream& operator=(const TTlsStream&) = delete;

    bool Active() const { return ssl_ != nullptr; }
    // The peer ended the stream (its close_notify, or a close without one).
    bool Ended() const { return ended_; }
    // The stream ended at a close of the connection without close_notify,
    // which a cutter in the path can fake; kept until the next Start.
    bool EndedWithoutGoodbye() const { return endedWithoutGoodbye_; }
    // Whether the running handshake took up the session of the last one.
    bool SessionReused() const;

    // Handshakes as a client over the connected socket. `serverName` is
    // sent (SNI) unless it is an IP address, and checked against the
    // certificate unless `insecure`. Raises ETlsError.
    void Start(const std::string& serverName, bool insecure);
    // Up to `size` bytes: 0 at the end (Ended() then true) and when the wait
    // of the read ran out. Raises ETlsError (as a reset) when the stream fails.
    std::size_t Read(char* into, std::size_t size) override;
    // Every byte, or ETlsError.
    void Write(const char* bytes, std::size_t count);
    // Says goodbye without waiting and drops the connection's state; the
    // session stays for the next Start to the same peer. The socket is the
    // caller's to close.
    void Stop();

private:
    // Waits as OpenSSL asked after a call whose result was `result`; false
    // when the wait ran out. Raises for anything but a wish to wait.
    bool AwaitWish(int result, const char* operation);
    [[noreturn]] void Fail(int result, const char* operation);
    void StoreSession(ssl_session_st* session);
    static int OnNewSession(ssl_st* ssl, ssl_session_st* session);

    TSocketHandle& socket_;
    TSocketWaiter& waiter_;
    ssl_ctx_st* context_ = nullptr;
    ssl_st* ssl_ = nullptr;
    ssl_session_st* session_ = nullptr;
    // The peer the kept session belongs to.
    std::string sessionPeer_;
    std::string peer_;
    bool ended_ = false;
    bool endedWithoutGoodbye_ = false;
    // After a fatal error the stream must not say goodbye.
    bool failed_ = false;
};

}  // namespace tessellon
