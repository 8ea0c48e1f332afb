#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <exception>
#include <functional>
#include <thread>
#include <utility>

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

// Temporary names are the target's name, ".tmp" and a number of at most
// three digits, so that they add little to a long name (kTemporaryNameExtra).
constexpr unsigned kTemporaryNumbers = 1000;

// Calls `make(name)` with temporary names beside `path` until one is made; a
// name taken by this or another process (`make` fails with EEXIST) is passed
// over. The name made, or empty with errno set.
template <class Make>
std::string MakeTemporaryName(const std::string& path, Make make) {
    static std::atomic<unsigned> next{static_cast<unsigned>(::getpid())};
    const unsigned start = next++;
    for (unsigned i = 0; i < kTemporaryNumbers; ++i) {
        std::string name = path + ".tmp" + std::to_string((start + i) % kTemporaryNumbers);
        if (make(name)) {
            return name;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    return {};
}

// A new file under a free temporary name beside `path`: its descriptor and
// name, or -1 with errno set.
int CreateTemporaryFile(const std::string& path, unsigned mode, std::string& name) {
    int fd = -1;
    name = MakeTemporaryName(path, [&](const std::string& candidate) {
        fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        return fd >= 0;
    });
    return fd;
}

// Whether `name` is a temporary name MakeTemporaryName gives beside a file
// named `base`.
bool IsTemporaryNameOf(std::string_view name, std::string_view base) {
    const std::string_view marker = ".tmp";
    if (name.size() <= base.size() + marker.size() || name.substr(0, base.size()) != base ||
        name.substr(base.size(), marker.size()) != marker) {
        return false;
    }
    const std::string_view number = name.substr(base.size() + marker.size());
    return !number.empty() && number.size() <= std::to_string(kTemporaryNumbers - 1).size() &&
           std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
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

std::optional<std::uint64_t> RegularFileSize(const std::string& path) {
    const std::optional<RegularFileFacts> facts = LookAtRegularFile(path);
    return facts ? std::optional(facts->Size) : std::nullopt;
}

namespace {

// A regular file's facts from a look at `name` in the folder `folderFd`
// (AT_FDCWD: the working folder), a symbolic link followed.
std::optional<RegularFileFacts> LookAt(int folderFd, const char* name) {
    struct stat st {};
    if (::fstatat(folderFd, name, &st, 0) != 0 || !S_ISREG(st.st_mode)) {
        return std::nullopt;
    }
    return RegularFileFacts{static_cast<std::uint64_t>(st.st_size),
                            static_cast<std::int64_t>(st.st_mtim.tv_sec)};
}

}  // namespace

std::optional<RegularFileFacts> LookAtRegularFile(const std::string& path) {
    return LookAt(AT_FDCWD, path.c_str());
}

FolderFileLook::~FolderFileLook() {
    if (folderFd_ >= 0) {
        ::close(folderFd_);
    }
}

std::optional<RegularFileFacts> FolderFileLook::Look(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash + 1 == path.size()) {
        return LookAtRegularFile(path);
    }
    const std::string_view folder(path.data(), slash + 1);
    if (folderFd_ < 0 || folder != folder_) {
        if (folderFd_ >= 0) {
            ::close(folderFd_);
        }
        folder_ = folder;
        folderFd_ = ::open(folder_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (folderFd_ < 0) {
            return LookAtRegularFile(path);
        }
    }
    return LookAt(folderFd_, path.c_str() + slash + 1);
}

std::optional<std::uint64_t> RegularFileSizeNoFollow(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(st.st_size);
}

void RemoveFile(const std::string& path) {
    ::unlink(path.c_str());
}

void RemoveEmptyDirectory(const std::string& path) {
    ::rmdir(path.c_str());
}

bool CreateDirectoryOneLevel(const std::string& path) {
    return ::mkdir(path.c_str(), 0777) == 0;
}

bool CreateDirectories(const std::string& path) {
    std::vector<std::string> made;
    std::string reason;
    return MakeFolders(path, made, reason);
}

bool MakeFolders(const std::string& path, std::vector<std::string>& made, std::string& reason) {
    if (path.empty()) {
        reason = std::strerror(ENOENT);
        return false;
    }
    if (DirectoryExists(path)) {
        return true;
    }
    const std::string withoutSeparator =
        path.back() == kPathSeparator ? path.substr(0, path.size() - 1) : path;
    const std::string parent = ExtractFilePath(withoutSeparator);
    if (!parent.empty() && !MakeFolders(parent, made, reason)) {
        return false;
    }
    if (CreateDirectoryOneLevel(withoutSeparator)) {
        made.push_back(withoutSeparator);
        return true;
    }
    const int error = errno;
    // Another process may make it meanwhile.
    if (DirectoryExists(withoutSeparator)) {
        return true;
    }
    // What is there is a file: the path cannot go through it.
    reason = std::strerror(error == EEXIST ? ENOTDIR : error);
    return false;
}

std::size_t LongestFileNameIn(const std::string& folder) {
    // The common limit of Linux file systems, should the system not tell.
    constexpr long kUsualNameMax = 255;
    long longest = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    if (longest <= 0) {
        std::string trimmed = folder;
        while (trimmed.size() > 1 && trimmed.back() == '/') {
            trimmed.pop_back();
        }
        longest = ::pathconf(FolderOf(trimmed).c_str(), _PC_NAME_MAX);
    }
    return static_cast<std::size_t>(longest > 0 ? longest : kUsualNameMax);
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
    std::string temp;
    const int fd = CreateTemporaryFile(to, 0666, temp);
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

// What a file of mode `mode` is, for a refusal.
std::string KindOfEntry(unsigned mode) {
    if (S_ISDIR(mode)) {
        return "a folder";
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return "a device node";
    }
    if (S_ISFIFO(mode)) {
        return "a FIFO";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    return "not a regular file";
}

// Flags that open a file to read without following a link at its name, nor
// waiting for a FIFO's writer.
constexpr int kUntrustedOpen = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW;

// An open that failed with `error`.
UntrustedRead FailedOpen(int error, std::string& reason) {
    if (error == ENOENT) {
        return UntrustedRead::Absent;
    }
    reason = error == ELOOP ? "a symbolic link, not followed" : SystemReason(error);
    return UntrustedRead::Refused;
}

std::string LargerThan(std::size_t maxBytes) {
    return "larger than " + std::to_string(maxBytes) + " bytes";
}

// The size of what `fd` opened when it may be read, as ReadUntrustedFile
// tells; none, with `fd` closed and the reason told, when not.
std::optional<std::size_t> SizeToRead(int fd, std::size_t maxBytes, std::string& reason) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        reason = SystemReason(errno);
    } else if (!S_ISREG(st.st_mode)) {
        reason = KindOfEntry(st.st_mode);
    } else if (static_cast<std::uint64_t>(st.st_size) > maxBytes) {
        reason = LargerThan(maxBytes);
    } else {
        return static_cast<std::size_t>(st.st_size);
    }
    ::close(fd);
    return std::nullopt;
}

// Reads what `fd` (closed here) opened, as ReadUntrustedFile tells.
UntrustedRead ReadOpenedFile(int fd, std::size_t maxBytes, std::string& bytes,
                             std::string& reason) {
    const std::optional<std::size_t> size = SizeToRead(fd, maxBytes, reason);
    if (!size) {
        bytes.clear();
        return UntrustedRead::Refused;
    }
    const auto refuse = [&](std::string why) {
        ::close(fd);
        bytes.clear();
        reason = std::move(why);
        return UntrustedRead::Refused;
    };
    const std::string tooLarge = LargerThan(maxBytes);
    bytes.reserve(*size);
    char chunk[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n == 0) {
            break;
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return refuse(SystemReason(errno));
        }
        // The file may grow after the look at its size.
        if (static_cast<std::size_t>(n) > maxBytes - bytes.size()) {
            return refuse(tooLarge);
        }
        bytes.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return UntrustedRead::Read;
}

// The folder that holds the last name of `relative`, opened level by level
// from `root` without following a link, and that name; -1 with errno set
// when a level is missing (and not made), a link or no folder.
int OpenParentBelow(const std::string& root, std::string_view relative, bool make,
                    std::string& name) {
    if (make && !CreateDirectories(root)) {
        return -1;
    }
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::size_t start = 0;
    for (std::size_t slash = relative.find('/'); fd >= 0 && slash != std::string_view::npos;
         start = slash + 1, slash = relative.find('/', start)) {
        const std::string level(relative.substr(start, slash - start));
        if (level.empty() || level == "." || level == "..") {
            ::close(fd);
            errno = EINVAL;
            return -1;
        }
        int next = ::openat(fd, level.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0 && errno == ENOENT && make &&
            (::mkdirat(fd, level.c_str(), 0777) == 0 || errno == EEXIST)) {
            next = ::openat(fd, level.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }
        const int error = errno;
        ::close(fd);
        fd = next;
        errno = error;
    }
    name = relative.substr(start);
    return fd;
}

}  // namespace

UntrustedRead ReadUntrustedFile(const std::string& path, std::size_t maxBytes, std::string& bytes,
                                std::string& reason) {
    bytes.clear();
    reason.clear();
    const int fd = ::open(path.c_str(), kUntrustedOpen);
    return fd < 0 ? FailedOpen(errno, reason) : ReadOpenedFile(fd, maxBytes, bytes, reason);
}

UntrustedRead ReadUntrustedFileInto(const std::string& path, std::size_t maxBytes,
                                    const std::function<char*(std::size_t)>& room,
                                    std::string& reason) {
    reason.clear();
    const int fd = ::open(path.c_str(), kUntrustedOpen);
    if (fd < 0) {
        return FailedOpen(errno, reason);
    }
    const std::optional<std::size_t> size = SizeToRead(fd, maxBytes, reason);
    if (!size) {
        return UntrustedRead::Refused;
    }
    char* into = nullptr;
    try {
        into = room(*size);
    } catch (...) {
        ::close(fd);
        throw;
    }
    if (into == nullptr) {
        ::close(fd);
        reason = "no memory for its " + std::to_string(*size) + " bytes";
        return UntrustedRead::Refused;
    }
    for (std::size_t got = 0;;) {
        // Once the size is read, a byte more finds a file that grew meanwhile.
        char past = 0;
        const ssize_t n = got < *size ? ::read(fd, into + got, *size - got) : ::read(fd, &past, 1);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0 || got == *size) {
            const int error = errno;
            ::close(fd);
            if (n == 0 && got == *size) {
                return UntrustedRead::Read;
            }
            reason = n < 0 ? SystemReason(error) : "changed while it was read";
            return UntrustedRead::Refused;
        }
        got += static_cast<std::size_t>(n);
    }
}

UntrustedRead ReadFileBelow(const std::string& root, std::string_view relative,
                            std::size_t maxBytes, std::string& bytes, std::string& reason) {
    bytes.clear();
    reason.clear();
    std::string name;
    const int folder = OpenParentBelow(root, relative, false, name);
    if (folder < 0) {
        // ELOOP or ENOTDIR: a link or a file in place of a folder.
        return errno == ENOENT ? UntrustedRead::Absent : FailedOpen(errno, reason);
    }
    const int fd = ::openat(folder, name.c_str(), kUntrustedOpen);
    const int error = errno;
    ::close(folder);
    return fd < 0 ? FailedOpen(error, reason) : ReadOpenedFile(fd, maxBytes, bytes, reason);
}

bool WriteFileBelow(const std::string& root, std::string_view relative, std::string_view bytes) {
    std::string name;
    const int folder = OpenParentBelow(root, relative, true, name);
    if (folder < 0) {
        return false;
    }
    int fd = -1;
    const std::string temp = MakeTemporaryName(name, [&](const std::string& candidate) {
        fd = ::openat(folder, candidate.c_str(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        return fd >= 0;
    });
    bool done = false;
    if (fd >= 0) {
        const bool written = WriteAll(fd, bytes.data(), bytes.size());
        done = ::close(fd) == 0 && written &&
               ::renameat(folder, temp.c_str(), folder, name.c_str()) == 0;
        if (!done) {
            ::unlinkat(folder, temp.c_str(), 0);
        }
    }
    ::close(folder);
    return done;
}

bool RemoveFileBelow(const std::string& root, std::string_view relative) {
    std::string name;
    const int folder = OpenParentBelow(root, relative, false, name);
    if (folder < 0) {
        return false;
    }
    struct stat st {};
    const bool removed = ::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                         S_ISREG(st.st_mode) && ::unlinkat(folder, name.c_str(), 0) == 0;
    ::close(folder);
    return removed;
}

std::string OutputRefusal(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) {
        // Nothing there, or a link to nothing, which the output replaces.
        return {};
    }
    return KindOfEntry(st.st_mode);
}

std::string ReadFileBytes(const std::string& path) {
    return ReadRegularFile(path, kNoLimit);
}

std::string ReadFileBytes(const std::string& path, std::uint64_t limit) {
    return ReadRegularFile(path,
                           static_cast<std::size_t>(std::min<std::uint64_t>(limit, kNoLimit)));
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

namespace {

constexpr std::size_t kLineReaderChunk = 64 * 1024;

}  // namespace

TextLineReader::TextLineReader(const std::string& path, std::size_t maxLineBytes)
    : path_(path),
      maxLineBytes_(maxLineBytes),
      chunk_(std::make_unique_for_overwrite<char[]>(kLineReaderChunk)) {
    std::size_t size = 0;
    fd_ = OpenRegularFile(path_, kNoLimit, size);
}

TextLineReader::~TextLineReader() {
    ::close(fd_);
}

bool TextLineReader::Fill() {
    buffer_ = {chunk_.get(), ReadChunk(fd_, path_, chunk_.get(), kLineReaderChunk)};
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
    buffer_ = {};
    position_ = 0;
    afterCr_ = false;
}

// Where the file system has them, the new contents go into an unnamed file
// (O_TMPFILE) that gets the target's name only when whole: one directory
// change per new file instead of two, and a kill leaves nothing behind.
// Elsewhere, and for any failure to open one (whose message then comes from
// the named way), into a uniquely named file beside the target.
AtomicFileWriter::AtomicFileWriter(std::string path, FileWriteOptions options)
    : path_(std::move(path)), options_(options) {
    if (CanNameUnnamedFiles()) {
        fd_ =
            ::open(FolderOf(path_).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, options_.NewFileMode);
    }
    if (fd_ < 0) {
        fd_ = CreateTemporaryFile(path_, options_.NewFileMode, tempPath_);
    }
    if (fd_ < 0) {
        ThrowCreateError(path_, errno);
    }
    // Held while the file is open: a start that clears the temporary files
    // a killed writer left passes over the locked ones of a live writer. An
    // unnamed file takes it only if it ever gets a temporary name.
    if (!tempPath_.empty()) {
        ::flock(fd_, LOCK_EX | LOCK_NB);
    }
    TakeModeOfTarget();
    buffer_.reserve(kWriteBufferSize);
}

AtomicFileWriter::AtomicFileWriter(AtomicFileWriter&& other) noexcept
    : path_(std::move(other.path_)),
      options_(other.options_),
      tempPath_(std::move(other.tempPath_)),
      fd_(std::exchange(other.fd_, -1)),
      buffer_(std::move(other.buffer_)) {
    other.tempPath_.clear();
}

// A rewrite must not widen who may read the file (a private config.ini holds
// the proxy password) nor hand it to whoever runs the program. The owner is
// set first: changing it clears set-id bits that the mode then restores. An
// owner the process may not give is left as it is.
void AtomicFileWriter::TakeModeOfTarget() const {
    struct stat target {};
    if (::stat(path_.c_str(), &target) != 0 || !S_ISREG(target.st_mode)) {
        return;
    }
    struct stat temp {};
    if (::fstat(fd_, &temp) == 0 &&
        (temp.st_uid != target.st_uid || temp.st_gid != target.st_gid)) {
        [[maybe_unused]] const int ignored = ::fchown(fd_, target.st_uid, target.st_gid);
    }
    ::fchmod(fd_, target.st_mode & 07777);
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
    if (options_.Group != nullptr) {
        AtomicFileGroup& group = *options_.Group;
        options_.Group = nullptr;
        group.writers_.push_back(
            std::unique_ptr<AtomicFileWriter>(new AtomicFileWriter(std::move(*this))));
        return;
    }
    SyncContents();
    GiveName();
    if (options_.Durable && options_.NameDurable) {
        SyncFolder();
    }
}

void AtomicFileWriter::SyncContents() {
    if (options_.Durable && ::fsync(fd_) != 0) {
        Fail();
    }
}

void AtomicFileWriter::GiveName() {
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

// The new name lives in the folder. The file is in place whatever this
// reports, and some file systems refuse to sync a folder, so it raises nothing.
void AtomicFileWriter::SyncFolder() const {
    const int folder = ::open(FolderOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
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
    // Locked before it has a name that a start clearing orphans could see.
    ::flock(fd_, LOCK_EX | LOCK_NB);
    std::string temp = MakeTemporaryName(path_, [&](const std::string& candidate) {
        return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) ==
               0;
    });
    if (temp.empty()) {
        Fail();
    }
    tempPath_ = std::move(temp);
}

void AtomicFileGroup::Commit() {
    // A failed writer has closed and removed its file; the group's remaining
    // ones go with it.
    std::vector<std::unique_ptr<AtomicFileWriter>> writers = std::move(writers_);
    std::vector<std::exception_ptr> errors(writers.size());
    {
        std::vector<std::jthread> syncs;
        for (std::size_t i = 1; i < writers.size(); ++i) {
            syncs.emplace_back([&, i] {
                try {
                    writers[i]->SyncContents();
                } catch (...) {
                    errors[i] = std::current_exception();
                }
            });
        }
        if (!writers.empty()) {
            try {
                writers[0]->SyncContents();
            } catch (...) {
                errors[0] = std::current_exception();
            }
        }
    }
    for (const std::exception_ptr& error : errors) {
        if (error) {
            std::rethrow_exception(error);
        }
    }
    for (std::size_t i = 0; i < writers.size(); ++i) {
        if (i > 0 && i + 1 == writers.size() && writers[i]->options_.Durable) {
            writers[i]->SyncFolder();  // the others' names before the last one's
        }
        writers[i]->GiveName();
    }
    if (!writers.empty() && writers.back()->options_.Durable) {
        writers.back()->SyncFolder();
    }
}

void WriteFileAtomic(const std::string& path, std::string_view bytes, FileWriteOptions options) {
    AtomicFileWriter writer(path, options);
    writer.Append(bytes);
    writer.Commit();
}

void WriteLinesAtomic(const std::string& path, const std::vector<std::string>& lines,
                      FileWriteOptions options) {
    AtomicFileWriter writer(path, options);
    for (const std::string& line : lines) {
        writer.AppendLine(line);
    }
    writer.Commit();
}

FileMark MarkOfFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        ThrowOpenError(path, errno);
    }
    if (!S_ISREG(st.st_mode)) {
        throw EFileError("Cannot open file \"" + path + "\". Not a regular file.");
    }
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
            static_cast<std::uint64_t>(st.st_size)};
}

bool AppendToMarkedFile(const std::string& path, FileMark& mark, std::string_view bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    // Checked on the open file, so what is checked is what is written.
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<std::uint64_t>(st.st_dev) != mark.Device ||
        static_cast<std::uint64_t>(st.st_ino) != mark.Inode ||
        static_cast<std::uint64_t>(st.st_size) != mark.Size) {
        ::close(fd);
        return false;
    }
    if (!bytes.empty() && (!WriteAll(fd, bytes.data(), bytes.size()) || ::fdatasync(fd) != 0)) {
        const int error = errno;
        if (::ftruncate(fd, static_cast<off_t>(mark.Size)) != 0) {
            // The error of the write is the one to report.
        }
        ::close(fd);
        ThrowCreateError(path, error);
    }
    ::close(fd);
    mark.Size += bytes.size();
    return true;
}

void RemoveOrphanTemporaryFiles(const std::string& path) {
    const std::string folder = FolderOf(path);
    const std::string base = path.substr(path.rfind('/') + 1);
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        if (!IsTemporaryNameOf(entry->d_name, base)) {
            continue;
        }
        const int fd =
            ::openat(::dirfd(dir), entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        struct stat st {};
        // A writer that still has its file open may yet commit it.
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
        }
        ::close(fd);
    }
    ::closedir(dir);
}

}  // namespace tessellon
