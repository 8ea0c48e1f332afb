#pragma once
// tessellon-tileserver's engine: a small HTTP/1.1 server with keep-alive and
// one thread per connection, serving the map and satellite tile endpoints,
// with faults chosen per request (query "fault=NAME[:ARGS]"), for every
// request, or at random among the recoverable ones.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <list>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "certificate.h"
#include "faults.h"
#include "request_log.h"
#include "tile_source.h"

namespace tessellon::tileserver {

inline constexpr int kDefaultPort = 8086;

struct TileServerOptions {
    std::string bindAddress = "127.0.0.1";
    int port = kDefaultPort;                 // 0: a free port, see TileServer::Port()
    std::string root;                        // image folder to serve; "" for synthetic tiles
    std::optional<std::size_t> bodySize;     // fixed body for both endpoints
    bool fast = false;                       // fixed real images of about 20 KiB
    std::optional<FaultChoice> fault;        // for every request
    std::vector<FaultChoice> faultSequence;  // for the first requests, one each
    double faultRate = 0;                    // chance of a random recoverable fault
    std::uint64_t seed = 1;                  // of that random choice
    std::size_t pieceSize = 0;               // write replies in pieces of this size
    int pieceDelayMs = 0;                    // pause between pieces
    int idleTimeoutMs = 60000;               // close a connection idle this long; negative: never
    std::string log;                         // "" none, "-" stderr, else a file appended to
    bool tls = false;                        // HTTPS, with a certificate made at start
    std::string certificateFile;             // HTTPS with this PEM certificate chain instead
    std::string keyFile;                     // and its PEM key
    bool validators = false;                 // ETag on tiles, 304 to a matching If-None-Match
};

class TileServer {
public:
    explicit TileServer(TileServerOptions options);
    ~TileServer();
    TileServer(const TileServer&) = delete;
    TileServer& operator=(const TileServer&) = delete;

    // Binds and starts serving on a thread of its own. Throws
    // std::runtime_error when the address cannot be had, the root folder
    // does not exist, or the certificate or key cannot be used. (The
    // constructor throws when the log cannot be opened.)
    void Start();
    // The bound port (the chosen one when the options asked for port 0).
    int Port() const { return port_; }
    bool ServesHttps() const { return tls_ != nullptr; }
    // Ends every connection and returns when all its threads are gone. Safe
    // from any thread, and more than once.
    void Stop();

private:
    struct Connection {
        std::thread thread;
        std::atomic<bool> done{false};
    };

    // The TLS context the options ask for; none for plain HTTP.
    ContextPtr MakeTlsContext() const;
    void AcceptLoop();
    void ReapFinishedConnections();
    void Serve(ServerConnection& connection, unsigned long long id);
    // The fault for this request: its own "fault=", the server's --fault, or
    // a random one. False with `error` set for a fault the request cannot have.
    bool ChooseFault(const HttpRequest& request, std::optional<FaultChoice>& fault,
                     std::string& error);
    void ApplyPieces(const HttpRequest& request, ServerConnection& connection) const;

    TileServerOptions options_;
    TileSource source_;
    RequestLog log_;
    ContextPtr tls_;
    int listenFd_ = -1;
    int stopFd_ = -1;
    int port_ = 0;
    std::thread acceptThread_;
    std::list<Connection> connections_;  // touched by the accept thread, then by Stop()
    unsigned long long nextConnectionId_ = 1;
    std::mutex stopMutex_;
    bool stopped_ = false;
    std::atomic<std::size_t> sequenceNext_{0};
    std::mutex randomMutex_;
    std::mt19937_64 random_;
};

}  // namespace tessellon::tileserver
