#include "fuzz_support.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace tessellon::fuzz {

std::size_t PieceSize(std::uint8_t selector) {
    static constexpr std::size_t kSizes[] = {1, 2, 3, 5, 7, 16, 64, 4096};
    return kSizes[selector % (sizeof kSizes / sizeof kSizes[0])];
}

namespace {

// The process's folder on tmpfs and the files named in it, removed when the
// run ends.
struct TmpfsFolder {
    TmpfsFolder() : path("/dev/shm/tessellon-fuzz-" + std::to_string(::getpid()) + "/") {
        if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
            Fail("no folder " + path);
        }
    }
    ~TmpfsFolder() {
        for (const std::string& file : files) {
            ::unlink(file.c_str());
        }
        ::rmdir(path.c_str());
    }

    std::string path;
    std::vector<std::string> files;
};

}  // namespace

std::string TmpfsFile(const std::string& name) {
    static TmpfsFolder folder;
    folder.files.push_back(folder.path + name);
    return folder.files.back();
}

void WriteTmpfsFile(const std::string& path, std::string_view bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        Fail("cannot write " + path);
    }
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n <= 0) {
            Fail("cannot write " + path);
        }
        written += static_cast<std::size_t>(n);
    }
    ::close(fd);
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
