#include "platform/files.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <new>

#include "platform/paths.h"
#include "temp_dir.h"

namespace tessellon {
namespace {

using test::TempDir;

TEST(SplitTextLines, EveryLineBreakKindEndsALineAndAFinalBreakAddsNoLine) {
    const struct {
        std::string text;
        std::vector<std::string> lines;
    } cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\r\n", {"a"}},
        {"a\r\nb", {"a", "b"}},
        {"a\rb\nc\r\n", {"a", "b", "c"}},
        {"\r\n\r\n", {"", ""}},
        {"a\n\rb", {"a", "", "b"}},  // LF then CR: two breaks
        {"x|y\r\n", {"x|y"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SplitTextLines(c.text), c.lines) << testing::PrintToString(c.text);
    }
}

std::ptrdiff_t EntriesIn(const std::string& folder) {
    return std::distance(std::filesystem::directory_iterator(folder),
                         std::filesystem::directory_iterator{});
}

TEST(AtomicWrite, LinesEndInCrLfAndReplaceTheFile) {
    TempDir dir;
    const std::string path = dir.File("list.txt");
    WriteFileAtomic(path, "old contents that are longer");
    WriteLinesAtomic(path, {"one", "", "three"});
    EXPECT_EQ(ReadFileBytes(path), "one\r\n\r\nthree\r\n");
    WriteLinesAtomic(path, {});
    EXPECT_EQ(ReadFileBytes(path), "");
    EXPECT_EQ(EntriesIn(dir.Path()), 1);  // no temporary name left beside it
}

// What a killed download leaves: a target that is either absent or whole.
TEST(AtomicWrite, AProcessKilledBeforeTheCommitLeavesNoTruncatedFile) {
    TempDir dir;
    const std::string replaced = dir.File("old.png");
    const std::string added = dir.File("new.png");
    WriteFileAtomic(replaced, "old tile");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        AtomicFileWriter replacing(replaced);
        replacing.Append(std::string(1 << 20, 'x'));  // more than the buffer: on disk
        AtomicFileWriter adding(added);
        adding.Append(std::string(1 << 20, 'y'));
        ::kill(::getpid(), SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(ReadFileBytes(replaced), "old tile");
    EXPECT_FALSE(FileExists(added));
}

TEST(AtomicWrite, AnUncommittedWriterLeavesTheOldFileAndNoTemporaryFile) {
    TempDir dir;
    const std::string path = dir.File("log.txt");
    WriteFileAtomic(path, "kept");
    {
        AtomicFileWriter writer(path);
        writer.Append(std::string(1 << 20, 'x'));  // larger than the write buffer
    }
    EXPECT_EQ(ReadFileBytes(path), "kept");
    EXPECT_EQ(EntriesIn(dir.Path()), 1);
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

// Sets the umask for one test, so that the modes of new files are known.
class UmaskScope {
public:
    explicit UmaskScope(mode_t mask) : old_(::umask(mask)) {}
    ~UmaskScope() { ::umask(old_); }
    UmaskScope(const UmaskScope&) = delete;
    UmaskScope& operator=(const UmaskScope&) = delete;

private:
    mode_t old_;
};

TEST(AtomicWrite, ARewriteKeepsTheModeAndOwnerOfTheFileItReplaces) {
    const UmaskScope umask(022);
    TempDir dir;
    const std::string config = dir.File("config.ini");
    WriteFileAtomic(config, "[Proxy]\r\n");
    EXPECT_EQ(ModeOf(config), 0644u);
    for (const mode_t mode : {0600u, 0640u, 0400u}) {
        ASSERT_EQ(::chmod(config.c_str(), mode), 0);
        WriteLinesAtomic(config, {"[Proxy]", "ProxyPassword=secret"});
        EXPECT_EQ(ModeOf(config), mode);
    }
    EXPECT_EQ(ReadFileBytes(config), "[Proxy]\r\nProxyPassword=secret\r\n");

    const std::string secret = dir.File("new.ini");
    WriteFileAtomic(secret, "x", {.NewFileMode = kPrivateFileMode});
    EXPECT_EQ(ModeOf(secret), 0600u);
    WriteFileAtomic(secret, "y");
    EXPECT_EQ(ModeOf(secret), 0600u);

    // Only a privileged process can give a file to someone else.
    if (::geteuid() == 0) {
        constexpr uid_t kOther = 4321;
        ASSERT_EQ(::chown(config.c_str(), kOther, kOther), 0);
        WriteFileAtomic(config, "z");
        struct stat st {};
        ASSERT_EQ(::stat(config.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, kOther);
        EXPECT_EQ(st.st_gid, kOther);
    }
    EXPECT_EQ(EntriesIn(dir.Path()), 2);
}

// A task's longest name is checked with this allowance before anything is
// written, so a temporary name never makes a file name too long.
TEST(AtomicWrite, TemporaryNamesAddNoMoreThanTheirAllowance) {
    TempDir dir;
    const long nameMax = ::pathconf(dir.Path().c_str(), _PC_NAME_MAX);
    ASSERT_GT(nameMax, 0);
    const std::string path =
        dir.File(std::string(static_cast<std::size_t>(nameMax) - kTemporaryNameExtra, 'n'));
    WriteFileAtomic(path, "first");
    WriteFileAtomic(path, "second");  // replacing goes through a temporary name
    EXPECT_EQ(ReadFileBytes(path), "second");
    EXPECT_TRUE(CopyFileNoOverwrite(path, path.substr(0, path.size() - 1)));
    EXPECT_EQ(EntriesIn(dir.Path()), 2);
}

TEST(AtomicWrite, LargeStreamsArriveWhole) {
    TempDir dir;
    const std::string path = dir.File("big.txt");
    AtomicFileWriter writer(path);
    std::string expected;
    for (int i = 0; i < 50000; ++i) {
        const std::string line = "line " + std::to_string(i);
        writer.AppendLine(line);
        expected += line + "\r\n";
    }
    writer.Append(std::string(300 * 1024, 'z'));
    expected += std::string(300 * 1024, 'z');
    writer.Commit();
    EXPECT_EQ(ReadFileBytes(path), expected);
}

TEST(AtomicWrite, AnUnwritableFolderRaisesAFileErrorNamingTheFile) {
    TempDir dir;
    const std::string path = dir.File("missing/folder/file.txt");
    try {
        WriteFileAtomic(path, "x");
        FAIL() << "no error";
    } catch (const EFileError& e) {
        EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    }
}

// A group's files take their names only at its Commit(), in order; one that
// cannot take its name stops the rest, which leave their targets as they were
// and no temporary file behind. Dropped uncommitted, the group changes nothing.
TEST(AtomicFileGroup, NamesItsFilesOnlyOnCommitInOrderAndStopsAtAFailure) {
    TempDir dir;
    const std::string list = dir.File("task_list.txt");
    const std::string log = dir.File("task_log.txt");
    const std::string project = dir.File("task.tsln");
    WriteFileAtomic(log, "old log");
    {
        AtomicFileGroup group;
        WriteFileAtomic(list, "list", {.Group = &group});
        WriteLinesAtomic(log, {"new log"}, {.Group = &group});
        EXPECT_FALSE(FileExists(list));
        EXPECT_EQ(ReadFileBytes(log), "old log");
    }
    EXPECT_FALSE(FileExists(list));
    EXPECT_EQ(ReadFileBytes(log), "old log");
    EXPECT_EQ(EntriesIn(dir.Path()), 1);

    AtomicFileGroup group;
    WriteFileAtomic(list, "list", {.Group = &group});
    AtomicFileWriter streamed(log, {.Group = &group});
    streamed.Append(std::string(1 << 20, 'x'));  // more than the write buffer
    streamed.Commit();
    WriteFileAtomic(project, "project", {.Group = &group});
    EXPECT_FALSE(FileExists(project));
    group.Commit();
    EXPECT_EQ(ReadFileBytes(list), "list");
    EXPECT_EQ(ReadFileBytes(log), std::string(1 << 20, 'x'));
    EXPECT_EQ(ReadFileBytes(project), "project");
    EXPECT_EQ(EntriesIn(dir.Path()), 3);

    // A folder in the way of the second file.
    std::filesystem::remove(log);
    std::filesystem::create_directory(log);
    AtomicFileGroup failing;
    WriteFileAtomic(list, "list 2", {.Group = &failing});
    WriteFileAtomic(log, "log 2", {.Group = &failing});
    WriteFileAtomic(project, "project 2", {.Group = &failing});
    try {
        failing.Commit();
        FAIL() << "no error";
    } catch (const EFileError& e) {
        EXPECT_NE(std::string(e.what()).find(log), std::string::npos) << e.what();
    }
    EXPECT_EQ(ReadFileBytes(list), "list 2");
    EXPECT_EQ(ReadFileBytes(project), "project");
    EXPECT_EQ(EntriesIn(dir.Path()), 3);
}

TEST(ReadTextLines, AMissingFileRaisesAFileError) {
    TempDir dir;
    EXPECT_THROW(ReadTextLines(dir.File("nothing.ftl")), EFileError);
    EXPECT_THROW(ReadTextLines(dir.Path()), EFileError);
}

// The message of the EFileError `read` raises; "" when it raises none.
template <typename Read>
std::string FileErrorOf(Read read) {
    try {
        read();
    } catch (const EFileError& e) {
        return e.what();
    }
    return "";
}

// A user may name any file as a project, settings or sources file: a device,
// a FIFO or a huge file is refused at once instead of filling the memory or
// blocking.
TEST(InputFiles, OnlyRegularFilesUpToTheLimitAreRead) {
    TempDir dir;
    const std::string full = dir.File("full.ini");
    WriteFileAtomic(full, std::string(kInputFileLimit, 'a'));
    EXPECT_EQ(ReadInputFile(full).size(), kInputFileLimit);
    EXPECT_EQ(FileErrorOf([&] { CheckInputFile(full); }), "");

    const std::string large = dir.File("large.ini");
    WriteFileAtomic(large, std::string(kInputFileLimit + 1, 'a'));
    const std::string tooLarge = "Cannot open file \"" + large + "\". Larger than 1 MiB.";
    EXPECT_EQ(FileErrorOf([&] { ReadInputFile(large); }), tooLarge);
    EXPECT_EQ(FileErrorOf([&] { CheckInputFile(large); }), tooLarge);

    const std::string fifo = dir.File("fifo.ini");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo, std::string("/dev/zero")}) {
        const std::string notRegular = "Cannot open file \"" + path + "\". Not a regular file.";
        EXPECT_EQ(FileErrorOf([&] { ReadInputFile(path); }), notRegular);
        EXPECT_EQ(FileErrorOf([&] { ReadFileBytes(path); }), notRegular);
        EXPECT_EQ(FileErrorOf([&] { TextLineReader(path, 10); }), notRegular);
    }
    EXPECT_NE(FileErrorOf([&] { CheckInputFile(dir.File("missing.ini")); }), "");
}

TEST(IsAbsentOrRegularFile, RefusesLinksFoldersAndSpecialFiles) {
    TempDir dir;
    WriteFileAtomic(dir.File("file"), "x");
    ASSERT_EQ(::symlink(dir.File("file").c_str(), dir.File("link").c_str()), 0);
    ASSERT_EQ(::symlink(dir.File("gone").c_str(), dir.File("dangling").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
    EXPECT_TRUE(IsAbsentOrRegularFile(dir.File("file")));
    EXPECT_TRUE(IsAbsentOrRegularFile(dir.File("none")));
    for (const char* name : {"link", "dangling", "fifo", ""}) {
        EXPECT_FALSE(IsAbsentOrRegularFile(dir.File(name))) << name;
    }
}

// What both reads of an untrusted file refuse, made by Refusable.
const struct {
    const char* name;
    std::size_t limit;
    const char* reason;
} kRefused[] = {
    {"tile", 4, "larger than 4 bytes"},
    {"link", 100, "a symbolic link, not followed"},
    {"fifo", 100, "a FIFO"},
    {"folder", 100, "a folder"},
};

// A tile of five bytes in `dir` with a link, a FIFO and a folder beside it.
void Refusable(const TempDir& dir) {
    WriteFileAtomic(dir.File("tile"), "12345");
    WriteFileAtomic(dir.File("secret"), "root:x:0:0");
    ASSERT_EQ(::symlink(dir.File("secret").c_str(), dir.File("link").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
    ASSERT_EQ(::mkdir(dir.File("folder").c_str(), 0700), 0);
}

TEST(ReadUntrustedFile, ReadsRegularFilesUpToTheLimitAndNothingBehindALink) {
    TempDir dir;
    ASSERT_NO_FATAL_FAILURE(Refusable(dir));
    std::string bytes = "old";
    std::string reason = "old";
    EXPECT_EQ(ReadUntrustedFile(dir.File("tile"), 5, bytes, reason), UntrustedRead::Read);
    EXPECT_EQ(bytes, "12345");
    EXPECT_EQ(reason, "");
    EXPECT_EQ(ReadUntrustedFile(dir.File("none"), 5, bytes, reason), UntrustedRead::Absent);
    EXPECT_EQ(bytes, "");

    for (const auto& r : kRefused) {
        bytes = "old";
        EXPECT_EQ(ReadUntrustedFile(dir.File(r.name), r.limit, bytes, reason),
                  UntrustedRead::Refused)
            << r.name;
        EXPECT_EQ(reason, r.reason) << r.name;
        EXPECT_EQ(bytes, "") << r.name;
    }
    EXPECT_EQ(ReadUntrustedFile("/dev/zero", 100, bytes, reason), UntrustedRead::Refused);
    EXPECT_EQ(reason, "a device node");
}

// The number of files this process has open.
std::size_t OpenFiles() {
    return static_cast<std::size_t>(
        std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
}

// The read into the caller's memory refuses what the read into a string
// refuses, before it asks for memory, and a file that grows or shrinks
// between the look at its size and the read: the caller's room holds the
// size it was given, no more. No way out leaves the file open.
TEST(ReadUntrustedFile, IntoTheCallersMemoryTakesTheSizeTheFileHadWhenOpened) {
    TempDir dir;
    ASSERT_NO_FATAL_FAILURE(Refusable(dir));
    const std::size_t openBefore = OpenFiles();
    std::string room;
    int asked = 0;
    std::function<void()> meanwhile = [] {};
    const auto read = [&](const std::string& path, std::size_t limit, std::string& reason) {
        return ReadUntrustedFileInto(
            path, limit,
            [&](std::size_t size) {
                ++asked;
                room.assign(size, '\0');
                meanwhile();
                return room.data();
            },
            reason);
    };
    std::string reason = "old";
    EXPECT_EQ(read(dir.File("tile"), 5, reason), UntrustedRead::Read);
    EXPECT_EQ(room, "12345");
    EXPECT_EQ(reason, "");
    EXPECT_EQ(read(dir.File("none"), 5, reason), UntrustedRead::Absent);
    for (const auto& r : kRefused) {
        EXPECT_EQ(read(dir.File(r.name), r.limit, reason), UntrustedRead::Refused) << r.name;
        EXPECT_EQ(reason, r.reason) << r.name;
    }
    EXPECT_EQ(read("/dev/zero", 100, reason), UntrustedRead::Refused);
    EXPECT_EQ(reason, "a device node");
    EXPECT_EQ(asked, 1);

    for (const char* now : {"123456", "1234"}) {
        meanwhile = [&] {
            std::ofstream(dir.File("tile"), std::ios::binary | std::ios::trunc) << now;
        };
        EXPECT_EQ(read(dir.File("tile"), 100, reason), UntrustedRead::Refused) << now;
        EXPECT_EQ(reason, "changed while it was read") << now;
        WriteFileAtomic(dir.File("tile"), "12345");
    }
    meanwhile = [] { throw std::bad_alloc(); };
    EXPECT_THROW(read(dir.File("tile"), 100, reason), std::bad_alloc);
    EXPECT_EQ(ReadUntrustedFileInto(
                  dir.File("tile"), 100, [](std::size_t) { return nullptr; }, reason),
              UntrustedRead::Refused);
    EXPECT_EQ(reason, "no memory for its 5 bytes");
    EXPECT_EQ(OpenFiles(), openBefore);
}

TEST(OutputRefusal, OnlyNothingOrARegularFileMayBeReplaced) {
    TempDir dir;
    WriteFileAtomic(dir.File("file"), "x");
    ASSERT_EQ(::symlink(dir.File("file").c_str(), dir.File("link").c_str()), 0);
    ASSERT_EQ(::symlink(dir.File("gone").c_str(), dir.File("dangling").c_str()), 0);
    ASSERT_EQ(::symlink("/dev/null", dir.File("to-device").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
    for (const char* name : {"file", "link", "dangling", "none"}) {
        EXPECT_EQ(OutputRefusal(dir.File(name)), "") << name;
    }
    EXPECT_EQ(OutputRefusal(dir.File("to-device")), "a device node");
    EXPECT_EQ(OutputRefusal("/dev/full"), "a device node");
    EXPECT_EQ(OutputRefusal(dir.File("fifo")), "a FIFO");
    EXPECT_EQ(OutputRefusal(dir.Path()), "a folder");
}

TEST(RegularFileSize, FollowsLinksToRegularFilesOnly) {
    TempDir dir;
    WriteFileAtomic(dir.File("file"), "12345");
    WriteFileAtomic(dir.File("empty"), "");
    ASSERT_EQ(::symlink(dir.File("file").c_str(), dir.File("link").c_str()), 0);
    ASSERT_EQ(::symlink(dir.File("gone").c_str(), dir.File("dangling").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
    EXPECT_EQ(RegularFileSize(dir.File("file")), 5u);
    EXPECT_EQ(RegularFileSize(dir.File("empty")), 0u);
    EXPECT_EQ(RegularFileSize(dir.File("link")), 5u);
    EXPECT_EQ(RegularFileSizeNoFollow(dir.File("file")), 5u);
    EXPECT_EQ(RegularFileSizeNoFollow(dir.File("link")), std::nullopt);
    for (const char* name : {"dangling", "fifo", "none", ""}) {
        EXPECT_EQ(RegularFileSize(dir.File(name)), std::nullopt) << name;
    }
    RemoveFile(dir.File("link"));
    EXPECT_FALSE(FileExists(dir.File("link")));
    EXPECT_TRUE(FileExists(dir.File("file")));
    RemoveFile(dir.File(""));  // a folder stays
    EXPECT_TRUE(DirectoryExists(dir.Path()));
}

// A look from the open folder finds what a look by the whole path finds,
// whichever folder the file before it was in.
TEST(FolderFileLook, SeesWhatALookByPathSeesAcrossFolders) {
    TempDir dir;
    ASSERT_TRUE(CreateDirectoryOneLevel(dir.File("a")));
    ASSERT_TRUE(CreateDirectoryOneLevel(dir.File("b")));
    WriteFileAtomic(dir.File("a/1.png"), "12345");
    WriteFileAtomic(dir.File("b/1.png"), "123");
    ASSERT_EQ(::symlink(dir.File("a/1.png").c_str(), dir.File("b/link.png").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.File("b/fifo").c_str(), 0600), 0);
    FolderFileLook look;
    for (const char* name : {"a/1.png", "b/1.png", "b/link.png", "a/1.png", "b/fifo", "a/none",
                             "none/1.png", "b/", "a", "b/1.png"}) {
        const std::optional<RegularFileFacts> byPath = LookAtRegularFile(dir.File(name));
        const std::optional<RegularFileFacts> looked = look.Look(dir.File(name));
        ASSERT_EQ(looked.has_value(), byPath.has_value()) << name;
        if (looked) {
            EXPECT_EQ(looked->Size, byPath->Size) << name;
            EXPECT_EQ(looked->ModifiedUnix, byPath->ModifiedUnix) << name;
        }
    }
    EXPECT_EQ(look.Look(dir.File("b/link.png"))->Size, 5u);
    EXPECT_EQ(look.Look("relative-none"), std::nullopt);
}

std::vector<std::string> ReadAllLines(TextLineReader& reader,
                                      std::vector<std::string>* tooLong = nullptr) {
    std::vector<std::string> lines;
    std::string line;
    while (reader.Next(line)) {
        if (reader.LineTooLong() && tooLong != nullptr) {
            tooLong->push_back(line);
        }
        lines.push_back(line);
    }
    return lines;
}

// The reader must give the lines SplitTextLines gives, wherever its reads
// split the file, a CR LF included.
TEST(TextLineReader, GivesTheLinesOfSplitTextLinesOneAtATime) {
    TempDir dir;
    const std::string path = dir.File("list.ftl");
    const std::string longer(70000, 'x');
    for (const std::string& text :
         {std::string(), std::string("a"), std::string("a\r\nb\rc\n\r\n\n"),
          std::string(65535, 'y') + "\r\nz", longer + "\r\n" + longer + "\r" + longer}) {
        WriteFileAtomic(path, text);
        TextLineReader reader(path, 100000);
        EXPECT_EQ(ReadAllLines(reader), SplitTextLines(text)) << text.size();
        reader.Rewind();
        EXPECT_EQ(ReadAllLines(reader), SplitTextLines(text)) << "again " << text.size();
    }
}

TEST(TextLineReader, KeepsTheStartOfALongLineAndGoesOnAfterIt) {
    TempDir dir;
    const std::string path = dir.File("list.ftl");
    WriteFileAtomic(path, "short\r\n" + std::string(200000, 'x') + "\r\nnext\r\n12345");
    TextLineReader reader(path, 5);
    std::vector<std::string> tooLong;
    EXPECT_EQ(ReadAllLines(reader, &tooLong),
              (std::vector<std::string>{"short", "xxxxx", "next", "12345"}));
    EXPECT_EQ(tooLong, std::vector<std::string>{"xxxxx"});
}

TEST(Folders, CreationMakesOneLevelOnly) {
    TempDir dir;
    EXPECT_FALSE(CreateDirectoryOneLevel(dir.File("a/b")));
    EXPECT_FALSE(DirectoryExists(dir.File("a")));
    EXPECT_TRUE(CreateDirectoryOneLevel(dir.File("a")));
    EXPECT_TRUE(DirectoryExists(dir.File("a")));
    EXPECT_FALSE(FileExists(dir.File("a")));
    EXPECT_FALSE(CreateDirectoryOneLevel(dir.File("a")));
}

TEST(CopyFileNoOverwrite, CopiesOnlyWhenTheTargetIsMissing) {
    TempDir dir;
    WriteFileAtomic(dir.File("blank.png"), std::string("\x89PNG\0data", 9));
    WriteFileAtomic(dir.File("tile.png"), "real tile");

    EXPECT_FALSE(CopyFileNoOverwrite(dir.File("blank.png"), dir.File("tile.png")));
    EXPECT_EQ(ReadFileBytes(dir.File("tile.png")), "real tile");

    EXPECT_TRUE(CopyFileNoOverwrite(dir.File("blank.png"), dir.File("new.png")));
    EXPECT_EQ(ReadFileBytes(dir.File("new.png")), std::string("\x89PNG\0data", 9));

    EXPECT_FALSE(CopyFileNoOverwrite(dir.File("absent.png"), dir.File("other.png")));
    EXPECT_FALSE(FileExists(dir.File("other.png")));
}

TEST(Paths, SplitAtTheLastSeparatorAndTheLastDotOfTheName) {
    EXPECT_EQ(ExtractFilePath("/home/u/orvanta/newtask.tsln"), "/home/u/orvanta/");
    EXPECT_EQ(ExtractFileName("/home/u/orvanta/newtask.tsln"), "newtask.tsln");
    EXPECT_EQ(ExtractFileExt("old.area.tsln"), ".tsln");
    EXPECT_EQ(RemoveFileExt("old.area.tsln"), "old.area");
    EXPECT_EQ(ExtractFileExt("/a.b/noext"), "");
    EXPECT_EQ(RemoveFileExt("/a.b/noext"), "/a.b/noext");
    EXPECT_EQ(ExtractFilePath("bare"), "");
    EXPECT_EQ(IncludeTrailingSeparator("/tmp"), "/tmp/");
    EXPECT_EQ(IncludeTrailingSeparator("/tmp/"), "/tmp/");
}

TEST(Paths, AbsolutePathsAreWholeAndNormalisedByTheirTextAlone) {
    const std::string cwd = std::filesystem::current_path().string();
    const std::string home = HomeFolder();
    EXPECT_EQ(AbsolutePath("maps"), cwd + "/maps");
    EXPECT_EQ(AbsolutePath("./x/../x/t.tsln"), cwd + "/x/t.tsln");
    EXPECT_EQ(AbsolutePath("maps/"), cwd + "/maps/");
    EXPECT_EQ(AbsolutePath("."), cwd);
    EXPECT_EQ(AbsolutePath("/srv//tiles/./a/../b"), "/srv/tiles/b");
    EXPECT_EQ(AbsolutePath("/../.."), "/");
    EXPECT_EQ(AbsolutePath("~"), AbsolutePath(home));
    EXPECT_EQ(AbsolutePath("~/orvanta/"), AbsolutePath(home + "/orvanta/"));
    // Only "~" alone or before a separator means home.
    EXPECT_EQ(AbsolutePath("~anna"), cwd + "/~anna");
    EXPECT_EQ(AbsolutePath("a~/b"), cwd + "/a~/b");
    EXPECT_EQ(AbsolutePath(""), "");
}

// The settings places, with the user's folder moved into a temporary one.
class SettingsPlaces : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("XDG_CONFIG_HOME", user.Path().c_str(), 1); }
    void TearDown() override { ::unsetenv("XDG_CONFIG_HOME"); }

    std::string UserFile(const std::string& name) const { return user.File("tessellon/" + name); }

    TempDir program;
    TempDir user;
};

TEST_F(SettingsPlaces, AProgramFolderWithAWritableIniFolderKeepsItsSettings) {
    ASSERT_TRUE(CreateDirectoryOneLevel(program.File("ini")));
    EXPECT_EQ(SettingsFileIn(program.Path(), "config.ini"), program.File("ini/config.ini"));
    EXPECT_FALSE(DirectoryExists(user.File("tessellon")));
    // A portable folder stays portable, whatever the user's folder holds.
    ASSERT_TRUE(CreateDirectories(user.File("tessellon")));
    WriteFileAtomic(UserFile("sources.ini"), "[Topo]\r\n");
    EXPECT_EQ(SettingsFileIn(program.Path(), "sources.ini"), program.File("ini/sources.ini"));
}

TEST_F(SettingsPlaces, AnInstalledProgramKeepsThemInTheUsersConfigFolder) {
    // No ini/ folder that can take the file.
    EXPECT_EQ(SettingsFileIn(program.Path(), "config.ini"), UserFile("config.ini"));
    EXPECT_TRUE(DirectoryExists(user.File("tessellon")));
    EXPECT_FALSE(FileExists(UserFile("config.ini")));  // made by the first write only

    // Without XDG_CONFIG_HOME, or with a relative one, the folder is ~/.config.
    ::setenv("XDG_CONFIG_HOME", "relative", 1);
    EXPECT_EQ(UserConfigFolder(), IncludeTrailingSeparator(HomeFolder()) + ".config/");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(UserConfigFolder(), IncludeTrailingSeparator(HomeFolder()) + ".config/");
}

TEST_F(SettingsPlaces, AShippedFileThatCannotBeWrittenStartsTheUsersFile) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "the superuser writes every folder";
    }
    ASSERT_TRUE(CreateDirectoryOneLevel(program.File("ini")));
    WriteFileAtomic(program.File("ini/config.ini"), "[Proxy]\r\nUseProxy=1\r\n");
    ASSERT_EQ(::chmod(program.File("ini").c_str(), 0555), 0);
    EXPECT_EQ(SettingsFileIn(program.Path(), "config.ini"), UserFile("config.ini"));
    EXPECT_EQ(ReadFileBytes(UserFile("config.ini")), "[Proxy]\r\nUseProxy=1\r\n");
    // The user's file, written since, is read from now on.
    WriteFileAtomic(UserFile("config.ini"), "[Proxy]\r\nUseProxy=0\r\n");
    EXPECT_EQ(SettingsFileIn(program.Path(), "config.ini"), UserFile("config.ini"));
    EXPECT_EQ(ReadFileBytes(UserFile("config.ini")), "[Proxy]\r\nUseProxy=0\r\n");
    ::chmod(program.File("ini").c_str(), 0755);
}

TEST(Folders, CreatingAPathMakesEveryMissingLevel) {
    TempDir dir;
    EXPECT_TRUE(CreateDirectories(dir.File("a/b/c/")));
    EXPECT_TRUE(DirectoryExists(dir.File("a/b/c")));
    EXPECT_TRUE(CreateDirectories(dir.File("a/b")));  // there already
    WriteFileAtomic(dir.File("file"), "x");
    EXPECT_FALSE(CreateDirectories(dir.File("file/d")));
}

TEST(ProgramFolder, IsTheFolderOfThisExecutable) {
    const std::string folder = ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_TRUE(FileExists(folder + "test_platform"));
}

}  // namespace
}  // namespace tessellon
