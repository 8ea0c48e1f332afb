#pragma once
// A blocking TCP connection with an input buffer: line and block reading,
// unbuffered writing, and the detection of a peer that has closed. Every
// wait is bounded by the time limits (net_limits.h): running out raises
// "Socket Error # 10060" and, like every socket error, releases the socket.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "net/net_buffer.h"
#include "net/net_component.h"
#include "net/net_limits.h"
#include "net/reply_source.h"
#include "net/socket_handle.h"

namespace tessellon {

class TTcpConnection : public TNetComponent, public TReplySource {
public:
    static constexpr int kInfiniteWait = TSocketStack::kInfiniteWait;
    static constexpr std::size_t kNoLimit = static_cast<std::size_t>(-1);

    TTcpConnection() = default;
    ~TTcpConnection() override = default;

    // Bytes asked of one receive call.
    int RecvBufferSize = 32768;
    // Clears the top bit of every received byte.
    bool ASCIIFilter = false;
    // An infinite wait means "as long as these limits allow".
    TNetTimeLimits TimeLimits;
    // Called after the socket was released.
    std::function<void(TTcpConnection& sender)> OnDisconnected;

    TSocketHandle& Socket() { return socket_; }
    TNetBuffer& InputBuffer() { return input_; }
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

    // The next line without its terminator (and, for a line feed, one
    // carriage return before it). Comes back empty with ReadLnTimedOut() set
    // when a finite wait runs out or the peer closes inside a line; a line
    // longer than `maxLength` raises EInvalidReply.
    std::string ReadLine(char terminator = '\n', int waitMs = kInfiniteWait,
                         std::size_t maxLength = kNoLimit);
    // `count` bytes into `stream` at its position, or with `untilClose`
    // every byte until the peer closes (at most `maxSize`). Afterwards the
    // stream ends at its position.
    void ReadToStream(TNetBuffer& stream, std::size_t count, bool untilClose,
                      std::size_t maxSize = kNoLimit);

    // Sends every byte at once; a request is composed first and sent with
    // one call, so a kept connection never waits on delayed acknowledgements.
    void SendBytes(const char* bytes, std::size_t count);

    // While a deadline is set, no wait goes beyond it.
    void SetRequestDeadline(std::chrono::steady_clock::time_point deadline) {
        deadline_ = deadline;
    }
    void ClearRequestDeadline() { deadline_.reset(); }
    bool HasRequestDeadline() const { return deadline_.has_value(); }

    std::string ReadReplyLine(std::size_t maxLength) override;
    void ReadReplyBlock(TNetBuffer& stream, std::size_t count) override;
    void ReadReplyUntilClose(TNetBuffer& stream, std::size_t maxSize) override;

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
    // One receive into `destination`, or appended to the input buffer when
    // it is null. Returns the count, 0 when the wait ran out or the peer
    // closed.
    std::size_t Receive(bool raiseIfClosed, int waitMs, char* destination, std::size_t size);
    // Waits at most `waitMs` for data and receives it into `target`: the
    // result of the receive (errno set when it failed), none when a finite
    // wait ran out. An infinite wait lasts as long as the time limits allow
    // and then raises the time-out.
    std::optional<ssize_t> WaitAndReceive(char* target, std::size_t size, int waitMs);

    TSocketHandle socket_;
    TNetBuffer input_;
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
