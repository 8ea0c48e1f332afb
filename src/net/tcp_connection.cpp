#include "net/tcp_connection.h"

#include <algorithm>
#include <cerrno>

#include "net/net_errors.h"
#include "platform/stop_signal.h"

namespace tessellon {

namespace {

// A wait inside recv() cannot watch a stop request; with one given it lasts
// at most this long, and poll(), which watches it, waits out the rest.
constexpr std::chrono::milliseconds kStoppableReceiveWait{250};

// Sets the wait of the socket's reads for one operation.
class TReadWait {
public:
    TReadWait(int& wait, int waitMs) : wait_(wait) { wait_ = waitMs; }
    ~TReadWait() { wait_ = TTcpConnection::kInfiniteWait; }
    TReadWait(const TReadWait&) = delete;
    TReadWait& operator=(const TReadWait&) = delete;

private:
    int& wait_;
};

}  // namespace

void TTcpConnection::CloseConnection() {
    tls_.Stop();
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
    if (raiseIfClosed && (InputBuffer().Empty() || ignoreBuffer)) {
        throw EConnClosedGracefully();
    }
}

void TTcpConnection::PeekPeerClosed(bool raiseIfClosed) {
    const TReadWait wait(readWait_, 0);
    reader_.Fill();
    CheckPeerClosed(raiseIfClosed, false);
}

std::string TTcpConnection::ReadLine(int waitMs) {
    lineTimedOut_ = false;
    const bool closedBefore = peerClosed_ || !socket_.Allocated();
    const TReadWait wait(readWait_, waitMs);
    std::string line;
    if (reader_.TryReadLine(line, TStreamReader::kNoLimit)) {
        return line;
    }
    // Only a close that cut this line short leaves it waiting in the buffer.
    if (!socket_.Allocated() && (closedBefore || InputBuffer().Empty())) {
        throw EConnClosedGracefully();
    }
    lineTimedOut_ = true;
    return {};
}

void TTcpConnection::StartTls(const std::string& serverName, bool insecure) {
    try {
        // Bytes already read (past a proxy's answer) would bypass the TLS.
        if (!InputBuffer().Empty()) {
            throw ETlsError::Handshake("unexpected bytes before the handshake");
        }
        tls_.Start(serverName, insecure);
    } catch (...) {
        CloseConnection();
        throw;
    }
}

void TTcpConnection::SendBytes(const char* bytes, std::size_t count) {
    if (count == 0) {
        return;
    }
    CheckPeerClosed(true, true);
    if (tls_.Active()) {
        try {
            tls_.Write(bytes, count);
        } catch (const ETlsError&) {
            CloseConnection();
            throw;
        }
        DoWork(TWorkMode::Write, static_cast<std::int64_t>(count));
        return;
    }
    while (count > 0) {
        const ssize_t sent = socket_.Send(bytes, count);
        if (sent < 0) {
            const int error = errno;
            if (error != EAGAIN) {
                FailWith(TSocketStack::ErrorNumberFromErrno(error));
            }
            if (!WaitOnSocket(true, static_cast<int>(LimitedWait(TimeLimits.Idle).count()))) {
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

void TTcpConnection::StopOn(StopSignal& stop) {
    socket_.WakeOn(stop.WakeHandle());
}

void TTcpConnection::PrepareOpen() {
    if (socket_.Allocated()) {
        throw EAlreadyConnected();
    }
    socket_.Reset();
    InputBuffer().Clear();
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

std::size_t TTcpConnection::Read(char* into, std::size_t size) {
    if (peerClosed_ || !socket_.Allocated()) {
        CloseConnection();
        return 0;
    }
    if (tls_.Active()) {
        return ReadTls(into, size);
    }
    const int waitMs = readWait_;
    // A look without waiting, and a read after one that filled its buffer
    // (more is likely queued), try the receive at once and wait only when it
    // would block; any other read would mostly find nothing there yet.
    bool waitFirst = waitMs != 0 && !moreQueued_;
    ssize_t count;
    for (;;) {
        std::optional<ssize_t> result;
        if (waitFirst) {
            result = WaitAndReceive(into, size, waitMs);
            if (!result) {
                return 0;
            }
        } else {
            if (waitMs == kInfiniteWait) {
                // Data that keeps coming must not outlast the whole request.
                RaiseIfPastDeadline();
            }
            result = socket_.Receive(into, size);
        }
        count = *result;
        const int error = errno;
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
        if (InputBuffer().Empty()) {
            throw ESocketError(errorNumber);
        }
        return 0;
    }
    peerClosed_ = count == 0;
    moreQueued_ = count > 0 && static_cast<std::size_t>(count) == size;
    Received(into, static_cast<std::size_t>(count));
    if (peerClosed_) {
        CloseConnection();
    }
    return static_cast<std::size_t>(count);
}

std::size_t TTcpConnection::ReadTls(char* into, std::size_t size) {
    if (readWait_ == kInfiniteWait) {
        // Data that keeps coming must not outlast the whole request.
        RaiseIfPastDeadline();
    }
    std::size_t count;
    try {
        count = tls_.Read(into, size);
    } catch (const ETlsError&) {
        CloseConnection();
        throw;
    }
    if (tls_.Ended()) {
        peerClosed_ = true;
        CloseConnection();
        return 0;
    }
    Received(into, count);
    return count;
}

void TTcpConnection::Received(char* bytes, std::size_t count) {
    bytesReceived_ += count;
    if (ASCIIFilter) {
        std::for_each(bytes, bytes + count, [](char& c) { c = static_cast<char>(c & 0x7F); });
    }
}

bool TTcpConnection::AwaitSocket(bool forWriting) {
    const int waitMs = readWait_;
    if (waitMs == 0) {
        return false;
    }
    const std::chrono::milliseconds limit =
        waitMs == kInfiniteWait ? LimitedWait(TimeLimits.Idle) : std::chrono::milliseconds(waitMs);
    if (WaitOnSocket(forWriting, static_cast<int>(limit.count()))) {
        return true;
    }
    if (waitMs == kInfiniteWait) {
        FailWith(kWsaTimedOut);
    }
    return false;
}

void TTcpConnection::ReadBegun(std::size_t expected) {
    BeginWork(TWorkMode::Read, static_cast<std::int64_t>(expected));
}

void TTcpConnection::ReadProgressed(std::size_t count) {
    DoWork(TWorkMode::Read, static_cast<std::int64_t>(count));
}

void TTcpConnection::ReadEnded() {
    EndWork(TWorkMode::Read);
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
    const milliseconds receiveWait =
        socket_.HasWake() ? std::min(limit, kStoppableReceiveWait) : limit;
    if (waitedBefore_ && socket_.ShareReceiveWait(receiveWait)) {
        const ssize_t count = socket_.ReceiveWaiting(target, size);
        if (count >= 0 || (errno != EAGAIN && errno != EINTR)) {
            return count;
        }
    }
    waitedBefore_ = true;
    for (;;) {
        const auto left = std::chrono::ceil<milliseconds>(end - Clock::now());
        if (left.count() <= 0 || !WaitOnSocket(false, static_cast<int>(left.count()))) {
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

bool TTcpConnection::WaitOnSocket(bool forWriting, int waitMs) {
    try {
        return socket_.Wait(forWriting, waitMs);
    } catch (const ECancelled&) {
        CloseConnection();
        throw;
    }
}

}  // namespace tessellon
