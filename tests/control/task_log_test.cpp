// The task log: saves append only what is new, with the bytes a whole
// rewrite gives; a log file lost or cut behind the core's back starts anew
// rather than get a hole; the window gets the newest lines only.

#include "control/task_log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "download_harness.h"
#include "platform/files.h"
#include "temp_dir.h"

namespace tessellon {
namespace {

using test::DownloadHarness;
using test::TempDir;

const std::vector<std::string> kHead = {"Project: /maps/demo.tsln", "", "Start downloading..."};

std::vector<std::string> Joined(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The bytes a whole rewrite of `lines` gives.
std::string Rewritten(const TempDir& dir, const std::vector<std::string>& lines) {
    const std::string path = dir.File("rewritten.txt");
    WriteLinesAtomic(path, lines);
    return ReadFileBytes(path);
}

// Replaces the first bytes of `path` in place, as another program might.
void Overwrite(const std::string& path, const std::string& marker) {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.write(marker.data(), static_cast<std::streamsize>(marker.size()));
}

struct OpenLog {
    TempDir dir;
    std::string file = dir.File("demo_log.txt");
    TaskLog log;

    OpenLog() {
        WriteLinesAtomic(file, kHead);
        log.Open(file, kHead);
    }
};

TEST(TaskLog, SavesAppendTheNewLinesWithTheBytesOfAWholeRewrite) {
    OpenLog l;
    const std::vector<std::string> first = {"T1:seq=1,yn_1_2_13.png OK", "", "a\tb"};
    const std::vector<std::string> second = {"T2:seq=2,yn_3_4_13.png OK", "Task Stoped!"};
    for (const std::string& line : first) {
        l.log.Add(line);
    }
    l.log.Save();
    EXPECT_EQ(ReadFileBytes(l.file), Rewritten(l.dir, Joined(kHead, first)));
    l.log.Save();  // nothing new
    EXPECT_EQ(ReadFileBytes(l.file), Rewritten(l.dir, Joined(kHead, first)));

    // The bytes written before stay as they are on disk: only the new ones
    // are written.
    Overwrite(l.file, "MARKER");
    for (const std::string& line : second) {
        l.log.Add(line);
    }
    l.log.Save();
    std::string expected = Rewritten(l.dir, Joined(Joined(kHead, first), second));
    expected.replace(0, 6, "MARKER");
    EXPECT_EQ(ReadFileBytes(l.file), expected);
}

TEST(TaskLog, HoldsOnlyTheLinesNotYetSaved) {
    OpenLog l;
    l.log.Add("one");
    l.log.Add("two");
    EXPECT_EQ(l.log.Unsaved(), "one\r\ntwo\r\n");
    l.log.Save();
    EXPECT_TRUE(l.log.Unsaved().empty());
    l.log.Add("three");
    EXPECT_EQ(l.log.Unsaved(), "three\r\n");
    // A new start drops what an earlier one left unsaved.
    l.log.Open(l.file, kHead);
    EXPECT_TRUE(l.log.Unsaved().empty());
}

// Appending to a file that is not the one last saved could leave a hole or
// foreign bytes in the middle of the log: it starts anew with the head and the
// lines since the last save.
TEST(TaskLog, ALogFileRemovedCutOrReplacedBehindItsBackStartsAnew) {
    for (const std::string change : {"removed", "cut", "grown", "replaced"}) {
        OpenLog l;
        l.log.Add("saved");
        l.log.Save();
        if (change == "removed") {
            std::remove(l.file.c_str());
        } else if (change == "cut") {
            ASSERT_EQ(::truncate(l.file.c_str(), 5), 0);
        } else if (change == "grown") {
            std::ofstream(l.file, std::ios::app | std::ios::binary) << "foreign";
        } else {
            // The same length, but another file.
            WriteFileAtomic(l.file, std::string(ReadFileBytes(l.file).size(), 'x'));
        }
        l.log.Add("after");
        l.log.Save();
        EXPECT_EQ(ReadFileBytes(l.file), Rewritten(l.dir, Joined(kHead, {"after"}))) << change;
        // From then on it grows by appends again.
        Overwrite(l.file, "MARKER");
        l.log.Add("later");
        l.log.Save();
        std::string expected = Rewritten(l.dir, Joined(kHead, {"after", "later"}));
        expected.replace(0, 6, "MARKER");
        EXPECT_EQ(ReadFileBytes(l.file), expected) << change;
    }
}

TEST(TaskLog, ASaveThatFailsKeepsItsLinesForTheNext) {
    OpenLog l;
    l.log.Add("kept");
    std::remove(l.file.c_str());
    ASSERT_TRUE(CreateDirectoryOneLevel(l.file));
    EXPECT_THROW(l.log.Save(), EFileError);
    EXPECT_EQ(l.log.Unsaved(), "kept\r\n");
    ASSERT_EQ(::rmdir(l.file.c_str()), 0);
    l.log.Save();
    EXPECT_EQ(ReadTextLines(l.file), Joined(kHead, {"kept"}));
}

TEST(TaskLog, TheWindowGetsTheNewestLinesUnderOneLineAboutTheFile) {
    TempDir dir;
    const std::string file = dir.File("log.txt");
    WriteFileAtomic(file, "1\r\n2\n3\r4\r\n");
    EXPECT_EQ(NewestLogLines(file, 4), (std::vector<std::string>{"1", "2", "3", "4"}));
    EXPECT_EQ(NewestLogLines(file, 3),
              (std::vector<std::string>{kOlderLogLinesLine, "2", "3", "4"}));
    EXPECT_EQ(NewestLogLines(file, 1), (std::vector<std::string>{kOlderLogLinesLine, "4"}));
}

TEST(TaskLog, AFrontEndThatShowsNoneOfTheLogStillAppendsToIt) {
    TempDir dir;
    const std::string file = dir.File("log.txt");
    WriteFileAtomic(file, "old 1\r\nold 2\r\n");
    TaskLog log;
    EXPECT_TRUE(log.Open(file, kHead, 0).empty());
    log.Add("new");
    log.Save();
    EXPECT_EQ(ReadFileBytes(file), "old 1\r\nold 2\r\nnew\r\n");
}

// Through the control: it keeps no line once saved, and a continued task
// with a long log shows its newest lines only.
TEST(TaskLog, TheControlKeepsNoLineOnceSavedAndShowsTheNewestOfALongLog) {
    DownloadHarness h;
    const TaskFields fields = h.SampleFields();
    ASSERT_TRUE(h.control->Start(fields));
    const std::string file = h.control->CurrentTask()->LogFileName;
    h.control->AppendLogLine("probe");
    EXPECT_EQ(h.control->UnsavedLog(), "probe\r\n");
    ASSERT_TRUE(h.RunToEnd());
    EXPECT_TRUE(h.control->UnsavedLog().empty());
    EXPECT_EQ(ReadTextLines(file), h.frontEnd.log);

    // A log far longer than the window.
    {
        AtomicFileWriter writer(file);
        for (std::size_t i = 0; i < kLogWindowLines + 10; ++i) {
            writer.AppendLine("line " + std::to_string(i));
        }
        writer.Commit();
    }
    ASSERT_TRUE(h.control->Start(fields));
    const std::vector<std::string>& shown = h.frontEnd.log;
    ASSERT_EQ(shown.size(), kLogWindowLines + 1);
    EXPECT_EQ(shown[0], kOlderLogLinesLine);
    EXPECT_EQ(shown[1], "line 13");  // 3 continuation lines follow the last
    EXPECT_EQ(shown.back().rfind("Now time is:", 0), 0u);
    h.control->Shutdown();
}

}  // namespace
}  // namespace tessellon
