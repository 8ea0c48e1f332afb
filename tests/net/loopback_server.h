#pragma once
// The common part of the test servers: listens on 127.0.0.1 at an ephemeral
// port and serves every accepted connection on a thread of its own. Going
// away, it shuts the listener and every connection down and waits for the
// threads, so a test never leaves a server behind.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tessellon::test {

class TLoopbackServer {
public:
    // `serve` gets each connection with its number counted from 0; the
    // server closes the socket later.
    explicit TLoopbackServer(std::function<void(int fd, int index)> serve);
    ~TLoopbackServer();
    TLoopbackServer(const TLoopbackServer&) = delete;
    TLoopbackServer& operator=(const TLoopbackServer&) = delete;

    int Port() const { return port_; }
    int Connections() const { return accepted_; }
    bool Stopping() const { return stop_; }
    // Sleeps, or less when the server goes.
    void Pause(int ms);
    // Closes a connection at once (after setting SO_LINGER, say).
    void CloseNow(int fd);

private:
    void AcceptLoop();

    std::function<void(int, int)> serve_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    std::mutex lock_;
    std::condition_variable stopped_;
    std::vector<int> sockets_;
    std::vector<std::thread> threads_;
    std::thread acceptor_;
};

// Reads one request (header block and, with a Content-Length, its body) from
// a blocking socket; what arrived before the peer closed when it closes early.
std::string ReadHttpRequest(int fd);
void SendAll(int fd, const std::string& bytes);
// Listens on 127.0.0.1 at an ephemeral port; returns the socket, sets `port`.
int ListenOnLoopback(int& port);
// A port on 127.0.0.1 that nobody listens on.
int UnusedPort();

}  // namespace tessellon::test
