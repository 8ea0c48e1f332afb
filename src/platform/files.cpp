#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/paths.h"

namespace tessellon {

namespace {

constexpr std::size_t kWriteBufferSize = 256 * 1024;

std::string SystemReason(int error) {
    return std::strerror(error);
}

[[noreturn]] void ThrowCreateError(const std::string& path, int error) {
    throw EFileError("Cannot create file \"" + path + "\". " + SystemReason(error));
}

[[noreturn]] void ThrowOpenError(const std::string& path, int error) {
    throw EFileError("Cannot open file \"" + path + "\". " + SystemReason(error));
}

// The folder `path` lies in, for opening an unnamed file there.
std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// An unnamed file is given its name through its /proc link, so without /proc
// the writers keep to named temporary files.
bool CanNameUnnamedFiles() {
    static const bool can = ::access("/proc/self/fd", X_OK) == 0;
    return can;
}

// A name beside `path` that no other writer in this or another process uses.
std::string TemporaryNameFor(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    return path + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

// A file can be written, or made, and replaced atomically: its folder takes
// new names and an existing file takes writes.
bool CanWriteFile(const std::string& path) {
    return ::access(FolderOf(path).c_str(), W_OK | X_OK) == 0 &&
           (!FileExists(path) || ::access(path.c_str(), W_OK) == 0);
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::string ProgramFolder() {
    std::string buffer(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n <= 0) {
        return "./";
    }
    buffer.resize(static_cast<std::size_t>(n));
    return buffer.substr(0, buffer.rfind('/') + 1);
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateDirectoryOneLevel(const std::string& path) {
    return ::mkdir(path.c_str(), 0777) == 0;
}

bool CreateDirectories(const std::string& path) {
    if (path.empty() || DirectoryExists(path)) {
        return !path.empty();
    }
    const std::string withoutSeparator =
        path.back() == kPathSeparator ? path.substr(0, path.size() - 1) : path;
    const std::string parent = ExtractFilePath(withoutSeparator);
    if (!parent.empty() && !CreateDirectories(parent)) {
        return false;
    }
    // Another process may make it meanwhile.
    return CreateDirectoryOneLevel(withoutSeparator) || DirectoryExists(withoutSeparator);
}

std::string SettingsFileIn(const std::string& programFolder, const std::string& name) {
    const std::string beside = programFolder + "ini/" + name;
    if (CanWriteFile(beside)) {
        return beside;
    }
    const std::string userFolder = UserConfigFolder() + "tessellon/";
    const std::string user = userFolder + name;
    if (FileExists(user)) {
        return user;
    }
    const bool shipped = FileExists(beside);
    if (!CreateDirectories(userFolder) || (shipped && !CopyFileNoOverwrite(beside, user))) {
        return shipped ? beside : user;
    }
    return user;
}

bool CopyFileNoOverwrite(const std::string& from, const std::string& to) {
    if (FileExists(to) || DirectoryExists(to)) {
        return false;
    }
    std::string bytes;
    try {
        bytes = ReadFileBytes(from);
    } catch (const EFileError&) {
        return false;
    }
    // Written under a temporary name and linked into place: link() refuses an
    // existing target, so a file that appeared meanwhile is not overwritten.
    const std::string temp = TemporaryNameFor(to);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        return false;
    }
    const bool written = WriteAll(fd, bytes.data(), bytes.size());
    const bool closed = ::close(fd) == 0;
    const bool linked = written && closed && ::link(temp.c_str(), to.c_str()) == 0;
    ::unlink(temp.c_str());
    return linked;
}

bool IsAbsentOrRegularFile(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return errno == ENOENT;
    }
    return S_ISREG(st.st_mode);
}

namespace {

constexpr std::size_t kNoLimit = static_cast<std::size_t>(-1);

[[noreturn]] void ThrowReadError(const std::string& path, int error) {
    throw EFileError("Cannot read file \"" + path + "\". " + SystemReason(error));
}

[[noreturn]] void ThrowTooLarge(const std::string& path) {
    throw EFileError("Cannot open file \"" + path + "\". Larger than 1 MiB.");
}

// Opens `path` for reading, refusing anything but a regular file of at most
// `maxBytes`. O_NONBLOCK keeps the open of a FIFO from waiting for a writer;
// on a regular file it changes nothing. `size` gets the file's size.
int OpenRegularFile(const std::string& path, std::size_t maxBytes, std::size_t& size) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        ThrowOpenError(path, errno);
    }
    struct stat st {};
    const int error = ::fstat(fd, &st) != 0 ? errno : 0;
    if (error != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        if (error != 0) {
            ThrowOpenError(path, error);
        }
        if (S_ISDIR(st.st_mode)) {
            ThrowOpenError(path, EISDIR);
        }
        throw EFileError("Cannot open file \"" + path + "\". Not a regular file.");
    }
    size = static_cast<std::size_t>(st.st_size);
    if (size > maxBytes) {
        ::close(fd);
        ThrowTooLarge(path);
    }
    return fd;
}

// Reads into `chunk`, retrying an interrupted read; throws on an error.
std::size_t ReadChunk(int fd, const std::string& path, char* chunk, std::size_t size) {
    for (;;) {
        const ssize_t n = ::read(fd, chunk, size);
        if (n >= 0) {
            return static_cast<std::size_t>(n);
        }
        if (errno != EINTR) {
            ThrowReadError(path, errno);
        }
    }
}

std::string ReadRegularFile(const std::string& path, std::size_t maxBytes) {
    std::size_t size = 0;
    const int fd = OpenRegularFile(path, maxBytes, size);
    std::string bytes;
    bytes.reserve(size);
    char chunk[64 * 1024];
    try {
        while (const std::size_t n = ReadChunk(fd, path, chunk, sizeof chunk)) {
            // The file may grow after the open.
            if (n > maxBytes - bytes.size()) {
                ThrowTooLarge(path);
            }
            bytes.append(chunk, n);
        }
    } catch (const EFileError&) {
        ::close(fd);
        throw;
    }
    ::close(fd);
    return bytes;
}

}  // namespace

std::string ReadFileBytes(const std::string& path) {
    return ReadRegularFile(path, kNoLimit);
}

void CheckInputFile(const std::string& path) {
    std::size_t size = 0;
    ::close(OpenRegularFile(path, kInputFileLimit, size));
}

std::string ReadInputFile(const std::string& path) {
    return ReadRegularFile(path, kInputFileLimit);
}

std::vector<std::string> SplitTextLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\r' && c != '\n') {
            continue;
        }
        lines.emplace_back(text.substr(start, i - start));
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            ++i;
        }
        start = i + 1;
    }
    if (start < text.size()) {
        lines.emplace_back(text.substr(start));
    }
    return lines;
}

std::vector<std::string> ReadTextLines(const std::string& path) {
    return SplitTextLines(ReadFileBytes(path));
}

TextLineReader::TextLineReader(const std::string& path, std::size_t maxLineBytes)
    : path_(path), maxLineBytes_(maxLineBytes) {
    std::size_t size = 0;
    fd_ = OpenRegularFile(path_, kNoLimit, size);
}

TextLineReader::~TextLineReader() {
    ::close(fd_);
}

bool TextLineReader::Fill() {
    buffer_.resize(64 * 1024);
    buffer_.resize(ReadChunk(fd_, path_, buffer_.data(), buffer_.size()));
    position_ = 0;
    return !buffer_.empty();
}

bool TextLineReader::Next(std::string& line) {
    line.clear();
    tooLong_ = false;
    bool any = false;
    for (;;) {
        if (position_ == buffer_.size() && !Fill()) {
            return any;
        }
        if (afterCr_) {
            afterCr_ = false;
            if (buffer_[position_] == '\n') {
                ++position_;
                continue;
            }
        }
        any = true;
        const std::size_t end = buffer_.find_first_of("\r\n", position_);
        const std::size_t stop = end == std::string::npos ? buffer_.size() : end;
        const std::size_t room = maxLineBytes_ - line.size();
        line.append(buffer_, position_, std::min(stop - position_, room));
        tooLong_ = tooLong_ || stop - position_ > room;
        position_ = stop;
        if (end != std::string::npos) {
            afterCr_ = buffer_[end] == '\r';
            ++position_;
            return true;
        }
    }
}

void TextLineReader::Rewind() {
    if (::lseek(fd_, 0, SEEK_SET) < 0) {
        ThrowReadError(path_, errno);
    }
    buffer_.clear();
    position_ = 0;
    afterCr_ = false;
}

// Where the file system has them, the new contents go into an unnamed file
// (O_TMPFILE) that gets the target's name only when whole: one directory
// change per new file instead of two, and a kill leaves nothing behind.
// Elsewhere, and for any failure to open one (whose message then comes from
// the named way), into a uniquely named file beside the target.
AtomicFileWriter::AtomicFileWriter(std::string path) : path_(std::move(path)) {
    if (CanNameUnnamedFiles()) {
        fd_ = ::open(FolderOf(path_).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    }
    if (fd_ < 0) {
        tempPath_ = TemporaryNameFor(path_);
        fd_ = ::open(tempPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    }
    if (fd_ < 0) {
        ThrowCreateError(path_, errno);
    }
    buffer_.reserve(kWriteBufferSize);
}

AtomicFileWriter::~AtomicFileWriter() {
    if (fd_ >= 0) {
        ::close(fd_);
        RemoveTemporaryName();
    }
}

void AtomicFileWriter::RemoveTemporaryName() const {
    if (!tempPath_.empty()) {
        ::unlink(tempPath_.c_str());
    }
}

void AtomicFileWriter::Append(std::string_view bytes) {
    if (buffer_.size() + bytes.size() > kWriteBufferSize) {
        Flush();
        if (bytes.size() > kWriteBufferSize) {
            if (!WriteAll(fd_, bytes.data(), bytes.size())) {
                Fail();
            }
            return;
        }
    }
    buffer_.append(bytes);
}

void AtomicFileWriter::AppendLine(std::string_view line) {
    Append(line);
    Append("\r\n");
}

void AtomicFileWriter::Flush() {
    if (!WriteAll(fd_, buffer_.data(), buffer_.size())) {
        Fail();
    }
    buffer_.clear();
}

void AtomicFileWriter::Fail() {
    const int error = errno;
    ::close(fd_);
    RemoveTemporaryName();
    fd_ = -1;
    ThrowCreateError(path_, error);
}

void AtomicFileWriter::Commit() {
    Flush();
    if (tempPath_.empty()) {
        LinkUnnamedFile();
    }
    // A file linked under the target's name stays even if the close fails:
    // only local file systems have unnamed files, and their close reports no
    // write error.
    if (::close(fd_) != 0) {
        const int error = errno;
        RemoveTemporaryName();
        fd_ = -1;
        ThrowCreateError(path_, error);
    }
    fd_ = -1;
    if (!tempPath_.empty() && ::rename(tempPath_.c_str(), path_.c_str()) != 0) {
        const int error = errno;
        ::unlink(tempPath_.c_str());
        ThrowCreateError(path_, error);
    }
}

// Gives the unnamed file the target's name, or, when the target exists
// (link() never replaces), a temporary name that Commit() renames over it.
void AtomicFileWriter::LinkUnnamedFile() {
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path_.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        return;
    }
    if (errno != EEXIST) {
        Fail();
    }
    const std::string temp = TemporaryNameFor(path_);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temp.c_str(), AT_SYMLINK_FOLLOW) != 0) {
        Fail();
    }
    tempPath_ = temp;
}

void WriteFileAtomic(const std::string& path, std::string_view bytes) {
    AtomicFileWriter writer(path);
    writer.Append(bytes);
    writer.Commit();
}

void WriteLinesAtomic(const std::string& path, const std::vector<std::string>& lines) {
    AtomicFileWriter writer(path);
    for (const std::string& line : lines) {
        writer.AppendLine(line);
    }
    writer.Commit();
}

}  // namespace tessellon
