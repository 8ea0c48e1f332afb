#include "platform/stdio_files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/files.h"
#include "temp_dir.h"

namespace tessellon {
namespace {

using test::TempDir;

std::vector<std::string> NamesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(AtomicStdioFile, TakesTheTargetsNameOnlyWhenCommitted) {
    TempDir dir;
    const std::string target = dir.File("map.png");
    WriteFileAtomic(target, "old");
    {
        AtomicStdioFile file(target);
        ASSERT_EQ(std::fputs("new bytes", file.File()), 1);
        EXPECT_EQ(ReadFileBytes(target), "old");
        file.Commit();
    }
    EXPECT_EQ(ReadFileBytes(target), "new bytes");
    EXPECT_EQ(NamesIn(dir.Path()), std::vector<std::string>{"map.png"});

    {
        AtomicStdioFile file(target);
        std::fputs("abandoned", file.File());
    }
    EXPECT_EQ(ReadFileBytes(target), "new bytes");
    EXPECT_EQ(NamesIn(dir.Path()), std::vector<std::string>{"map.png"});
}

TEST(AtomicStdioFile, AFileThatCannotBeMadeNamesItselfAndTheReason) {
    TempDir dir;
    const std::string target = dir.File("missing/map.png");
    try {
        AtomicStdioFile file(target);
        FAIL() << "made " << target;
    } catch (const EFileError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot write " + target + ": No such file or directory");
    }
}

TEST(DuplicateStreamDescriptor, OutlivesTheStream) {
    TempDir dir;
    std::FILE* stream = std::fopen(dir.File("f").c_str(), "wb");
    ASSERT_NE(stream, nullptr);
    const int descriptor = DuplicateStreamDescriptor(stream);
    ASSERT_GE(descriptor, 0);
    std::fclose(stream);
    EXPECT_EQ(::write(descriptor, "abc", 3), 3);
    CloseDescriptor(descriptor);
    EXPECT_EQ(ReadFileBytes(dir.File("f")), "abc");
}

}  // namespace
}  // namespace tessellon
