#include "fuzz_support.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace tessellon::fuzz {

TScriptedPeer::TScriptedPeer(std::string bytes, std::size_t piece) {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        Fail("socketpair");
    }
    near_ = ends[0];
    far_ = ends[1];
    ::fcntl(near_, F_SETFL, ::fcntl(near_, F_GETFL) | O_NONBLOCK);
    writer_ = std::thread([this, bytes = std::move(bytes), piece] {
        for (std::size_t at = 0; at < bytes.size(); at += piece) {
            const std::size_t count = std::min(piece, bytes.size() - at);
            if (::send(far_, bytes.data() + at, count, MSG_NOSIGNAL) !=
                static_cast<ssize_t>(count)) {
                break;  // the client stopped reading and closed
            }
        }
        ::shutdown(far_, SHUT_WR);
        char sink[4096];
        while (::recv(far_, sink, sizeof sink, 0) > 0) {
        }
    });
}

TScriptedPeer::~TScriptedPeer() {
    if (near_ >= 0) {
        ::close(near_);
    }
    writer_.join();
    ::close(far_);
}

int TScriptedPeer::TakeNearEnd() {
    const int near = near_;
    near_ = -1;
    return near;
}

void TPairClient::OpenConnection() {
    if (socket_ < 0) {
        throw ESocketError(10061);
    }
    PrepareOpen();
    Socket().Adopt(socket_);
    socket_ = -1;
}

std::size_t PieceSize(std::uint8_t selector) {
    static constexpr std::size_t kSizes[] = {1, 2, 3, 5, 7, 16, 64, 4096};
    return kSizes[selector % (sizeof kSizes / sizeof kSizes[0])];
}

void Fail(const std::string& what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
    std::abort();
}

namespace {

// what() ends at the first NUL of a text that came from the peer.
std::string AsMessage(const std::string& text) {
    return text.c_str();
}

}  // namespace

void CheckFixedMessage(const ENetException& error, int statusCode, const std::string& statusText,
                       bool peerSentNul) {
    const std::string message = error.what();
    if (const auto* socket = dynamic_cast<const ESocketError*>(&error)) {
        if (message == SocketErrorMessage(socket->ErrorNumber())) {
            return;
        }
    } else if (dynamic_cast<const EConnClosedGracefully*>(&error) != nullptr) {
        if (message == "Connection Closed Gracefully.") {
            return;
        }
    } else if (const auto* reply = dynamic_cast<const EProtocolReplyError*>(&error)) {
        if (message == AsMessage(statusText) && reply->ReplyCode() == statusCode) {
            return;
        }
    } else if (dynamic_cast<const EConvertError*>(&error) != nullptr) {
        // The text is the status code or a Content-Range number; a NUL in
        // the peer's bytes may have cut it short.
        static constexpr std::string_view kSuffix = "' is not a valid integer value";
        const bool complete =
            message.size() > kSuffix.size() &&
            message.compare(message.size() - kSuffix.size(), kSuffix.size(), kSuffix) == 0;
        if (message.front() == '\'' && (complete || peerSentNul)) {
            return;
        }
    } else if (dynamic_cast<const EInvalidReply*>(&error) != nullptr) {
        for (const char* text : {kReplyLineTooLong, kReplyHeaderTooLarge, kInvalidContentLength,
                                 kInvalidChunkedCoding, kReplyBodyTooLarge}) {
            if (message == text) {
                return;
            }
        }
    } else if (dynamic_cast<const EInterceptPropInvalid*>(&error) != nullptr) {
        if (message == "Intercept value is not valid") {
            return;
        }
    } else if (dynamic_cast<const EFailedToRetrieveTimeZoneInfo*>(&error) != nullptr) {
        if (message == "Failed attempting to retrieve time zone information.") {
            return;
        }
    }
    Fail("unexpected message: " + message);
}

}  // namespace tessellon::fuzz
