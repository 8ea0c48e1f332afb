#include "net/socket_handle.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>

#include "net/net_errors.h"
#include "net/socket_stack.h"
#include "platform/stop_signal.h"

namespace tessellon {

namespace {

sockaddr_in IPv4Address(const std::string& ip, int port) {
    std::uint32_t address = 0;
    if (!TSocketStack::ParseDottedQuad(ip, address)) {
        throw ESocketError(TSocketStack::ErrorNumberFromErrno(EINVAL));
    }
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_port = htons(static_cast<std::uint16_t>(port));
    result.sin_addr.s_addr = htonl(address);
    return result;
}

// On Linux a connect() that finds every ephemeral port taken fails with
// EADDRNOTAVAIL, where Windows says "address in use"; the workers wait and
// try again on exactly that number.
[[noreturn]] void RaiseConnectError(int error) {
    throw ESocketError(error == EADDRNOTAVAIL ? kWsaAddressInUse
                                              : TSocketStack::ErrorNumberFromErrno(error));
}

}  // namespace

TSocketHandle::~TSocketHandle() {
    CloseSocket();
}

void TSocketHandle::Allocate() {
    const int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (handle < 0) {
        throw EInvalidSocket();
    }
    Adopt(handle);
}

void TSocketHandle::Adopt(int handle) {
    handle_ = handle;
    allocated_ = true;
    receiveTimeout_ = std::chrono::milliseconds(0);
}

int TSocketHandle::Bind(const std::string& ip) {
    const sockaddr_in address = IPv4Address(ip, 0);
    // Leaves the choice of the local port to connect(), which may reuse a
    // port for different peers; bind() alone would reserve it outright.
    const int on = 1;
    ::setsockopt(handle_, IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &on, sizeof on);
    return ::bind(handle_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

void TSocketHandle::SetPeer(const std::string& ip, int port) {
    peerIP_ = ip;
    peerPort_ = port;
}

void TSocketHandle::SetNoDelay() {
    const int on = 1;
    ::setsockopt(handle_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

void TSocketHandle::Connect(std::chrono::milliseconds limit) {
    const sockaddr_in address = IPv4Address(peerIP_, peerPort_);
    if (::connect(handle_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (errno != EINPROGRESS && errno != EINTR) {
            RaiseConnectError(errno);
        }
        const short ready = Poll(POLLOUT, static_cast<int>(limit.count()));
        if (ready == 0) {
            throw ESocketError(kWsaTimedOut);
        }
        // A failed attempt always shows as an error or a hang-up, so only
        // then is the socket asked for its error.
        if ((ready & (POLLERR | POLLHUP)) != 0) {
            int error = 0;
            socklen_t length = sizeof error;
            ::getsockopt(handle_, SOL_SOCKET, SO_ERROR, &error, &length);
            if (error != 0) {
                RaiseConnectError(error);
            }
        }
    }
}

const std::string& TSocketHandle::LocalIP() const {
    LookUpLocalAddress();
    return localIP_;
}

int TSocketHandle::LocalPort() const {
    LookUpLocalAddress();
    return localPort_;
}

void TSocketHandle::LookUpLocalAddress() const {
    if (localKnown_ || !allocated_) {
        return;
    }
    localKnown_ = true;
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(handle_, reinterpret_cast<sockaddr*>(&local), &length) == 0 &&
        local.sin_family == AF_INET) {
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &local.sin_addr, text, sizeof text);
        localIP_ = text;
        localPort_ = ntohs(local.sin_port);
    }
}

ssize_t TSocketHandle::Send(const char* bytes, std::size_t count) {
    return SendOn(handle_, bytes, count);
}

ssize_t TSocketHandle::Receive(char* bytes, std::size_t count) {
    return ReceiveOn(handle_, bytes, count);
}

ssize_t TSocketHandle::SendOn(int handle, const char* bytes, std::size_t count) {
    ssize_t result;
    do {
        result = ::send(handle, bytes, count, MSG_NOSIGNAL | MSG_DONTWAIT);
    } while (result < 0 && errno == EINTR);
    return result;
}

ssize_t TSocketHandle::ReceiveOn(int handle, char* bytes, std::size_t count) {
    ssize_t result;
    do {
        result = ::recv(handle, bytes, count, MSG_DONTWAIT);
    } while (result < 0 && errno == EINTR);
    return result;
}

bool TSocketHandle::ShareReceiveWait(std::chrono::milliseconds limit) {
    using std::chrono::milliseconds;
    // The kernel keeps a receive time-out on its coarse timer wheel: it
    // rounds up to a tick (10 ms at most) and may end about an eighth of the
    // time late, plus a tick. Asked for 7/8 of the limit less 20 ms, it always
    // ends before the limit, and poll(), which is precise, waits out the rest.
    const milliseconds share = limit * 7 / 8 - milliseconds(20);
    if (share < milliseconds(20)) {
        return false;
    }
    if (share == receiveTimeout_) {
        return true;
    }
    int blocking = 0;
    if (receiveTimeout_.count() == 0 && ::ioctl(handle_, FIONBIO, &blocking) != 0) {
        return false;
    }
    const timeval timeout{static_cast<time_t>(share.count() / 1000),
                          static_cast<suseconds_t>(share.count() % 1000 * 1000)};
    if (::setsockopt(handle_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout) != 0) {
        return false;  // every other call passes MSG_DONTWAIT and never blocks
    }
    receiveTimeout_ = share;
    return true;
}

ssize_t TSocketHandle::ReceiveWaiting(char* bytes, std::size_t count) {
    return ::recv(handle_, bytes, count, 0);
}

bool TSocketHandle::Wait(bool forWriting, int waitMs) {
    return Poll(forWriting ? POLLOUT : POLLIN, waitMs) != 0;
}

short TSocketHandle::Poll(short events, int waitMs) {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::milliseconds(waitMs);
    pollfd entries[2] = {{handle_, events, 0}, {wakeHandle_, POLLIN, 0}};
    const nfds_t count = wakeHandle_ >= 0 ? 2 : 1;
    for (;;) {
        int timeout = -1;
        if (waitMs >= 0) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count();
            timeout = left > 0 ? static_cast<int>(left) : 0;
        }
        const int result = ::poll(entries, count, timeout);
        if (result >= 0) {
            if (count == 2 && entries[1].revents != 0) {
                throw ECancelled();
            }
            return result > 0 ? entries[0].revents : 0;
        }
        if (errno != EINTR) {
            RaiseLastSocketError();
        }
    }
}

void TSocketHandle::CloseSocket() {
    if (handle_ >= 0) {
        ::shutdown(handle_, SHUT_WR);
        ::close(handle_);
    }
    handle_ = -1;
    allocated_ = false;
    Reset();
}

void TSocketHandle::Reset() {
    localKnown_ = false;
    localIP_.clear();
    localPort_ = 0;
    peerIP_.clear();
    peerPort_ = 0;
}

}  // namespace tessellon
