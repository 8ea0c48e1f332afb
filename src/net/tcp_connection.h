#pragma once
// A blocking TCP connection: its socket, or TLS over it, as the byte stream
// under a stream reader (lines and blocks), unbuffered writing, and the
// detection of a peer that has closed. Every wait is bounded by the time limits (net_limits.h):
// running out raises "Socket Error # 10060" and, like every socket error,
// releases the socket. A connection given a stop request ends any wait
// (connect, TLS handshake, read, write) soon after the request with
// ECancelled, releasing the socket too.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "net/byte_stream.h"
#include "net/net_buffer.h"
#include "net/net_component.h"
#include "net/net_limits.h"
#include "net/socket_handle.h"
#include "net/stream_reader.h"
#include "net/tls_stream.h"

namespace tessellon {

class StopSignal;

class TTcpConnection : public TNetComponent,
                       private TByteStream,
                       private TReadProgress,
                       private TSocketWaiter {
public:
    static constexpr int kInfiniteWait = TSocketStack::kInfiniteWait;

    TTcpConnection() = default;
    ~TTcpConnection() override = default;

    // Clears the top bit of every received byte.
    bool ASCIIFilter = false;
    // An infinite wait means "as long as these limits allow".
    TNetTimeLimits TimeLimits;
    // Called after the socket was released.
    std::function<void(TTcpConnection& sender)> OnDisconnected;

    TSocketHandle& Socket() { return socket_; }
    // Reads the socket, waiting as long as the time limits allow. The end
    // of its stream is the peer's close, which releases the socket.
    TStreamReader& Reader() { return reader_; }
    TNetBuffer& InputBuffer() { return reader_.Buffer(); }
    // Set when the last ReadLine() came back without a line.
    bool ReadLnTimedOut() const { return lineTimedOut_; }
    // Bytes received since construction.
    std::uint64_t BytesReceived() const { return bytesReceived_; }

    // Releases the socket; harmless when none is open. Buffered input stays
    // until the next opening.
    void CloseConnection();
    // Whether a socket is allocated, after releasing one whose peer closed.
    bool IsConnected();
    // When the peer closed or no socket is allocated: releases the socket and,
    // with `raiseIfClosed`, raises EConnClosedGracefully unless buffered input
    // is left to read (`ignoreBuffer` raises regardless).
    void CheckPeerClosed(bool raiseIfClosed, bool ignoreBuffer);
    // Looks, without waiting, whether the peer closed (the socket is then
    // released); bytes that arrived stay in the input buffer.
    void PeekPeerClosed(bool raiseIfClosed);

    // The next line, as the reader reads it, waiting at most `waitMs` for
    // each piece. Comes back empty with ReadLnTimedOut() set when a finite
    // wait runs out or the peer closes inside the line; raises
    // EConnClosedGracefully when the peer closed before any of it came.
    std::string ReadLine(int waitMs = kInfiniteWait);

    // Handshakes TLS over the open connection; from then on, until it is
    // closed, every read and write goes through it. Raises ETlsError, and
    // releases the connection on any failure.
    void StartTls(const std::string& serverName, bool insecure);
    bool TlsActive() const { return tls_.Active(); }
    // Whether the running TLS connection resumed the last one's session.
    bool TlsSessionReused() const { return tls_.SessionReused(); }
    // The last TLS connection's stream ended without close_notify.
    bool TlsEndedWithoutGoodbye() const { return tls_.EndedWithoutGoodbye(); }

    // Sends every byte at once; a request is composed first and sent with
    // one call, so a kept connection never waits on delayed acknowledgements.
    void SendBytes(const char* bytes, std::size_t count);

    // Every later wait of this connection, on any socket it opens, ends with
    // ECancelled once `stop` is requested. The signal must outlive the
    // connection.
    void StopOn(StopSignal& stop);

    // While a deadline is set, no wait goes beyond it.
    void SetRequestDeadline(std::chrono::steady_clock::time_point deadline) {
        deadline_ = deadline;
    }
    void ClearRequestDeadline() { deadline_.reset(); }
    bool HasRequestDeadline() const { return deadline_.has_value(); }

protected:
    // The first steps of every opening: raises EAlreadyConnected on an open
    // connection, else forgets the old addresses, input and close flag.
    void PrepareOpen();
    // `limit`, cut to what is left before the deadline; raises the time-out
    // when nothing is left.
    std::chrono::milliseconds LimitedWait(std::chrono::milliseconds limit);
    // Raises the time-out once the deadline has passed.
    void RaiseIfPastDeadline();
    // Releases the socket and raises ESocketError.
    [[noreturn]] void FailWith(int errorNumber);

private:
    // The socket's stream: one receive, waiting at most readWait_. Returns 0 when the peer closed
    // (the socket is then released, and stays so) and when a finite wait ran out.
    std::size_t Read(char* into, std::size_t size) override;
    std::size_t ReadTls(char* into, std::size_t size);
    // Counts received bytes, and filters them when asked.
    void Received(char* bytes, std::size_t count);
    bool AwaitSocket(bool forWriting) override;
    void ReadBegun(std::size_t expected) override;
    void ReadProgressed(std::size_t count) override;
    void ReadEnded() override;

    // Waits at most `waitMs` for data and receives it into `target`: the
    // result of the receive (errno set when it failed), none when a finite
    // wait ran out. An infinite wait lasts as long as the time limits allow
    // and then raises the time-out.
    std::optional<ssize_t> WaitAndReceive(char* target, std::size_t size, int waitMs);
    // The socket's wait; a stop that ends it releases the socket.
    bool WaitOnSocket(bool forWriting, int waitMs);

    TSocketHandle socket_;
    // Kept across connections, so that the next one can resume its session.
    TTlsStream tls_{socket_, *this};
    TStreamReader reader_{*this, this};
    // The wait of the socket's next read; finite only inside a read that
    // asked for it.
    int readWait_ = kInfiniteWait;
    bool peerClosed_ = false;
    // The last receive filled its buffer.
    bool moreQueued_ = false;
    // This connection has waited for data before.
    bool waitedBefore_ = false;
    bool lineTimedOut_ = false;
    std::uint64_t bytesReceived_ = 0;
    std::optional<std::chrono::steady_clock::time_point> deadline_;
};

}  // namespace tessellon
