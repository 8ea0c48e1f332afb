#pragma once
// A lock that one process at a time holds on a file, and the file times a
// refresh goes by. The lock is an advisory lock on a small file holding the
// holder's process id: the kernel drops it when the holder dies, so a lock
// file a killed process left behind is simply taken over.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>

namespace tessellon {

class ProcessLock {
public:
    // Removes the lock file and lets the lock go.
    ~ProcessLock();
    ProcessLock(const ProcessLock&) = delete;
    ProcessLock& operator=(const ProcessLock&) = delete;

    // The process that holds the lock at `path` when another one does.
    struct HeldBy {
        long Pid = 0;
    };
    // Takes the lock, creating the file. Raises EFileError when the file
    // cannot be made or is not a regular file.
    static std::variant<std::unique_ptr<ProcessLock>, HeldBy> Take(const std::string& path);

private:
    ProcessLock(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}

    std::string path_;
    int fd_;
};

// The file's modification time in seconds since 1970 UTC; none when it
// cannot be read.
std::optional<std::int64_t> FileModifiedUnix(const std::string& path);
// Seconds since 1970 UTC.
std::int64_t NowUnix();

}  // namespace tessellon
