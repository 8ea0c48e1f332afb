#include "platform/stdio_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/files.h"

namespace tessellon {

namespace {

constexpr std::size_t kOutputBufferBytes = 1 << 20;

}  // namespace

AtomicStdioFile::AtomicStdioFile(const std::string& path) : path_(path) {
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        tempPath_ = path;
        tempPath_.append(".").append(std::to_string(getpid())).append("-");
        tempPath_.append(std::to_string(attempt)).append(".tmp");
        fd = ::open(tempPath_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            break;
        }
    }
    if (fd < 0) {
        tempPath_.clear();
        Fail();
    }
    file_ = fdopen(fd, "w+b");
    if (file_ == nullptr) {
        ::close(fd);
        Fail();
    }
    std::setvbuf(file_, nullptr, _IOFBF, kOutputBufferBytes);
}

AtomicStdioFile::~AtomicStdioFile() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
    if (!tempPath_.empty()) {
        ::unlink(tempPath_.c_str());
    }
}

void AtomicStdioFile::Commit() {
    const bool written = std::fflush(file_) == 0 && ::fsync(fileno(file_)) == 0;
    const int closed = std::fclose(file_);
    file_ = nullptr;
    if (!written || closed != 0 || std::rename(tempPath_.c_str(), path_.c_str()) != 0) {
        Fail();
    }
    tempPath_.clear();
}

void AtomicStdioFile::Fail() const {
    std::string text = "Cannot write ";
    text.append(path_).append(": ").append(std::strerror(errno));
    throw EFileError(text);
}

int OpenScratchFile(const std::string& folder) {
    const std::string where = folder.empty() ? std::string(".") : folder;
    int fd = ::open(where.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        // A file system without unnamed files: a named one, unlinked at once.
        std::string name = where + "/.scratch-XXXXXX";
        fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd >= 0) {
            ::unlink(name.c_str());
        }
    }
    if (fd < 0) {
        std::string text = "Cannot write a temporary file in ";
        text.append(where).append(": ").append(std::strerror(errno));
        throw EFileError(text);
    }
    return fd;
}

int DuplicateDescriptorAtStart(int descriptor) {
    const int copy = ::dup(descriptor);
    if (copy >= 0 && ::lseek(copy, 0, SEEK_SET) < 0) {
        ::close(copy);
        return -1;
    }
    return copy;
}

int DuplicateStreamDescriptor(std::FILE* stream) {
    return ::dup(fileno(stream));
}

void CloseDescriptor(int descriptor) {
    ::close(descriptor);
}

}  // namespace tessellon
