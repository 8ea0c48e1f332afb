// The lock one process at a time holds: refused to a second process with
// the holder's id, taken over once the holder was killed.

#include "platform/process_lock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/files.h"
#include "temp_dir.h"

namespace tessellon {
namespace {

using test::TempDir;

bool Held(const std::variant<std::unique_ptr<ProcessLock>, ProcessLock::HeldBy>& taken) {
    return std::holds_alternative<std::unique_ptr<ProcessLock>>(taken);
}

TEST(ProcessLock, AnotherProcessIsRefusedWithTheHoldersIdUntilTheHolderIsKilled) {
    TempDir dir;
    const std::string path = dir.File("task.tsln.lock");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto taken = ProcessLock::Take(path);
        const char ok = Held(taken) ? '1' : '0';
        (void)::write(ready[1], &ok, 1);
        ::pause();
        ::_exit(0);
    }
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, '1');
    auto refused = ProcessLock::Take(path);
    ASSERT_FALSE(Held(refused));
    EXPECT_EQ(std::get<ProcessLock::HeldBy>(refused).Pid, child);

    // Killed, the holder leaves its file behind, and the lock is free.
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ASSERT_TRUE(FileExists(path));
    auto taken = ProcessLock::Take(path);
    ASSERT_TRUE(Held(taken));
    EXPECT_EQ(ReadFileBytes(path), std::to_string(::getpid()) + "\n");
    // Let go, the lock removes its file.
    taken = ProcessLock::HeldBy{};
    EXPECT_FALSE(FileExists(path));
    ::close(ready[0]);
    ::close(ready[1]);
}

TEST(ProcessLock, ALinkInPlaceOfTheLockFileIsNotFollowed) {
    TempDir dir;
    WriteFileAtomic(dir.File("target"), "keep");
    ASSERT_EQ(::symlink(dir.File("target").c_str(), dir.File("task.tsln.lock").c_str()), 0);
    EXPECT_THROW(ProcessLock::Take(dir.File("task.tsln.lock")), EFileError);
    EXPECT_EQ(ReadFileBytes(dir.File("target")), "keep");
}

TEST(FileFacts, AFilesTimeIsNowWhenJustWritten) {
    TempDir dir;
    WriteFileAtomic(dir.File("tile"), "12345");
    EXPECT_FALSE(FileModifiedUnix(dir.File("none")).has_value());
    const auto modified = FileModifiedUnix(dir.File("tile"));
    ASSERT_TRUE(modified.has_value());
    EXPECT_LE(std::abs(*modified - NowUnix()), 5);
}

}  // namespace
}  // namespace tessellon
