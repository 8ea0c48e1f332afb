#pragma once
// File-system primitives: the program folder, where a settings file lives,
// folder tests and creation, copying without overwriting, reading text files as lines (whole,
// or one at a time for lists of any length), bounded reads of the files a user names, and
// whole-file writes that are atomic (a temporary file in the same folder
// that takes the target's name only when whole), so a crash never leaves a
// truncated file, and appends to a file only while it is the one last written.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tessellon {

// A file that cannot be read or written. The message names the file and the
// system's reason.
class EFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Folder of the running executable, ending in "/".
std::string ProgramFolder();

bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
// The size of the regular file at `path`, a symbolic link followed; nothing
// when there is none.
std::optional<std::uint64_t> RegularFileSize(const std::string& path);
struct RegularFileFacts {
    std::uint64_t Size = 0;
    std::int64_t ModifiedUnix = 0;
};
// Its size and modification time, from one look.
std::optional<RegularFileFacts> LookAtRegularFile(const std::string& path);
// Looks at one file after another as LookAtRegularFile does, keeping the
// last file's folder open: the files of one folder are then found by their
// names alone, and the folder's path is walked once. A folder replaced
// under the same path meanwhile is still the one opened.
class FolderFileLook {
public:
    FolderFileLook() = default;
    ~FolderFileLook();
    FolderFileLook(const FolderFileLook&) = delete;
    FolderFileLook& operator=(const FolderFileLook&) = delete;

    std::optional<RegularFileFacts> Look(const std::string& path);

private:
    std::string folder_;
    int folderFd_ = -1;
};
// The same without following a symbolic link: nothing for a link.
std::optional<std::uint64_t> RegularFileSizeNoFollow(const std::string& path);
// Removes the file (never a folder) at `path`, if there is one. A failure is
// not told: callers remove what they made and no longer want.
void RemoveFile(const std::string& path);
// Removes the folder at `path` when it is empty; one that holds anything
// stays, and a failure is not told, as for RemoveFile.
void RemoveEmptyDirectory(const std::string& path);

// Creates the last level of `path` only; missing parents make it fail.
// True when the folder exists afterwards because this call made it.
[[nodiscard]] bool CreateDirectoryOneLevel(const std::string& path);
// Creates `path` with every missing parent. True when the folder exists
// afterwards, made now or before.
[[nodiscard]] bool CreateDirectories(const std::string& path);
// The same, adding each folder it made to `made`, the outermost first, for a
// caller that may have to take them back. When a level cannot be made, false
// with the system's reason in `reason` ("Permission denied"); what was made
// before stays listed.
[[nodiscard]] bool MakeFolders(const std::string& path, std::vector<std::string>& made,
                               std::string& reason);

// The longest file name that `folder` takes, or, while it does not exist, the
// folder it would be made in.
std::size_t LongestFileNameIn(const std::string& folder);

// The settings file `name` ("config.ini", "sources.ini") of a program in
// `programFolder` (ending in "/"). A portable folder or a build keeps it in
// ini/ beside the program, which is used whenever it can be written there. An
// installed program cannot write there, so it keeps the file in
// UserConfigFolder() + "tessellon/", creating that folder; a file shipped
// beside the program is copied there once, so the user's file starts from its
// values and every later write is read back. When neither place can be
// written, the file beside the program when it exists, else the user's.
std::string SettingsFileIn(const std::string& programFolder, const std::string& name);

// Copies `from` to `to` unless `to` exists already. False when nothing was
// copied, for whatever reason. The copy appears whole or not at all.
bool CopyFileNoOverwrite(const std::string& from, const std::string& to);

// True when nothing is at `path`, or a regular file that is not a symbolic
// link: the only places a write from outside data may replace.
bool IsAbsentOrRegularFile(const std::string& path);

// The whole file as bytes. Throws EFileError when it cannot be read or is not
// a regular file (a FIFO would block the reader, a device never ends).
std::string ReadFileBytes(const std::string& path);
// The same, refused with EFileError above `limit` bytes.
std::string ReadFileBytes(const std::string& path, std::uint64_t limit);

// How a read of a file that outside data put in place ended.
enum class UntrustedRead {
    Read,
    // Nothing at the path.
    Absent,
    // Something the reader must not take; the reason says what.
    Refused,
};

// Reads a file that a server, a shared folder or another program may have
// put there: only a regular file, opened without following a symbolic link
// at its name (checked on the open file, so a swap after a look cannot slip
// through), and at most `maxBytes`, so a link to a secret or a huge file
// never ends up in an output or in memory. `bytes` gets the contents (and
// keeps its capacity); `reason` says why a file was refused ("a symbolic
// link, not followed", "not a regular file", "larger than N bytes", or the
// system's reason), without the path.
UntrustedRead ReadUntrustedFile(const std::string& path, std::size_t maxBytes, std::string& bytes,
                                std::string& reason);
// The same into memory the caller provides, for bytes that go on to a
// library that takes its own memory only. `room` is called once, only for a
// file that may be read, with its size as it is opened (which may be 0); it
// returns where that many bytes go, or null when it has no room, and what
// it throws passes through. A file whose size changes while it is read is
// refused. The memory stays the caller's, after a refusal too, when it may
// hold part of the file.
UntrustedRead ReadUntrustedFileInto(const std::string& path, std::size_t maxBytes,
                                    const std::function<char*(std::size_t)>& room,
                                    std::string& reason);

// Files kept below a folder, such as a cache, reached without following a
// symbolic link below `root`: a link put in place of one of its folders or
// files cannot lead a read, a write or a removal elsewhere. `relative` names
// folders and the file, separated by "/" ("map/12/2048/1361"); `root` is
// taken as it is. The read is ReadUntrustedFile's; a folder on the way that
// is a link, or no folder, refuses it.
UntrustedRead ReadFileBelow(const std::string& root, std::string_view relative,
                            std::size_t maxBytes, std::string& bytes, std::string& reason);
// Writes the file whole under a temporary name beside it and renames it into
// place (replacing a link at its name, never what the link names), making
// the root and the missing folders on the way. False when it cannot.
bool WriteFileBelow(const std::string& root, std::string_view relative, std::string_view bytes);
// Removes the regular file; a link, a folder or nothing there stays. False
// when nothing was removed.
bool RemoveFileBelow(const std::string& root, std::string_view relative);

// Why an existing entry at `path` must not be replaced by an output file: a
// folder, a device node, a FIFO or a socket, itself or behind a symbolic
// link ("a device node"...). Empty when nothing is there, or a regular file
// (or a link to one, which the output then replaces, leaving the file the
// link named alone).
std::string OutputRefusal(const std::string& path);

// A project, settings or sources file is read whole, and a user may name any
// file as one: this bound is far above any real one, so a wrong file cannot
// fill the memory.
inline constexpr std::size_t kInputFileLimit = 1024 * 1024;
// Throws EFileError unless `path` is a regular file of at most
// kInputFileLimit bytes.
void CheckInputFile(const std::string& path);
// The whole of such a file; throws EFileError as CheckInputFile does, and
// when it cannot be read or grows past the limit meanwhile.
std::string ReadInputFile(const std::string& path);

// The file as lines: CR LF, a lone CR or a lone LF ends a line, and a final
// line break makes no empty last line. Throws EFileError when it cannot be read.
std::vector<std::string> ReadTextLines(const std::string& path);
std::vector<std::string> SplitTextLines(std::string_view text);

// The most characters a temporary name adds to the name of the file it
// replaces: the name checks of a task start count them.
inline constexpr std::size_t kTemporaryNameExtra = 7;

class AtomicFileGroup;

struct FileWriteOptions {
    // The mode of a file made new, less the umask. A file that is replaced
    // keeps its own mode and, where the system permits, its owner.
    unsigned NewFileMode = 0666;
    // The contents and the new name reach the disk before Commit() returns,
    // so a power loss leaves the old file or the new one, never an empty one.
    bool Durable = true;
    // With Durable, whether Commit() also waits for the folder to hold the
    // new name. Without the wait the contents still reach the disk before
    // the name, so a power loss soon after brings back the old file whole,
    // never an empty one: for a file rewritten again and again whose last
    // version may be lost, such as a task's saved positions, it saves a sync
    // of the disk at every write.
    bool NameDurable = true;
    // When set, Commit() hands the whole file to this group, whose Commit()
    // gives it its name together with the group's other files.
    AtomicFileGroup* Group = nullptr;
};

// Files that hold a secret, such as the proxy password.
inline constexpr unsigned kPrivateFileMode = 0600;

// Reads a text file one line at a time with the line breaks of ReadTextLines,
// holding no more than one line: a list of any length, or a file without any
// line break, takes bounded memory.
class TextLineReader {
public:
    // Throws EFileError when the file cannot be read or is not a regular file.
    TextLineReader(const std::string& path, std::size_t maxLineBytes);
    ~TextLineReader();
    TextLineReader(const TextLineReader&) = delete;
    TextLineReader& operator=(const TextLineReader&) = delete;

    // The next line into `line`; false at the end of the file. A line longer
    // than the limit is read to its end but only its first maxLineBytes bytes
    // are kept, and LineTooLong() tells so. Throws EFileError on a read error.
    bool Next(std::string& line);
    bool LineTooLong() const { return tooLong_; }
    // Back to the first line.
    void Rewind();

private:
    // False at the end of the file.
    bool Fill();

    std::string path_;
    std::size_t maxLineBytes_;
    int fd_ = -1;
    // Room for one read, never cleared: the lines are read out of the part
    // that the last read filled.
    std::unique_ptr<char[]> chunk_;
    std::string_view buffer_;
    std::size_t position_ = 0;
    bool tooLong_ = false;
    // The last line ended in CR, so an LF that follows belongs to it.
    bool afterCr_ = false;
};

// Streams a file's new contents into a temporary file beside it, unnamed
// where the file system allows; Commit() gives it the target's name, in
// place of the old file. Destroyed without Commit(), it removes the
// temporary file and leaves the target as it was.
class AtomicFileWriter {
public:
    explicit AtomicFileWriter(std::string path, FileWriteOptions options = {});
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    void Append(std::string_view bytes);
    // Appends `line` and CR LF.
    void AppendLine(std::string_view line);
    void Commit();

private:
    friend class AtomicFileGroup;

    // Takes over `other`'s file, which `other` then no longer removes.
    AtomicFileWriter(AtomicFileWriter&& other) noexcept;

    void Flush();
    // The contents reach the disk, when durable.
    void SyncContents();
    // Gives the file the target's name and closes it.
    void GiveName();
    void TakeModeOfTarget() const;
    void LinkUnnamedFile();
    void SyncFolder() const;
    void RemoveTemporaryName() const;
    [[noreturn]] void Fail();

    std::string path_;
    FileWriteOptions options_;
    // Empty while the file has no name.
    std::string tempPath_;
    int fd_ = -1;
    std::string buffer_;
};

// The new contents of files that belong together, such as a task's project
// and the files beside it that the project names: writers made with the
// group in their options hand it their files on Commit(), and the group's
// Commit() makes them durable as one. The contents of all are synced side by
// side, so the file system can flush them in one go instead of one after
// another; then each file takes its name in the order the writers committed,
// and the last one's name reaches the disk only after every other's, so
// that a power loss never leaves the last file without the others. The
// files lie in one folder. Destroyed without Commit(), or when Commit()
// fails, it leaves the targets of the files it has not named as they were.
class AtomicFileGroup {
public:
    // Throws EFileError, naming the first file that failed.
    void Commit();

private:
    friend class AtomicFileWriter;

    std::vector<std::unique_ptr<AtomicFileWriter>> writers_;
};

// Removes the temporary files beside `path` that a writer of `path` left when
// it died before Commit(); those a live writer holds open are kept.
void RemoveOrphanTemporaryFiles(const std::string& path);

// Which file a path named after its one writer's last write, and how long it
// was: a file removed, replaced, cut or grown by someone else since then no
// longer matches.
struct FileMark {
    std::uint64_t Device = 0;
    std::uint64_t Inode = 0;
    std::uint64_t Size = 0;

    bool operator==(const FileMark&) const = default;
};

// The mark of the regular file at `path`. Throws EFileError when there is none.
FileMark MarkOfFile(const std::string& path);
// Appends `bytes` to `path` when it is still the file `mark` describes, and
// moves the mark past them; they reach the disk before it returns. False, the
// file untouched, when it is not (or cannot be opened). Throws EFileError
// when the write fails, after cutting the file back to the mark, so a full
// disk never leaves half a line behind.
bool AppendToMarkedFile(const std::string& path, FileMark& mark, std::string_view bytes);

void WriteFileAtomic(const std::string& path, std::string_view bytes,
                     FileWriteOptions options = {});
// Every line, the last one included, ends in CR LF.
void WriteLinesAtomic(const std::string& path, const std::vector<std::string>& lines,
                      FileWriteOptions options = {});

}  // namespace tessellon
