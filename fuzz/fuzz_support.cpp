#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace tessellon::fuzz {

std::size_t PieceSize(std::uint8_t selector) {
    static constexpr std::size_t kSizes[] = {1, 2, 3, 5, 7, 16, 64, 4096};
    return kSizes[selector % (sizeof kSizes / sizeof kSizes[0])];
}

void Fail(const std::string& what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
    std::abort();
}

void CheckFixedMessage(const ENetException& error, bool peerSentNul) {
    const std::string message = error.what();
    if (dynamic_cast<const EConnClosedGracefully*>(&error) != nullptr) {
        if (message == "Connection Closed Gracefully.") {
            return;
        }
    } else if (dynamic_cast<const EConvertError*>(&error) != nullptr) {
        // The text is a Content-Range number; a NUL in the peer's bytes may
        // have cut it short.
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
    } else if (dynamic_cast<const EFailedToRetrieveTimeZoneInfo*>(&error) != nullptr) {
        if (message == "Failed attempting to retrieve time zone information.") {
            return;
        }
    }
    Fail("unexpected message: " + message);
}

}  // namespace tessellon::fuzz
