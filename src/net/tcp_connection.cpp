#include "net/tcp_connection.h"

#include <algorithm>
#include <cerrno>

#include "net/net_errors.h"

namespace tessellon {

namespace {

constexpr std::size_t kPreallocateLimit = 1024 * 1024;

// Ends a mode of work however the block read leaves.
class TWorkScope {
public:
    explicit TWorkScope(std::function<void()> end) : end_(std::move(end)) {}
    ~TWorkScope() { end_(); }
    TWorkScope(const TWorkScope&) = delete;
    TWorkScope& operator=(const TWorkScope&) = delete;

private:
    std::function<void()> end_;
};

// Room at the end of the input buffer for one receive (none for a receive
// into a stream): only the bytes that arrived are kept, even when the
// receive raises.
class TInputRoom {
public:
    TInputRoom(TNetBuffer* input, std::size_t size)
        : input_(input),
          size_(size),
          data_(input != nullptr ? input->AppendSpace(size) : nullptr) {}
    ~TInputRoom() {
        if (input_ != nullptr) {
            input_->CommitAppend(size_, used_);
        }
    }
    TInputRoom(const TInputRoom&) = delete;
    TInputRoom& operator=(const TInputRoom&) = delete;

    char* Data() const { return data_; }
    void Keep(std::size_t used) { used_ = used; }

private:
    TNetBuffer* input_;
    std::size_t size_;
    char* data_;
    std::size_t used_ = 0;
};

}  // namespace

void TTcpConnection::CloseConnection() {
    if (!socket_.Allocated()) {
        return;
    }
    DoStatus(TNetStatus::Disconnecting, socket_.PeerIP());
    socket_.CloseSocket();
    peerClosed_ = true;
    DoStatus(TNetStatus::Disconnected);
    if (OnDisconnected) {
        OnDisconnected(*this);
    }
}

bool TTcpConnection::IsConnected() {
    CheckPeerClosed(false, false);
    return socket_.Allocated();
}

void TTcpConnection::CheckPeerClosed(bool raiseIfClosed, bool ignoreBuffer) {
    if (!peerClosed_ && socket_.Allocated()) {
        return;
    }
    CloseConnection();
    if (raiseIfClosed && (input_.Empty() || ignoreBuffer)) {
        throw EConnClosedGracefully();
    }
}

void TTcpConnection::PeekPeerClosed(bool raiseIfClosed) {
    Receive(raiseIfClosed, 0, nullptr, RecvBufferSize);
}

std::string TTcpConnection::ReadLine(char terminator, int waitMs, std::size_t maxLength) {
    lineTimedOut_ = false;
    std::size_t scanned = 0;
    for (;;) {
        const std::size_t end = input_.Find(terminator, scanned);
        if (end != std::string_view::npos) {
            if (end > maxLength) {
                break;
            }
            std::string line(input_.Data(), end);
            input_.Remove(end + 1);
            if (terminator == '\n' && !line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            return line;
        }
        scanned = input_.Size();
        if (scanned > maxLength) {
            break;
        }
        CheckPeerClosed(true, true);
        if (Receive(true, waitMs, nullptr, static_cast<std::size_t>(RecvBufferSize)) == 0) {
            lineTimedOut_ = true;
            return {};
        }
    }
    // The rest of the stream can no longer be told apart from this line.
    CloseConnection();
    throw EInvalidReply(kReplyLineTooLong);
}

void TTcpConnection::ReadToStream(TNetBuffer& stream, std::size_t count, bool untilClose,
                                  std::size_t maxSize) {
    if (!untilClose) {
        // Grown once for a tile-sized block; an announced size beyond that
        // is only believed as the bytes arrive.
        stream.WritableAtPosition(std::min(count, kPreallocateLimit));
    }
    BeginWork(TWorkMode::Read, untilClose ? 0 : static_cast<std::int64_t>(count));
    const TWorkScope work([this, &stream] {
        EndWork(TWorkMode::Read);
        if (stream.Size() > stream.Position()) {
            stream.SetSize(stream.Position());
        }
    });
    std::size_t wanted = untilClose ? kNoLimit : count;
    std::size_t received = std::min(wanted, input_.Size());
    if (received > maxSize) {
        CloseConnection();
        throw EInvalidReply(kReplyBodyTooLarge);
    }
    stream.Write(input_.Data(), received);
    input_.Remove(received);
    if (!untilClose) {
        wanted -= received;
    }
    while (socket_.Allocated() && wanted > 0) {
        const std::size_t chunk = std::min(wanted, static_cast<std::size_t>(RecvBufferSize));
        const std::size_t got =
            Receive(!untilClose, kInfiniteWait, stream.WritableAtPosition(chunk), chunk);
        stream.Advance(got);
        received += got;
        if (!untilClose) {
            wanted -= got;
        } else if (received > maxSize) {
            CloseConnection();
            throw EInvalidReply(kReplyBodyTooLarge);
        }
    }
    // The peer may have closed before this read began, with part of the
    // block already buffered: a short block is never a whole one.
    if (wanted > 0 && !untilClose) {
        throw EConnClosedGracefully();
    }
}

void TTcpConnection::SendBytes(const char* bytes, std::size_t count) {
    if (count == 0) {
        return;
    }
    CheckPeerClosed(true, true);
    while (count > 0) {
        const ssize_t sent = socket_.Send(bytes, count);
        if (sent < 0) {
            const int error = errno;
            if (error != EAGAIN) {
                FailWith(TSocketStack::ErrorNumberFromErrno(error));
            }
            if (!socket_.Wait(true, static_cast<int>(LimitedWait(TimeLimits.Idle).count()))) {
                FailWith(kWsaTimedOut);
            }
            continue;
        }
        if (sent == 0) {
            peerClosed_ = true;
            CheckPeerClosed(true, true);
        }
        DoWork(TWorkMode::Write, sent);
        bytes += sent;
        count -= static_cast<std::size_t>(sent);
    }
}

std::string TTcpConnection::ReadReplyLine(std::size_t maxLength) {
    std::string line = ReadLine('\n', kInfiniteWait, maxLength);
    if (lineTimedOut_) {
        // An infinite wait only comes back empty when the peer closed inside
        // the line: the line is cut, not ended.
        throw EConnClosedGracefully();
    }
    return line;
}

void TTcpConnection::ReadReplyBlock(TNetBuffer& stream, std::size_t count) {
    ReadToStream(stream, count, false);
}

void TTcpConnection::ReadReplyUntilClose(TNetBuffer& stream, std::size_t maxSize) {
    ReadToStream(stream, 0, true, maxSize);
}

void TTcpConnection::PrepareOpen() {
    if (socket_.Allocated()) {
        throw EAlreadyConnected();
    }
    socket_.Reset();
    input_.Clear();
    peerClosed_ = false;
    moreQueued_ = false;
    waitedBefore_ = false;
}

std::chrono::milliseconds TTcpConnection::LimitedWait(std::chrono::milliseconds limit) {
    if (!deadline_) {
        return limit;
    }
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(*deadline_ - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
        FailWith(kWsaTimedOut);
    }
    return std::min(limit, left);
}

void TTcpConnection::RaiseIfPastDeadline() {
    if (deadline_ && std::chrono::steady_clock::now() >= *deadline_) {
        FailWith(kWsaTimedOut);
    }
}

void TTcpConnection::FailWith(int errorNumber) {
    CloseConnection();
    throw ESocketError(errorNumber);
}

std::size_t TTcpConnection::Receive(bool raiseIfClosed, int waitMs, char* destination,
                                    std::size_t size) {
    CheckPeerClosed(raiseIfClosed, false);
    if (!socket_.Allocated()) {
        return 0;
    }
    // A look without waiting, and a read after one that filled its buffer
    // (more is likely queued), try the receive at once and wait only when it
    // would block; any other read would mostly find nothing there yet.
    bool waitFirst = waitMs != 0 && !moreQueued_;
    ssize_t count;
    char* target;
    for (;;) {
        TInputRoom room(destination == nullptr ? &input_ : nullptr, size);
        target = destination != nullptr ? destination : room.Data();
        std::optional<ssize_t> result;
        if (waitFirst) {
            result = WaitAndReceive(target, size, waitMs);
            if (!result) {
                return 0;
            }
        } else {
            if (waitMs == kInfiniteWait) {
                // Data that keeps coming must not outlast the whole request.
                RaiseIfPastDeadline();
            }
            result = socket_.Receive(target, size);
        }
        count = *result;
        const int error = errno;
        room.Keep(count > 0 ? static_cast<std::size_t>(count) : 0);
        if (count >= 0) {
            break;
        }
        if (error == EAGAIN) {
            moreQueued_ = false;
            if (waitMs == 0) {
                return 0;
            }
            waitFirst = true;
            continue;
        }
        const int errorNumber = TSocketStack::ErrorNumberFromErrno(error);
        if (errorNumber != kWsaShutdown) {
            FailWith(errorNumber);
        }
        CloseConnection();
        if (input_.Empty()) {
            throw ESocketError(errorNumber);
        }
        return 0;
    }
    peerClosed_ = count == 0;
    moreQueued_ = count > 0 && static_cast<std::size_t>(count) == size;
    bytesReceived_ += static_cast<std::uint64_t>(count);
    if (ASCIIFilter) {
        std::for_each(target, target + count, [](char& c) { c = static_cast<char>(c & 0x7F); });
    }
    if (destination != nullptr) {
        DoWork(TWorkMode::Read, count);
    }
    CheckPeerClosed(raiseIfClosed, false);
    return static_cast<std::size_t>(count);
}

std::optional<ssize_t> TTcpConnection::WaitAndReceive(char* target, std::size_t size, int waitMs) {
    using std::chrono::milliseconds;
    using Clock = std::chrono::steady_clock;
    const milliseconds limit =
        waitMs == kInfiniteWait ? LimitedWait(TimeLimits.Idle) : milliseconds(waitMs);
    const auto end = Clock::now() + limit;
    // A connection that waits again (kept for another request, or a reply
    // coming in pieces) waits inside recv(): one system call where poll()
    // and recv() are two. Its first wait uses poll(), because making the
    // socket wait costs two calls of its own.
    if (waitedBefore_ && socket_.ShareReceiveWait(limit)) {
        const ssize_t count = socket_.ReceiveWaiting(target, size);
        if (count >= 0 || (errno != EAGAIN && errno != EINTR)) {
            return count;
        }
    }
    waitedBefore_ = true;
    for (;;) {
        const auto left = std::chrono::ceil<milliseconds>(end - Clock::now());
        if (left.count() <= 0 || !Stack().WaitReadable(socket_, static_cast<int>(left.count()))) {
            if (waitMs == kInfiniteWait) {
                FailWith(kWsaTimedOut);
            }
            return std::nullopt;
        }
        const ssize_t count = socket_.Receive(target, size);
        if (count >= 0 || errno != EAGAIN) {
            return count;
        }
    }
}

}  // namespace tessellon
