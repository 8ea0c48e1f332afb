#include "platform/random_access_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/files.h"

namespace tessellon {

RandomAccessFile::RandomAccessFile(const std::string& path) : path_(path) {
    // O_NONBLOCK: the open of a FIFO does not wait for a writer.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st {};
    const int error = fd_ < 0 ? errno : ::fstat(fd_, &st) != 0 ? errno : 0;
    if (error != 0 || !S_ISREG(st.st_mode)) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        throw EFileError("Cannot open file \"" + path + "\". " +
                         (error != 0 ? std::strerror(error) : "Not a regular file."));
    }
    size_ = static_cast<std::uint64_t>(st.st_size);
}

RandomAccessFile::~RandomAccessFile() {
    ::close(fd_);
}

bool RandomAccessFile::ReadAt(std::uint64_t offset, std::uint64_t length,
                              std::string& bytes) const {
    if (offset > size_ || length > size_ - offset) {
        return false;
    }
    bytes.resize(length);
    std::uint64_t done = 0;
    while (done < length) {
        const ssize_t read =
            ::pread(fd_, bytes.data() + done, length - done, static_cast<off_t>(offset + done));
        if (read < 0 && errno == EINTR) {
            continue;
        }
        if (read <= 0) {
            return false;
        }
        done += static_cast<std::uint64_t>(read);
    }
    return true;
}

}  // namespace tessellon
