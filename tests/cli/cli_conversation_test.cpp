// What tessellon-cli says and asks: its version, usage errors, the lines a
// continued run prints, --quiet, the progress line on a terminal, the
// summary of a zoom range, the choice of a source by name, the questions of
// a start and the save folder it makes or leaves.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "cli_fixture.h"
#include "geo/tile_math.h"
#include "platform/files.h"
#include "platform/ini_file.h"

namespace tessellon {
namespace {

using namespace std::chrono_literals;

std::vector<std::string> With(std::vector<std::string> args, const std::string& option,
                              const std::string& value) {
    const auto at = std::find(args.begin(), args.end(), option);
    if (at == args.end()) {
        args.insert(args.end(), {option, value});
    } else {
        *(at + 1) = value;
    }
    return args;
}

std::size_t Lines(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

TEST_F(Cli, TellsItsVersionAndAUsageErrorInOneLine) {
    const Outcome version = Execute({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "tessellon-cli 5.23\n");

    for (const std::vector<std::string>& wrong :
         {std::vector<std::string>{"download", "--bogus", "x"},
          std::vector<std::string>{"convert", "1"}, std::vector<std::string>{"fly"},
          std::vector<std::string>{"--version", "download"}}) {
        const Outcome run = Execute(wrong);
        EXPECT_EQ(run.status, 1) << wrong[0];
        EXPECT_EQ(Lines(run.err), 1U) << run.err;
        EXPECT_TRUE(run.err.starts_with("tessellon-cli: ")) << run.err;
        EXPECT_TRUE(run.err.ends_with(" (see tessellon-cli --help)\n")) << run.err;
        EXPECT_EQ(run.out, "");
    }
}

// A range written another way is told the form the command takes, not that
// the zoom is out of range; nothing is made.
TEST_F(Cli, AZoomRangeWrittenAnotherWayIsToldTheFormItTakes) {
    for (const char* zooms : {"12..13", "12:13", "12 13", "12..", "12,13", " 12 to 13"}) {
        const Outcome run = Execute(With(DownloadArgs(), "--zoom", zooms));
        EXPECT_EQ(run.status, 1) << zooms;
        EXPECT_NE(run.err.find("a range such as 12-15"), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("Zoom level should be"), std::string::npos) << run.err;
    }
    // One zoom out of range keeps its own message.
    const Outcome high = Execute(With(DownloadArgs(), "--zoom", "20"));
    EXPECT_EQ(high.status, 1);
    EXPECT_EQ(high.err, "Zoom level should be between 1 and 19.\n");
    EXPECT_FALSE(std::filesystem::exists(dir.File("maps")));
}

// A continued run prints what it adds to the log; the file keeps it all.
// --quiet prints no log line at all, only the messages.
TEST_F(Cli, AContinuedRunPrintsOnlyItsNewLinesAndQuietNone) {
    StartServer();
    const Outcome first = Execute(DownloadArgs());
    ASSERT_EQ(first.status, 0) << first.err;
    const Outcome again = Execute(DownloadArgs());
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_TRUE(again.out.starts_with(std::string(44, '-') + "\nLog continue...\nNow time is:"))
        << again.out;
    EXPECT_EQ(again.out.find("Project: "), std::string::npos) << again.out;
    EXPECT_EQ(again.out.find(" OK"), std::string::npos) << again.out;
    EXPECT_NE(again.out.find("\nTask Stoped!\n"), std::string::npos) << again.out;
    const std::string log = ReadFileBytes(dir.File("maps/area_log.txt"));
    EXPECT_EQ(log.rfind("Project: ", 0), 0U);
    EXPECT_NE(log.find(" OK\r\n"), std::string::npos);
    EXPECT_NE(log.find("Log continue..."), std::string::npos);

    std::vector<std::string> args = DownloadArgs("116.3", "quiet.tsln");
    args.push_back("--quiet");
    const Outcome silent = Execute(args);
    EXPECT_EQ(silent.status, 0) << silent.err;
    EXPECT_EQ(silent.out, "");
    EXPECT_EQ(silent.err, "Task stoped!" + std::string(20, ' ') + "\nAll 42 tiles downloaded.\n");
    EXPECT_NE(ReadFileBytes(dir.File("maps/quiet_log.txt")).find(" OK"), std::string::npos);
}

// On a terminal the progress line is taken away before any message, and none
// is drawn after the closing one.
TEST_F(Cli, TheProgressLineNeverRunsIntoAMessage) {
    StartServer();
    const PseudoTerminal screen;
    terminal = screen.Path();
    const Outcome run = Wait(Spawn(DownloadArgs(), "20"));
    EXPECT_EQ(run.status, 0);
    const std::string shown = screen.Shown();
    const std::size_t closing = shown.find("Task stoped!");
    ASSERT_NE(closing, std::string::npos) << shown;
    const std::size_t lastProgress = shown.rfind(" tiles/s");
    ASSERT_NE(lastProgress, std::string::npos) << shown;
    EXPECT_LT(lastProgress, closing) << shown;
    // The last progress line was erased, and the message starts where it was.
    EXPECT_EQ(shown.substr(closing - 4, 4), "\r\033[K") << shown;
    EXPECT_EQ(shown.find("\033", closing), std::string::npos) << shown;
}

// The summary of a range names every zoom: after Ctrl-C the zooms the run
// did not reach are named as such.
TEST_F(Cli, AZoomRangeSummaryNamesEveryZoomAlsoWhenStopped) {
    StartServer();
    const std::vector<std::string> args = With(DownloadArgs("116.3", "pyr"), "--zoom", "12-14");
    const pid_t pid = Spawn(args, "200");
    for (int i = 0; i < 500 && !FileExists(dir.File("maps/pyr/yn_3371_1550_12.png")); ++i) {
        std::this_thread::sleep_for(10ms);
    }
    ::kill(pid, SIGINT);
    const Outcome stopped = Wait(pid);
    EXPECT_EQ(stopped.status, 3) << stopped.err;
    const std::size_t zooms = stopped.err.find("\nZoom 12: ");
    ASSERT_NE(zooms, std::string::npos) << stopped.err;
    const std::int64_t lowest = CoveringTiles({116.3, 116.5, 40, 39.8}, 12).Count();
    EXPECT_NE(stopped.err.find(" of " + std::to_string(lowest) +
                                   " tiles.\nZoom 13: not reached (42 tiles).\n"
                                   "Zoom 14: not reached (143 tiles).\n",
                               zooms),
              std::string::npos)
        << stopped.err;
    // A run of one zoom keeps its summary as it was.
    const Outcome single = Execute(DownloadArgs());
    EXPECT_EQ(single.err, "Task stoped!" + std::string(20, ' ') + "\nAll 42 tiles downloaded.\n");
}

// Names match as sections do, without regard to case; an unknown name is
// told with the names there are; only the chosen source's refusal is told.
TEST_F(Cli, ASourceIsNamedInAnyCaseAndAnUnknownOneListsTheKnown) {
    StartServer();
    const std::string file = dir.File("sources.ini");
    WriteLinesAtomic(file, {"[Local]", "Url=" + ServerUrl("/{z}/{x}/{y}.png"), "[Bad]",
                            "Url=http://127.0.0.1:1/{z}/{x}/{y}.png", "Workers=9", "[Tms]",
                            "Url=" + ServerUrl("/tms/{z}/{x}/{-y}.png")});
    const auto run = [&](const std::string& name) {
        return Execute(SourceArgs("area.tsln", {"--source", name, "--sources", file}));
    };
    const Outcome lower = run("lOCAL");
    EXPECT_EQ(lower.status, 0) << lower.err;
    EXPECT_EQ(lower.err, "Task stoped!" + std::string(20, ' ') + "\nAll 42 tiles downloaded.\n");
    EXPECT_NE(lower.out.find("\nSource: Local\n"), std::string::npos) << lower.out;

    const Outcome unknown = run("Other");
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(unknown.err,
              "No usable source \"Other\" in " + file + ".\nKnown sources: Local, Tms.\n");
    const Outcome refused = run("bad");
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "Source 'Bad': Workers must be 1..8.\nNo usable source \"bad\" in " +
                               file + ".\nKnown sources: Local, Tms.\n");
}

// On a terminal the replace question is asked and answered there; No (or
// Enter) keeps the other task's project.
TEST_F(Cli, TheReplaceQuestionIsAnsweredOnATerminal) {
    StartServer();
    ASSERT_EQ(Execute(DownloadArgs()).status, 0);
    const std::string project = ReadFileBytes(dir.File("maps/area.tsln"));
    const PseudoTerminal screen;
    terminal = screen.Path();
    const std::string question =
        "A task named area.tsln already exists in this folder with other settings. Replace it? "
        "[y/N] ";
    for (const char* answer : {"\n", "n\n", "nope\n"}) {
        screen.Type(answer);
        const Outcome kept = Wait(Spawn(With(DownloadArgs(), "--zoom", "12")));
        EXPECT_EQ(kept.status, 1) << answer;
        EXPECT_NE(screen.Shown().find(question), std::string::npos) << answer;
        EXPECT_EQ(ReadFileBytes(dir.File("maps/area.tsln")), project) << answer;
    }
    screen.Type(" y\n");
    const Outcome replaced = Wait(Spawn(With(DownloadArgs(), "--zoom", "12")));
    EXPECT_EQ(replaced.status, 0);
    EXPECT_NE(screen.Shown().find(question), std::string::npos);
    EXPECT_NE(ReadFileBytes(dir.File("maps/area.tsln")).find("Zoom=12"), std::string::npos);
}

// Every missing folder of --path is made; when one cannot be, the message
// says why.
TEST_F(Cli, MissingFoldersOfThePathAreMadeOrTheReasonTold) {
    StartServer();
    const Outcome deep = Execute(With(DownloadArgs(), "--path", dir.File("trips/alps/2025")));
    EXPECT_EQ(deep.status, 0) << deep.err;
    EXPECT_TRUE(FileExists(dir.File("trips/alps/2025/area.tsln")));

    WriteFileAtomic(dir.File("plain"), "a file, not a folder");
    const Outcome blocked = Execute(With(DownloadArgs(), "--path", dir.File("plain/maps/x")));
    EXPECT_EQ(blocked.status, 1);
    EXPECT_EQ(blocked.err,
              "Create directory " + dir.File("plain/maps/x") + " Failed. Not a directory.\n");
}

// A start refused after its folders were made takes them back: a refused
// huge task, bounds that make no area, a replace not agreed to.
TEST_F(Cli, ARefusedStartLeavesNoFolderBehind) {
    StartServer();
    const std::string path = dir.File("new/deeper");
    const Outcome huge = Execute(With(With(DownloadArgs(), "--zoom", "19"), "--path", path));
    EXPECT_EQ(huge.status, 1);
    EXPECT_NE(huge.err.find("Start it?"), std::string::npos) << huge.err;
    EXPECT_FALSE(std::filesystem::exists(dir.File("new"))) << huge.err;

    const Outcome bounds = Execute(With(DownloadArgs("116.6"), "--path", path));
    EXPECT_EQ(bounds.status, 1);
    EXPECT_EQ(bounds.err, "Left Longitude should less than Right Longitude!\n");
    EXPECT_FALSE(std::filesystem::exists(dir.File("new")));

    // A folder that was there before stays, as does what it holds.
    std::filesystem::create_directories(dir.File("kept"));
    const Outcome kept =
        Execute(With(With(DownloadArgs(), "--zoom", "19"), "--path", dir.File("kept/sub")));
    EXPECT_EQ(kept.status, 1);
    EXPECT_TRUE(std::filesystem::exists(dir.File("kept")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("kept/sub")));
}

}  // namespace
}  // namespace tessellon
