#pragma once
// One accepted connection, seen from the server: reading request heads,
// writing replies (whole or in small timed pieces), pausing, and the ways a
// connection can end (graceful close, reset, or holding it open until the
// client leaves). Every wait also watches the server's stop signal, so no
// reply, pause or silent connection outlives a stopping server. After
// AcceptTls every read and write goes through TLS.

#include <cstddef>
#include <string>
#include <string_view>

#include "http_request.h"

struct ssl_ctx_st;
struct ssl_st;

namespace tessellon::tileserver {

class ServerConnection {
public:
    // Takes ownership of the non-blocking socket `fd`. `stopFd` becomes
    // readable when the server stops.
    ServerConnection(int fd, int stopFd);
    ~ServerConnection();
    ServerConnection(const ServerConnection&) = delete;
    ServerConnection& operator=(const ServerConnection&) = delete;

    // Handshakes as the TLS server; false when the client failed the
    // handshake, left, or stayed silent for `timeoutMs`, or the server stops.
    bool AcceptTls(ssl_ctx_st* context, int timeoutMs);

    enum class ReadResult {
        Request,
        Closed,        // the client closed, the idle limit passed, or the server stops
        HeadTooLarge,  // answer 431 and close
        Malformed,     // answer 400 and close
        ChunkedBody,   // answer 411 and close
    };
    // Waits at most `idleTimeoutMs` (a negative value: no limit) for each
    // piece of the next request; drops a request body of known length.
    ReadResult ReadRequest(int idleTimeoutMs, HttpRequest& request);

    // Later Send calls write pieces of `size` bytes (0: whole) with a pause of
    // `delayMs` after each piece but the last.
    void SetPieces(std::size_t size, int delayMs);
    // False, now and for every later call, once the client is gone or the
    // server stops; the bytes may then be partly written.
    bool Send(std::string_view bytes);
    bool Broken() const { return broken_; }
    // False when the server stops during the pause.
    bool Pause(int ms) const;

    // Sends FIN and waits briefly for the client's, so that a client still
    // sending does not turn the close into a reset that destroys the reply.
    void CloseGracefully();
    // Closes with an RST (SO_LINGER with a zero timeout).
    void Reset();
    // Writes nothing, drops whatever arrives, and returns when the client
    // closes or the server stops.
    void HoldUntilClientLeaves();

private:
    enum class Wait { Ready, Timeout, Stopped };
    Wait WaitFor(short events, int timeoutMs) const;
    bool SendAll(std::string_view bytes);
    // Reads what is there into input_; false when the client closed or failed.
    bool Receive();
    // Waits as OpenSSL asked after a call that returned `result`; false when
    // the connection failed or ended, or the wait did not end in readiness.
    bool AwaitTls(int result, int timeoutMs);

    int fd_;
    int stopFd_;
    ssl_st* ssl_ = nullptr;
    std::string input_;
    std::size_t pieceSize_ = 0;
    int pieceDelayMs_ = 0;
    bool broken_ = false;
};

}  // namespace tessellon::tileserver
