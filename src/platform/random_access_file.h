#pragma once
// A regular file read at any offset, from several threads at once: for the
// single-file archives whose directories point into the file.

#include <cstdint>
#include <string>

namespace tessellon {

class RandomAccessFile {
public:
    // Opens a regular file for reading. Throws EFileError "Cannot open
    // file ..." when it cannot be opened or is no regular file (a FIFO, a
    // device, a folder).
    explicit RandomAccessFile(const std::string& path);
    ~RandomAccessFile();
    RandomAccessFile(const RandomAccessFile&) = delete;
    RandomAccessFile& operator=(const RandomAccessFile&) = delete;

    const std::string& Path() const { return path_; }
    std::uint64_t Size() const { return size_; }
    // The `length` bytes at `offset` into `bytes`; false (and `bytes`
    // unspecified) when the file is shorter or the read fails.
    bool ReadAt(std::uint64_t offset, std::uint64_t length, std::string& bytes) const;

private:
    std::string path_;
    int fd_ = -1;
    std::uint64_t size_ = 0;
};

}  // namespace tessellon
