#pragma once
// A scripted HTTP peer on 127.0.0.1 (an ephemeral port) for the network
// tests. The n-th accepted connection runs the n-th script: read a request
// (its exact bytes are recorded), send bytes (optionally in small pieces),
// pause, close, or reset. A connection whose script has ended stays open
// until the server goes; connections beyond the scripts are closed at once.

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "loopback_server.h"

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

    int Port() const { return server_->Port(); }
    // "http://127.0.0.1:" + port + path.
    std::string Url(const std::string& path) const;
    std::vector<std::string> Requests() const;
    int Connections() const { return server_->Connections(); }

private:
    void Run(int fd, int index);

    std::vector<TServerScript> scripts_;
    std::size_t pieceSize_;
    mutable std::mutex lock_;
    std::vector<std::string> requests_;
    // Last, so it stops before the scripts go.
    std::unique_ptr<TLoopbackServer> server_;
};

}  // namespace tessellon::test
