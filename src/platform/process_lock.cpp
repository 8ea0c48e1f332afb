#include "platform/process_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/files.h"

namespace tessellon {

namespace {

long PidIn(int fd) {
    char text[32] = {};
    const ssize_t got = ::pread(fd, text, sizeof text - 1, 0);
    return got > 0 ? std::strtol(text, nullptr, 10) : 0;
}

}  // namespace

ProcessLock::~ProcessLock() {
    // Removed while still held: a process that opened the old file finds it
    // gone once it holds the lock, and tries again on the new one.
    ::unlink(path_.c_str());
    ::close(fd_);
}

std::variant<std::unique_ptr<ProcessLock>, ProcessLock::HeldBy> ProcessLock::Take(
    const std::string& path) {
    for (;;) {
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0) {
            throw EFileError("Cannot create the lock file " + path + ": " + std::strerror(errno));
        }
        struct stat opened {};
        if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
            ::close(fd);
            throw EFileError("The lock file " + path + " is not a regular file.");
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const long pid = PidIn(fd);
            ::close(fd);
            return HeldBy{pid};
        }
        struct stat named {};
        if (::stat(path.c_str(), &named) != 0 || named.st_ino != opened.st_ino ||
            named.st_dev != opened.st_dev) {
            ::close(fd);  // its holder removed it meanwhile
            continue;
        }
        const std::string pid = std::to_string(::getpid()) + "\n";
        if (::ftruncate(fd, 0) != 0 ||
            ::pwrite(fd, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size())) {
            ::close(fd);
            throw EFileError("Cannot write the lock file " + path + ": " + std::strerror(errno));
        }
        return std::unique_ptr<ProcessLock>(new ProcessLock(path, fd));
    }
}

std::optional<std::int64_t> FileModifiedUnix(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(info.st_mtim.tv_sec);
}

std::int64_t NowUnix() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

}  // namespace tessellon
