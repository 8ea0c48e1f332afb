#include "server_connection.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "net/tls_stream.h"

namespace tessellon::tileserver {

namespace {

constexpr std::size_t kMaxRequestHead = 64 * 1024;
constexpr std::size_t kMaxRequestBody = 1024 * 1024;
constexpr std::chrono::milliseconds kCloseLinger{500};

}  // namespace

ServerConnection::ServerConnection(int fd, int stopFd) : fd_(fd), stopFd_(stopFd) {}

ServerConnection::~ServerConnection() {
    if (ssl_ != nullptr) {
        SSL_free(ssl_);
        ERR_clear_error();
    }
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool ServerConnection::AcceptTls(ssl_ctx_st* context, int timeoutMs) {
    ssl_ = SSL_new(context);
    BIO* bio = ssl_ != nullptr ? tessellon::NewSocketBio(fd_) : nullptr;
    if (bio == nullptr) {
        return false;
    }
    SSL_set_bio(ssl_, bio, bio);
    for (;;) {
        const int result = SSL_accept(ssl_);
        if (result == 1) {
            return true;
        }
        if (!AwaitTls(result, timeoutMs)) {
            return false;
        }
    }
}

bool ServerConnection::AwaitTls(int result, int timeoutMs) {
    switch (SSL_get_error(ssl_, result)) {
        case SSL_ERROR_WANT_READ:
            return WaitFor(POLLIN, timeoutMs) == Wait::Ready;
        case SSL_ERROR_WANT_WRITE:
            return WaitFor(POLLOUT, timeoutMs) == Wait::Ready;
        default:
            ERR_clear_error();
            return false;
    }
}

ServerConnection::Wait ServerConnection::WaitFor(short events, int timeoutMs) const {
    // Bytes OpenSSL has taken off the socket already are no longer in sight of poll().
    if ((events & POLLIN) != 0 && ssl_ != nullptr && SSL_pending(ssl_) > 0) {
        return Wait::Ready;
    }
    pollfd fds[2] = {{fd_, events, 0}, {stopFd_, POLLIN, 0}};
    for (;;) {
        const int n = ::poll(fds, 2, timeoutMs);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 || fds[1].revents != 0) {
            return Wait::Stopped;
        }
        return n == 0 ? Wait::Timeout : Wait::Ready;
    }
}

bool ServerConnection::Receive() {
    char buffer[16 * 1024];
    if (ssl_ != nullptr) {
        std::size_t count = 0;
        const int result = SSL_read_ex(ssl_, buffer, sizeof buffer, &count);
        if (result == 1) {
            input_.append(buffer, count);
            return true;
        }
        // Nothing there yet, as for a plain socket, is not an end.
        if (SSL_get_error(ssl_, result) == SSL_ERROR_WANT_READ) {
            return true;
        }
        ERR_clear_error();
        return false;
    }
    for (;;) {
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n > 0) {
            input_.append(buffer, static_cast<std::size_t>(n));
            return true;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        // Nothing there yet after a spurious wake-up is not an end.
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

ServerConnection::ReadResult ServerConnection::ReadRequest(int idleTimeoutMs,
                                                           HttpRequest& request) {
    std::size_t headEnd = std::string::npos;
    std::size_t blankLength = 0;
    std::size_t searchFrom = 0;
    for (;;) {
        // The blank line may end in CR LF CR LF or, from lenient clients, LF LF.
        for (std::size_t i = input_.find('\n', searchFrom); i != std::string::npos;
             i = input_.find('\n', i + 1)) {
            if (i + 1 < input_.size() && input_[i + 1] == '\n') {
                headEnd = i + 1;
                blankLength = 1;
                break;
            }
            if (i + 2 < input_.size() && input_[i + 1] == '\r' && input_[i + 2] == '\n') {
                headEnd = i + 1;
                blankLength = 2;
                break;
            }
        }
        if (headEnd != std::string::npos) {
            break;
        }
        searchFrom = input_.size() > 2 ? input_.size() - 2 : 0;
        if (input_.size() > kMaxRequestHead) {
            return ReadResult::HeadTooLarge;
        }
        if (WaitFor(POLLIN, idleTimeoutMs) != Wait::Ready || !Receive()) {
            return ReadResult::Closed;
        }
    }
    const RequestHeadResult parsed =
        ParseRequestHead(std::string_view(input_).substr(0, headEnd), request);
    input_.erase(0, headEnd + blankLength);
    if (parsed == RequestHeadResult::Malformed || request.bodyLength > kMaxRequestBody) {
        return ReadResult::Malformed;
    }
    if (parsed == RequestHeadResult::ChunkedBody) {
        return ReadResult::ChunkedBody;
    }
    while (input_.size() < request.bodyLength) {
        if (WaitFor(POLLIN, idleTimeoutMs) != Wait::Ready || !Receive()) {
            return ReadResult::Closed;
        }
    }
    input_.erase(0, request.bodyLength);
    return ReadResult::Request;
}

void ServerConnection::SetPieces(std::size_t size, int delayMs) {
    pieceSize_ = size;
    pieceDelayMs_ = delayMs;
}

bool ServerConnection::SendAll(std::string_view bytes) {
    while (ssl_ != nullptr && !bytes.empty() && !broken_) {
        std::size_t written = 0;
        const int result = SSL_write_ex(ssl_, bytes.data(), bytes.size(), &written);
        if (result == 1) {
            bytes.remove_prefix(written);
        } else {
            broken_ = !AwaitTls(result, -1);
        }
    }
    while (!bytes.empty() && !broken_) {
        const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            broken_ = WaitFor(POLLOUT, -1) != Wait::Ready;
        } else {
            broken_ = true;
        }
    }
    return !broken_;
}

bool ServerConnection::Send(std::string_view bytes) {
    if (pieceSize_ == 0) {
        return SendAll(bytes);
    }
    while (!bytes.empty() && !broken_) {
        const std::string_view piece = bytes.substr(0, pieceSize_);
        bytes.remove_prefix(piece.size());
        if (SendAll(piece) && !bytes.empty() && pieceDelayMs_ > 0 && !Pause(pieceDelayMs_)) {
            broken_ = true;
        }
    }
    return !broken_;
}

bool ServerConnection::Pause(int ms) const {
    pollfd stop{stopFd_, POLLIN, 0};
    int n;
    while ((n = ::poll(&stop, 1, ms)) < 0 && errno == EINTR) {
    }
    return n == 0;
}

void ServerConnection::CloseGracefully() {
    if (fd_ < 0) {
        return;
    }
    if (ssl_ != nullptr) {
        // One try: the goodbye is a courtesy.
        SSL_shutdown(ssl_);
        ERR_clear_error();
    }
    ::shutdown(fd_, SHUT_WR);
    const auto deadline = std::chrono::steady_clock::now() + kCloseLinger;
    for (auto now = std::chrono::steady_clock::now(); now < deadline;
         now = std::chrono::steady_clock::now()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
        input_.clear();
        if (WaitFor(POLLIN, static_cast<int>(left.count())) != Wait::Ready || !Receive()) {
            break;
        }
    }
    ::close(fd_);
    fd_ = -1;
}

void ServerConnection::Reset() {
    if (fd_ < 0) {
        return;
    }
    const linger abort{1, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    ::close(fd_);
    fd_ = -1;
}

void ServerConnection::HoldUntilClientLeaves() {
    while (WaitFor(POLLIN, -1) == Wait::Ready && Receive()) {
        input_.clear();
    }
}

}  // namespace tessellon::tileserver
