#include "tile_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <vector>

#include "platform/files.h"
#include "platform/numbers.h"
#include "platform/paths.h"
#include "query.h"
#include "reply.h"

namespace tessellon::tileserver {

namespace {

// Pause after accept() fails for want of descriptors, so the loop does not spin.
constexpr int kAcceptRetryMs = 50;

std::string RootFolder(const std::string& root) {
    return root.empty() ? root : IncludeTrailingSeparator(root);
}

// A count that is missing or not a whole number >= 0 leaves `value` as it is.
void ParseCount(const std::optional<std::string>& text, long long& value) {
    const std::optional<long long> number = text ? ParseInteger<long long>(*text) : std::nullopt;
    if (number && *number >= 0) {
        value = *number;
    }
}

std::vector<const FaultEntry*> RecoverableFaults() {
    std::vector<const FaultEntry*> faults;
    for (const FaultEntry& entry : FaultCatalogue()) {
        if (entry.recoverable && entry.run != nullptr) {
            faults.push_back(&entry);
        }
    }
    return faults;
}

}  // namespace

TileServer::TileServer(TileServerOptions options)
    : options_(std::move(options)),
      source_(RootFolder(options_.root), options_.bodySize, options_.fast),
      log_(options_.log),
      random_(options_.seed) {}

TileServer::~TileServer() {
    Stop();
}

void TileServer::Start() {
    if (!options_.root.empty() && !DirectoryExists(options_.root)) {
        throw std::runtime_error("no folder \"" + options_.root + "\" to serve tiles from");
    }
    tls_ = MakeTlsContext();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(options_.port));
    const std::string host =
        options_.bindAddress == "localhost" ? "127.0.0.1" : options_.bindAddress;
    const std::string where = options_.bindAddress + ":" + std::to_string(options_.port);
    if (::inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
        throw std::runtime_error("cannot listen on " + where + ": not an IPv4 address");
    }
    stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const int on = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    // The "refused" fault binds the port, so nobody else takes it, but never
    // listens: every connect then meets a refusal.
    const bool refuse = options_.fault && options_.fault->entry->run == nullptr;
    if (stopFd_ < 0 || listenFd_ < 0 ||
        ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        (!refuse && ::listen(listenFd_, SOMAXCONN) != 0)) {
        throw std::runtime_error("cannot listen on " + where + ": " + std::strerror(errno));
    }
    socklen_t length = sizeof address;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    if (!refuse) {
        acceptThread_ = std::thread([this] { AcceptLoop(); });
    }
}

ContextPtr TileServer::MakeTlsContext() const {
    if (options_.certificateFile.empty() != options_.keyFile.empty()) {
        throw std::runtime_error("--cert and --key go together");
    }
    if (!options_.certificateFile.empty()) {
        return ServerContext(options_.certificateFile, options_.keyFile);
    }
    if (!options_.tls) {
        return nullptr;
    }
    std::string names = "DNS:localhost,IP:127.0.0.1";
    in_addr bound{};
    if (options_.bindAddress != "127.0.0.1" &&
        ::inet_pton(AF_INET, options_.bindAddress.c_str(), &bound) == 1) {
        names += ",IP:" + options_.bindAddress;
    }
    const KeyPtr key = NewKey();
    const CertificatePtr certificate =
        MakeCertificate({"tessellon-tileserver", names, false, -1, 365}, key.get());
    return ServerContext(certificate.get(), key.get());
}

void TileServer::Stop() {
    std::lock_guard lock(stopMutex_);
    if (stopped_) {
        return;
    }
    stopped_ = true;
    if (stopFd_ >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(stopFd_, &one, sizeof one);
    }
    if (acceptThread_.joinable()) {
        acceptThread_.join();
    }
    for (Connection& connection : connections_) {
        connection.thread.join();
    }
    connections_.clear();
    for (int fd : {listenFd_, stopFd_}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    listenFd_ = stopFd_ = -1;
}

void TileServer::AcceptLoop() {
    for (;;) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) {
            return;
        }
        if (fds[1].revents != 0) {
            return;
        }
        if (fds[0].revents == 0) {
            continue;
        }
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                pollfd stop{stopFd_, POLLIN, 0};
                ::poll(&stop, 1, kAcceptRetryMs);
            }
            continue;
        }
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        ReapFinishedConnections();
        Connection& connection = connections_.emplace_back();
        const unsigned long long id = nextConnectionId_++;
        connection.thread = std::thread([this, fd, id, &connection] {
            {
                ServerConnection serverConnection(fd, stopFd_);
                if (tls_ == nullptr ||
                    serverConnection.AcceptTls(tls_.get(), options_.idleTimeoutMs)) {
                    Serve(serverConnection, id);
                }
            }
            connection.done = true;
        });
    }
}

void TileServer::ReapFinishedConnections() {
    for (auto it = connections_.begin(); it != connections_.end();) {
        if (it->done) {
            it->thread.join();
            it = connections_.erase(it);
        } else {
            ++it;
        }
    }
}

bool TileServer::ChooseFault(const HttpRequest& request, std::optional<FaultChoice>& fault,
                             std::string& error) {
    if (const auto text = QueryValue(request.query, "fault")) {
        FaultChoice choice;
        if (!ParseFault(*text, choice, error)) {
            return false;
        }
        if (choice.entry->run == nullptr) {
            error = "fault \"" + std::string(choice.entry->name) +
                    "\" applies to the whole server only (--fault)";
            return false;
        }
        fault = choice;
    } else if (const std::size_t n = sequenceNext_++; n < options_.faultSequence.size()) {
        fault = options_.faultSequence[n];
    } else if (options_.fault) {
        fault = options_.fault;
    } else if (options_.faultRate > 0) {
        static const std::vector<const FaultEntry*> recoverable = RecoverableFaults();
        std::lock_guard lock(randomMutex_);
        if (std::uniform_real_distribution<double>(0, 1)(random_) < options_.faultRate) {
            const FaultEntry* entry = recoverable[std::uniform_int_distribution<std::size_t>(
                0, recoverable.size() - 1)(random_)];
            fault = FaultChoice{entry, entry->defaults};
        }
    }
    return true;
}

void TileServer::ApplyPieces(const HttpRequest& request, ServerConnection& connection) const {
    long long size = static_cast<long long>(options_.pieceSize);
    long long delay = options_.pieceDelayMs;
    ParseCount(QueryValue(request.query, "pieces"), size);
    ParseCount(QueryValue(request.query, "piece-delay"), delay);
    connection.SetPieces(static_cast<std::size_t>(size), static_cast<int>(delay));
}

void TileServer::Serve(ServerConnection& connection, unsigned long long id) {
    int idleTimeoutMs = options_.idleTimeoutMs;
    for (int number = 1;; ++number) {
        HttpRequest request;
        const auto read = connection.ReadRequest(idleTimeoutMs, request);
        if (read == ServerConnection::ReadResult::Closed) {
            return;
        }
        if (read != ServerConnection::ReadResult::Request) {
            const int status = read == ServerConnection::ReadResult::HeadTooLarge  ? 431
                               : read == ServerConnection::ReadResult::ChunkedBody ? 411
                                                                                   : 400;
            log_.Write(id, "-", "-", std::to_string(status));
            connection.Send(OrdinaryReply(TextPayload(status), true, true));
            connection.CloseGracefully();
            return;
        }
        ApplyPieces(request, connection);
        const bool head = request.method == "HEAD";
        std::optional<FaultChoice> fault;
        std::string error;
        Payload payload;
        if (!head && request.method != "GET") {
            payload = TextPayload(405);
        } else if (!ChooseFault(request, fault, error)) {
            payload = {400, ReasonPhrase(400), "text/plain",
                       std::make_shared<const std::string>(error + "\n")};
        } else {
            payload = source_.Answer(request);
        }

        FaultOutcome outcome = FaultOutcome::KeepAlive;
        if (fault) {
            log_.Write(id, request.method, request.target, "fault=" + FaultText(*fault));
            FaultContext context{connection, request, payload, fault->args, number, idleTimeoutMs};
            outcome = fault->entry->run(context);
        } else {
            const std::string reply =
                options_.validators
                    ? ValidatedReply(payload, request.ifNoneMatch, !head, !request.keepAlive)
                    : OrdinaryReply(payload, !head, !request.keepAlive);
            // The status that goes out, which validators may have made a 304:
            // "HTTP/1.1 304 ...".
            log_.Write(id, request.method, request.target, reply.substr(9, 3));
            connection.Send(reply);
        }
        if (connection.Broken()) {
            return;
        }
        switch (outcome) {
            case FaultOutcome::KeepAlive:
                if (request.keepAlive) {
                    continue;
                }
                connection.CloseGracefully();
                return;
            case FaultOutcome::Close:
                connection.CloseGracefully();
                return;
            case FaultOutcome::Reset:
                connection.Reset();
                return;
            case FaultOutcome::Hold:
                connection.HoldUntilClientLeaves();
                return;
        }
    }
}

}  // namespace tessellon::tileserver
