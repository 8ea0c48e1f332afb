#pragma once
// One operating-system TCP socket and the addresses it joins. Every call
// that may wait has a limit, so no call can hold its thread longer than the
// connection's time limits allow: sends, connects and looks never block and
// wait through poll(), and a receive that waits inside recv() does so under a
// receive time-out that ends before its limit. A poll() also watches the
// wake descriptor of a stop request, when one is given, and ends the wait
// with ECancelled as soon as the stop comes.

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <string>

namespace tessellon {

class TSocketHandle {
public:
    TSocketHandle() = default;
    ~TSocketHandle();
    TSocketHandle(const TSocketHandle&) = delete;
    TSocketHandle& operator=(const TSocketHandle&) = delete;

    bool Allocated() const { return allocated_; }
    int Handle() const { return handle_; }
    // The local address is looked up when first asked for: most connections
    // never need it, and the lookup is a system call.
    const std::string& LocalIP() const;
    int LocalPort() const;
    const std::string& PeerIP() const { return peerIP_; }
    int PeerPort() const { return peerPort_; }

    // A new IPv4 stream socket. Raises EInvalidSocket when none can be made.
    void Allocate();
    // Takes over a non-blocking stream socket (of any family).
    void Adopt(int handle);
    // Binds to a local dotted-quad address and an ephemeral port; the
    // result of bind() (-1 with errno set on failure).
    int Bind(const std::string& ip);
    void SetPeer(const std::string& ip, int port);
    void SetNoDelay();
    // Connects to the peer, waiting at most `limit`.
    void Connect(std::chrono::milliseconds limit);

    // One send or receive that never waits; the result and errno of the
    // system call, with EINTR retried.
    ssize_t Send(const char* bytes, std::size_t count);
    ssize_t Receive(char* bytes, std::size_t count);
    // The same on a socket that no handle holds (a TLS BIO's own).
    static ssize_t SendOn(int handle, const char* bytes, std::size_t count);
    static ssize_t ReceiveOn(int handle, char* bytes, std::size_t count);
    // Lets ReceiveWaiting() wait for data inside recv() for a share of
    // `limit` that always ends before it; the caller waits out the rest.
    // False when `limit` is too short to share or the socket refused.
    bool ShareReceiveWait(std::chrono::milliseconds limit);
    // One receive that waits as ShareReceiveWait() allowed: -1 with EAGAIN
    // when that share ran out, or with EINTR when a signal came.
    ssize_t ReceiveWaiting(char* bytes, std::size_t count);
    // Waits until the socket can be read (`forWriting` false) or written;
    // a negative wait has no limit. False when the wait ran out.
    bool Wait(bool forWriting, int waitMs);
    // From now on every poll() also ends, raising ECancelled, once `handle`
    // is readable (a stop request's wake descriptor; -1 for none). Kept
    // across the sockets this handle holds in turn.
    void WakeOn(int handle) { wakeHandle_ = handle; }
    bool HasWake() const { return wakeHandle_ >= 0; }

    // Shuts the sending side down, closes the socket and forgets the
    // addresses.
    void CloseSocket();
    void Reset();

private:
    // The poll() events that became ready (0 when the wait ran out).
    short Poll(short events, int waitMs);
    void LookUpLocalAddress() const;

    int handle_ = -1;
    bool allocated_ = false;
    int wakeHandle_ = -1;
    // The receive time-out set on the socket; zero while it does not block.
    std::chrono::milliseconds receiveTimeout_{0};
    mutable bool localKnown_ = false;
    mutable std::string localIP_;
    mutable int localPort_ = 0;
    std::string peerIP_;
    int peerPort_ = 0;
};

}  // namespace tessellon
