#pragma once
// A scripted HTTP peer on 127.0.0.1 (an ephemeral port) for the network
// tests. The n-th accepted connection runs the n-th script: read a request
// (its exact bytes are recorded), send bytes (optionally in small pieces),
// pause, close, or reset. A connection whose script has ended stays open
// until the server goes; connections beyond the scripts are closed at once.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tessellon::test {

class TServerScript {
public:
    struct TStep {
        enum class Kind { ReadRequest, Send, Sleep, Close, Reset };
        Kind kind;
        std::string bytes;
        int ms = 0;
        // Send: write in pieces of this many bytes, pausing `ms` between them.
        std::size_t piece = 0;
    };

    TServerScript& ReadRequest();
    TServerScript& Send(std::string bytes);
    TServerScript& Drip(std::string bytes, std::size_t piece, int pauseMs);
    TServerScript& Sleep(int ms);
    TServerScript& Close();
    // Closes with SO_LINGER 0, so the peer sees a reset.
    TServerScript& Reset();
    // ReadRequest, then Send.
    TServerScript& Answer(std::string reply) { return ReadRequest().Send(std::move(reply)); }

    const std::vector<TStep>& Steps() const { return steps_; }

private:
    std::vector<TStep> steps_;
};

class TScriptServer {
public:
    // With `pieceSize` > 0 every Send is written in pieces of that size.
    explicit TScriptServer(std::vector<TServerScript> scripts, std::size_t pieceSize = 0);
    ~TScriptServer();
    TScriptServer(const TScriptServer&) = delete;
    TScriptServer& operator=(const TScriptServer&) = delete;

    int Port() const { return port_; }
    // "http://127.0.0.1:" + port + path.
    std::string Url(const std::string& path) const;
    std::vector<std::string> Requests() const;
    int Connections() const { return accepted_; }

private:
    void AcceptLoop();
    void Run(int fd, const TServerScript& script);
    void Pause(int ms);

    std::vector<TServerScript> scripts_;
    std::size_t pieceSize_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    mutable std::mutex lock_;
    std::condition_variable stopped_;
    std::vector<std::string> requests_;
    std::vector<int> openSockets_;
    std::vector<std::thread> threads_;
    std::thread acceptor_;
};

// Reads one request (header block and, with a Content-Length, its body) from
// a blocking socket; what arrived before the peer closed when it closes early.
std::string ReadHttpRequest(int fd);
// Listens on 127.0.0.1 at an ephemeral port; returns the socket, sets `port`.
int ListenOnLoopback(int& port);
void SendAll(int fd, const std::string& bytes);

}  // namespace tessellon::test
