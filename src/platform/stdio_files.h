#pragma once
// Files written through a C stdio stream, for the image libraries that write
// through one (libpng, libjpeg, libtiff): a new file that takes its target's
// name only when whole (and can be read back while it is written), and a second handle on such a
// stream for a library that closes the one it is given.

#include <cstdio>
#include <string>

namespace tessellon {

// A new file under a temporary name in the target's folder (so the rename
// that completes it cannot cross file systems), open for writing and reading with a
// large buffer. Commit() flushes it to the disk and gives it the target's
// name; destroyed without Commit(), it removes the temporary file and leaves
// the target as it was. Failures throw EFileError "Cannot write " + path +
// ": " + the system's reason.
class AtomicStdioFile {
public:
    explicit AtomicStdioFile(const std::string& path);
    ~AtomicStdioFile();
    AtomicStdioFile(const AtomicStdioFile&) = delete;
    AtomicStdioFile& operator=(const AtomicStdioFile&) = delete;

    std::FILE* File() const { return file_; }
    void Commit();

private:
    [[noreturn]] void Fail() const;

    std::string path_;
    std::string tempPath_;
    std::FILE* file_ = nullptr;
};

// A new file without a name in `folder`, open for reading and writing, gone
// once its last descriptor closes: room for what a writer must keep until
// it knows where in its output it goes, on the output's file system rather
// than in a memory-backed /tmp. Throws EFileError.
int OpenScratchFile(const std::string& folder);
// A new descriptor of the same open file, placed at its start (the two share
// their place in the file); -1, errno set, when there is none.
int DuplicateDescriptorAtStart(int descriptor);

// A new descriptor of the file `stream` writes, which the caller closes (or
// hands to a library that does): -1, errno set, when there is none.
int DuplicateStreamDescriptor(std::FILE* stream);
void CloseDescriptor(int descriptor);

}  // namespace tessellon
