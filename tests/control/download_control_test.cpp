#include "control/download_control.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

#include "control/run_loop.h"
#include "download_harness.h"
#include "net/net_errors.h"
#include "platform/files.h"
#include "platform/ini_file.h"

namespace tessellon {
namespace {

using namespace std::chrono_literals;
using test::CountContaining;
using test::DownloadHarness;
using test::WithFault;

// The closing box: the first line as it always was, then how the task ended.
std::string FinalMessage(const std::string& ending) {
    return "Task stoped!" + std::string(20, ' ') + "\n" + ending;
}

std::string StoppedAfter(const DownloadControl& control) {
    return "Stopped after " + std::to_string(control.Progress().Done) + " of 42 tiles.";
}

// The tiles named in "T<n>:seq=<s>,<file> OK" lines.
std::multiset<std::string> SavedTiles(const std::vector<std::string>& log) {
    std::multiset<std::string> tiles;
    for (const std::string& line : log) {
        const std::size_t comma = line.find(',');
        if (line.size() > 3 && line.compare(line.size() - 3, 3, " OK") == 0 &&
            comma != std::string::npos) {
            tiles.insert(line.substr(comma + 1, line.size() - 3 - comma - 1));
        }
    }
    return tiles;
}

// A source task runs the source's number of workers with the source's
// manners: here over HTTPS to a server whose certificate cannot verify,
// which Insecure=1 accepts.
TEST(DownloadControl, ASourceTaskDownloadsWithTheSourcesWorkersAndManners) {
    tileserver::TileServerOptions options = test::ServerOptions();
    options.tls = true;
    DownloadHarness h(options);
    ASSERT_TRUE(h.Download(
        h.SourceFields({{"Workers", "3"}, {"PauseMs", "0"}, {"Insecure", "1"}}, "https")));
    EXPECT_FALSE(h.control->Outcome().EndedByPolicy);
    EXPECT_EQ(h.control->Outcome().FailedTiles, 0);
    const MDTask& task = *h.control->CurrentTask();
    EXPECT_EQ(task.Params->ThreadCount, 3);
    EXPECT_EQ(CountContaining(h.frontEnd.log, " Finished."), 3);
    EXPECT_EQ(SavedTiles(h.frontEnd.log).size(), 42u);
    for (std::int32_t x = task.MinX; x <= task.MaxX; ++x) {
        for (std::int32_t y = task.MinY; y <= task.MaxY; ++y) {
            const std::string path =
                task.ImageFolder + "tl_" + std::to_string(x) + "_" + std::to_string(y) + "_13.png";
            EXPECT_EQ(ReadFileBytes(path).substr(1, 3), "PNG") << path;
        }
    }
}

TEST(DownloadControl, ARefusedStartShowsOneMessageAndWritesNoTaskFile) {
    DownloadHarness h;
    TaskFields fields = h.SampleFields();
    fields.LeftLongitude = "-180.5";
    EXPECT_FALSE(h.control->Start(fields));
    EXPECT_EQ(h.frontEnd.messages,
              std::vector<std::string>{"Left Longitude should be between -180 and 180."});
    EXPECT_FALSE(FileExists(fields.SavePath + "/newtask.tsln"));
    EXPECT_EQ(h.control->ButtonCaption(), "Start");
    EXPECT_EQ(h.control->CurrentTask(), nullptr);
}

TEST(DownloadControl, AWholeDownloadSavesEveryTileAndClosesItsLog) {
    DownloadHarness h;
    const TaskFields fields = h.SampleFields();
    ASSERT_TRUE(h.control->Start(fields));
    EXPECT_EQ(h.control->ButtonCaption(), "Stop");
    EXPECT_EQ(h.control->TotalLabel(), "Total images: 42");
    EXPECT_EQ(h.control->RunningThreadCount(), 8);
    ASSERT_TRUE(h.RunToEnd());

    const MDTask& task = *h.control->CurrentTask();
    for (std::int32_t x = task.MinX; x <= task.MaxX; ++x) {
        for (std::int32_t y = task.MinY; y <= task.MaxY; ++y) {
            const std::string tile = ReadFileBytes(task.GetTilePath({task.Params->Zoom, x, y}));
            ASSERT_EQ(tile.substr(0, 8), "\x89PNG\r\n\x1a\n") << x << "," << y;
        }
    }
    const std::vector<std::string>& log = h.frontEnd.log;
    EXPECT_EQ(SavedTiles(log).size(), 42u);
    EXPECT_EQ(CountContaining(log, " Finished."), 8);
    ASSERT_GE(log.size(), 7u);
    const std::vector<std::string> closing(log.end() - 7, log.end());
    EXPECT_EQ(closing[0], "");
    EXPECT_EQ(closing[1], "--------------------------------");
    EXPECT_EQ(closing[2], "Task Stoped!");
    EXPECT_EQ(closing[3], "");
    EXPECT_EQ(closing[4].rfind("Now time:", 0), 0u);
    EXPECT_EQ(closing[5], "");
    EXPECT_EQ(closing[6], "Log file has been saved as " + task.LogFileName);
    EXPECT_EQ(h.frontEnd.messages,
              std::vector<std::string>{FinalMessage("All 42 tiles downloaded.")});
    EXPECT_EQ(h.control->ButtonCaption(), "Start");
    EXPECT_FALSE(h.control->TimerEnabled());

    // The log and the failed-tile list went to their files whole.
    EXPECT_EQ(ReadTextLines(task.LogFileName), log);
    EXPECT_EQ(ReadFileBytes(task.FailedFileName), "");
    // Every worker's last tile is in the project file.
    const IniFile project(task.ProjectFileName());
    for (int slot = 1; slot <= 8; ++slot) {
        EXPECT_GT(project.ReadInteger("THREADS", ThreadSlotKey(slot, 'X'), 0), 0) << slot;
        EXPECT_GT(project.ReadInteger("THREADS", ThreadSlotKey(slot, 'Y'), 0), 0) << slot;
    }
    const DownloadProgress progress = h.control->Progress();
    EXPECT_EQ(progress.Done, 42);
    EXPECT_EQ(progress.Total, 42);
    EXPECT_EQ(progress.Failed, 0);
    EXPECT_FALSE(h.control->Outcome().Stopped);
}

TEST(DownloadControl, FewerTilesThanEightStartOneWorkerPerTile) {
    DownloadHarness h;
    TaskFields fields = h.SampleFields();
    fields.RightLongitude = "116.3";  // one column of seven rows
    fields.BottomLatitude = "39.92";  // three of them
    ASSERT_TRUE(h.control->Start(fields));
    EXPECT_EQ(h.control->CurrentTask()->TotalCount, 3);
    EXPECT_EQ(h.control->RunningThreadCount(), 3);
    ASSERT_TRUE(h.RunToEnd());
    EXPECT_EQ(CountContaining(h.frontEnd.log, " Finished."), 3);
    const std::vector<std::string> project =
        ReadTextLines(h.control->CurrentTask()->ProjectFileName());
    EXPECT_NE(std::find(project.begin(), project.end(), "ThreadCount=3"), project.end());
    EXPECT_NE(std::find(project.begin(), project.end(), "T8Y="), project.end());
}

TEST(DownloadControl, StopAsksEveryWorkerInOrderAndTheTimerFinishesTheTask) {
    Pacing slow(test::kPaceScale);
    slow.AfterTile = 200ms;
    DownloadHarness h(test::ServerOptions(), slow);
    ASSERT_TRUE(h.control->Start(h.SampleFields()));
    h.RunFor(50ms);
    h.control->BitBtn1Click(h.SampleFields());  // the caption is "Stop"
    const std::vector<std::string>& log = h.frontEnd.log;
    for (int i = 1; i <= 8; ++i) {
        EXPECT_EQ(CountContaining(log, "Thread" + std::to_string(i) +
                                           "will be terminated by user. please wait..."),
                  1);
    }
    EXPECT_EQ(h.control->ButtonCaption(), "Stop");
    ASSERT_TRUE(h.RunToEnd(5s));
    EXPECT_EQ(h.frontEnd.messages,
              std::vector<std::string>{FinalMessage(StoppedAfter(*h.control))});
    EXPECT_EQ(CountContaining(log, " Finished."), 8);
    EXPECT_LT(SavedTiles(log).size(), 42u);
    EXPECT_TRUE(h.control->Outcome().Stopped);
}

TEST(DownloadControl, TheRunLoopPressesStopOnceForARequestThatStaysAndEndsWithTheTask) {
    Pacing slow(test::kPaceScale);
    slow.AfterTile = 200ms;
    DownloadHarness h(test::ServerOptions(), slow);
    int passes = 0;
    // Like Ctrl-C, the request is never taken back.
    RunLoopHooks hooks;
    hooks.StopRequested = [&] { return passes >= 3; };
    hooks.AfterPass = [&] { ++passes; };
    RunLoop loop(*h.control, h.sync, test::kPaceScale, hooks);
    ASSERT_TRUE(h.control->Start(h.SampleFields()));
    loop.Run();
    EXPECT_FALSE(h.control->Running());
    EXPECT_TRUE(h.control->Outcome().Stopped);
    const std::vector<std::string>& log = h.frontEnd.log;
    EXPECT_EQ(CountContaining(log, "will be terminated by user."), 8);
    EXPECT_LT(SavedTiles(log).size(), 42u);
    EXPECT_EQ(ReadTextLines(h.control->CurrentTask()->LogFileName), log);
    EXPECT_EQ(h.frontEnd.messages,
              std::vector<std::string>{FinalMessage(StoppedAfter(*h.control))});
}

// The window's timer finishes a task on its next tick, however long after
// the last worker's end. The command line's loop finishes it on that end,
// with the closing saves, though its first tick is an hour away.
TEST(DownloadControl, TheWindowFinishesOnATickTheRunLoopOnTheLastWorkersEnd) {
    DownloadHarness h;
    ASSERT_TRUE(h.control->Start(h.OneTileFields()));
    const auto limit = std::chrono::steady_clock::now() + 10s;
    while (h.control->RunningThreadCount() > 0 && std::chrono::steady_clock::now() < limit) {
        h.sync.ServePending(50ms);
    }
    ASSERT_EQ(h.control->RunningThreadCount(), 0);
    EXPECT_TRUE(h.control->Running());
    EXPECT_TRUE(h.frontEnd.messages.empty());
    h.control->Timer1Timer();
    EXPECT_FALSE(h.control->Running());
    EXPECT_EQ(h.frontEnd.messages,
              std::vector<std::string>{FinalMessage("All 1 tiles downloaded.")});

    RunLoop loop(*h.control, h.sync, std::chrono::hours(1));
    TaskFields fields = h.SampleFields();
    fields.TaskName = "second.tsln";
    ASSERT_TRUE(h.control->Start(fields));
    ASSERT_TRUE(loop.RunUntil(std::chrono::steady_clock::now() + 10s));
    EXPECT_FALSE(h.control->Running());
    EXPECT_EQ(h.frontEnd.messages.back(), FinalMessage("All 42 tiles downloaded."));
    const MDTask& task = *h.control->CurrentTask();
    EXPECT_EQ(ReadTextLines(task.LogFileName), h.frontEnd.log);
    EXPECT_EQ(h.frontEnd.log.back(), "Log file has been saved as " + task.LogFileName);
    const IniFile project(task.ProjectFileName());
    for (int slot = 1; slot <= 8; ++slot) {
        EXPECT_GT(project.ReadInteger("THREADS", ThreadSlotKey(slot, 'X'), 0), 0) << slot;
    }
}

// With the offsets of an hour, only a source without a pause gets its
// workers going: they start together.
TEST(DownloadControl, TheWorkersOfASourceWithoutAPauseStartWithoutOffsets) {
    Pacing pace(test::kPaceScale);
    pace.StartOffset = std::chrono::hours(1);
    DownloadHarness h(test::ServerOptions(), pace);
    ASSERT_TRUE(h.Download(h.SourceFields({{"Workers", "8"}, {"PauseMs", "0"}}), 10s));
    EXPECT_EQ(SavedTiles(h.frontEnd.log).size(), 42u);
    EXPECT_EQ(CountContaining(h.frontEnd.log, " Finished."), 8);
}

// Typed as "40.0" and "demo", the task's file holds "40" and "demo.tsln":
// still the same task.
TEST(DownloadControl, AStoppedTaskContinuesAndFetchesEveryTileExactlyOnceOverBothRuns) {
    Pacing slow(test::kPaceScale);
    slow.AfterTile = 30ms;
    DownloadHarness h(test::ServerOptions(), slow);
    TaskFields fields = h.SampleFields();
    fields.TopLatitude = "40.0";
    fields.TaskName = "demo";
    ASSERT_TRUE(h.control->Start(fields));
    h.RunFor(100ms);
    h.control->Stop();
    ASSERT_TRUE(h.RunToEnd(5s));
    const std::multiset<std::string> first = SavedTiles(h.frontEnd.log);
    ASSERT_GT(first.size(), 0u);
    ASSERT_LT(first.size(), 42u);
    const std::vector<std::string> firstLog = h.frontEnd.log;
    WriteFileAtomic(h.control->CurrentTask()->FailedFileName, "/kept/record.png|http://h/u\r\n");

    ASSERT_TRUE(h.Download(fields));
    EXPECT_TRUE(h.control->CurrentTask()->Params->ContinueTask);
    const std::vector<std::string>& log = h.frontEnd.log;
    // The earlier log stays at the head, followed by the continuation lines.
    ASSERT_GT(log.size(), firstLog.size() + 3);
    EXPECT_TRUE(std::equal(firstLog.begin(), firstLog.end(), log.begin()));
    EXPECT_EQ(log[firstLog.size()], "--------------------------------------------");
    EXPECT_EQ(log[firstLog.size() + 1], "Log continue...");
    EXPECT_EQ(log[firstLog.size() + 2].rfind("Now time is:", 0), 0u);

    const std::multiset<std::string> all = SavedTiles(log);
    EXPECT_EQ(all.size(), 42u);
    EXPECT_EQ(std::set<std::string>(all.begin(), all.end()).size(), 42u) << "a tile fetched twice";
    EXPECT_EQ(h.control->Memo2(), std::vector<std::string>{"/kept/record.png|http://h/u"});
    EXPECT_EQ(h.control->Progress().Done, 42);
    EXPECT_TRUE(h.frontEnd.questions.empty());
}

// Another task's project of that name is replaced only after a Yes; a No
// leaves every file of it as it was and starts nothing.
TEST(DownloadControl, ReplacingAnotherTasksProjectAsksFirst) {
    DownloadHarness h;
    ASSERT_TRUE(h.Download(h.OneTileFields()));
    const std::string project = h.control->CurrentTask()->Params->SavePath + "newtask.tsln";
    const std::string log = h.control->CurrentTask()->LogFileName;
    const std::string projectBefore = ReadFileBytes(project);
    const std::string logBefore = ReadFileBytes(log);
    const std::size_t messagesBefore = h.frontEnd.messages.size();

    TaskFields other = h.OneTileFields();
    other.Zoom = "12";
    const std::string question =
        "A task named newtask.tsln already exists in this folder with other settings. Replace it?";
    EXPECT_FALSE(h.control->Start(other));
    EXPECT_EQ(h.frontEnd.questions, std::vector<std::string>{question});
    EXPECT_EQ(h.frontEnd.messages.size(), messagesBefore);
    EXPECT_EQ(ReadFileBytes(project), projectBefore);
    EXPECT_EQ(ReadFileBytes(log), logBefore);
    EXPECT_FALSE(h.control->Running());

    h.frontEnd.confirmAnswers = {true};
    ASSERT_TRUE(h.Download(other));
    EXPECT_EQ(h.frontEnd.questions.size(), 2u);
    EXPECT_FALSE(h.control->CurrentTask()->Params->ContinueTask);
    EXPECT_NE(ReadFileBytes(project).find("Zoom=12"), std::string::npos);
}

// A start called off at any point of writing the task's files (the command
// line's Ctrl-C) leaves nothing it made: no tile list, whole or partial, no
// log, failed-tile list or project, and no tile folder; a tile folder that
// was there before stays. The first start not called off runs.
TEST(DownloadControl, AStartCalledOffRemovesWhatItWrote) {
    DownloadHarness h;
    const TaskFields fields = h.SampleFields();
    const auto entries = [&] {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(fields.SavePath)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    };
    bool started = false;
    int calledOffAt = 1;
    for (; !started && calledOffAt < 100; ++calledOffAt) {
        SCOPED_TRACE("called off at check " + std::to_string(calledOffAt));
        int checks = 0;
        DownloadSettings settings;
        settings.ConfigFileName = h.configFile;
        settings.ProgramFolder = ProgramFolder();
        settings.StartCancelled = [&] { return ++checks >= calledOffAt; };
        DownloadControl control(settings, h.frontEnd, h.sync);
        started = control.Start(fields);
        if (started) {
            control.Shutdown();
            break;
        }
        EXPECT_EQ(h.frontEnd.messages.back(), "Start cancelled.");
        EXPECT_EQ(entries(), std::set<std::string>{});
    }
    // Called off in the list, past it and before the project, then run.
    EXPECT_TRUE(started);
    EXPECT_GT(calledOffAt, 4);
    EXPECT_TRUE(FileExists(fields.SavePath + "/newtask.tsln"));

    // Another task whose folder is there already keeps it, empty or not.
    TaskFields other = fields;
    other.TaskName = "other";
    ASSERT_TRUE(CreateDirectoryOneLevel(fields.SavePath + "/other"));
    DownloadSettings settings;
    settings.ConfigFileName = h.configFile;
    settings.ProgramFolder = ProgramFolder();
    settings.StartCancelled = [] { return true; };
    DownloadControl control(settings, h.frontEnd, h.sync);
    EXPECT_FALSE(control.Start(other));
    EXPECT_TRUE(DirectoryExists(fields.SavePath + "/other"));
    EXPECT_FALSE(FileExists(fields.SavePath + "/other.tsln"));
}

// A new task of more than 100,000 tiles starts only after a Yes; when it
// continues, it was agreed to already.
TEST(DownloadControl, AHugeTaskAsksBeforeItWritesAnything) {
    DownloadHarness h;
    TaskFields huge = h.SampleFields();
    huge.Zoom = "19";
    EXPECT_FALSE(h.control->Start(huge));
    ASSERT_EQ(h.frontEnd.questions.size(), 1u);
    EXPECT_EQ(h.frontEnd.questions[0].rfind("This task has 111252 tiles: about ", 0), 0u)
        << h.frontEnd.questions[0];
    EXPECT_FALSE(FileExists(huge.SavePath + "/newtask.tsln"));
    EXPECT_FALSE(DirectoryExists(huge.SavePath + "/newtask"));
    EXPECT_TRUE(h.frontEnd.messages.empty());

    h.frontEnd.confirmAnswers = {true};
    ASSERT_TRUE(h.control->Start(huge));
    EXPECT_EQ(h.control->Progress().Total, 111252);
    h.control->Shutdown();
    ASSERT_TRUE(h.control->Start(huge));
    EXPECT_TRUE(h.control->CurrentTask()->Params->ContinueTask);
    EXPECT_EQ(h.frontEnd.questions.size(), 2u);
    h.control->Shutdown();
}

TEST(DownloadControl, ShutdownStopsWaitsAndSavesEverything) {
    Pacing slow(test::kPaceScale);
    slow.AfterTile = 100ms;
    DownloadHarness h(test::ServerOptions(), slow);
    ASSERT_TRUE(h.control->Start(h.SampleFields()));
    h.RunFor(30ms);
    h.control->Shutdown();
    EXPECT_FALSE(h.control->Running());
    EXPECT_EQ(h.control->RunningThreadCount(), 0);
    const MDTask& task = *h.control->CurrentTask();
    EXPECT_EQ(ReadTextLines(task.LogFileName), h.frontEnd.log);
    EXPECT_EQ(h.frontEnd.log.back(), "Log file has been saved as " + task.LogFileName);
    EXPECT_TRUE(h.frontEnd.messages.empty());  // no box while the program closes
}

// Each save appends the lines added since the last one and leaves the bytes
// already on disk alone; the file still reads as a whole rewrite would.
TEST(DownloadControl, SavesAppendToTheLogAndLeaveItsEarlierBytesAlone) {
    Pacing slow(test::kPaceScale);
    slow.AfterTile = 40ms;
    DownloadHarness h(test::ServerOptions(), slow);
    ASSERT_TRUE(h.control->Start(h.SampleFields()));
    const std::string file = h.control->CurrentTask()->LogFileName;
    {
        // The first bytes replaced in place, as another program might.
        std::fstream log(file, std::ios::in | std::ios::out | std::ios::binary);
        log.write("MARKER", 6);
    }
    ASSERT_TRUE(h.RunToEnd());
    const std::string rewritten = h.dir.File("rewritten.txt");
    WriteLinesAtomic(rewritten, h.frontEnd.log);
    const std::string expected = "MARKER" + ReadFileBytes(rewritten).substr(6);
    EXPECT_EQ(ReadFileBytes(file), expected);
}

TEST(DownloadControl, AProjectFileThatCannotBeWrittenIsReportedAndTheTaskStillFinishes) {
    DownloadHarness h;
    ASSERT_TRUE(h.control->Start(h.OneTileFields()));
    // The project file turns into a folder: the position writes must fail.
    const std::string project = h.control->CurrentTask()->ProjectFileName();
    std::remove(project.c_str());
    ASSERT_TRUE(CreateDirectoryOneLevel(project));
    ASSERT_TRUE(h.RunToEnd());
    EXPECT_EQ(h.control->ButtonCaption(), "Start");
    ASSERT_FALSE(h.frontEnd.messages.empty());
    EXPECT_EQ(h.frontEnd.messages.front(), "Unable to write to " + project);
    EXPECT_EQ(h.frontEnd.messages.back(), FinalMessage("All 1 tiles downloaded."));
}

TEST(DownloadControl, PositionsAreNeverSavedAheadOfTheFailedTileList) {
    DownloadHarness h;
    ASSERT_TRUE(h.control->Start(h.SampleFields()));
    // The failed-tile list cannot be written any more.
    const std::string failedList = h.control->CurrentTask()->FailedFileName;
    std::remove(failedList.c_str());
    ASSERT_TRUE(CreateDirectoryOneLevel(failedList));
    ASSERT_TRUE(h.RunToEnd());
    EXPECT_GT(h.frontEnd.messages.size(), 1u);  // the save errors, then the final message
    const IniFile project(h.control->CurrentTask()->ProjectFileName());
    for (int slot = 1; slot <= 8; ++slot) {
        EXPECT_EQ(project.ReadString("THREADS", ThreadSlotKey(slot, 'X'), "?"), "") << slot;
    }
    // The log is still saved.
    EXPECT_EQ(ReadTextLines(h.control->CurrentTask()->LogFileName), h.frontEnd.log);
}

// A run that adds no record leaves the failed-tile list file as the start
// made it; one removed meanwhile comes back, and a record rewrites it.
TEST(DownloadControl, TheFailedTileListIsRewrittenOnlyWhenItWouldChange) {
    DownloadHarness h;
    ASSERT_TRUE(h.control->Start(h.SampleFields()));
    const std::string failedList = h.control->CurrentTask()->FailedFileName;
    const FileMark made = MarkOfFile(failedList);
    ASSERT_TRUE(h.RunToEnd());
    EXPECT_EQ(MarkOfFile(failedList), made);
    EXPECT_EQ(ReadFileBytes(failedList), "");

    TaskFields second = h.SampleFields();
    second.TaskName = "second.tsln";
    ASSERT_TRUE(h.control->Start(second));
    const std::string secondList = h.control->CurrentTask()->FailedFileName;
    ASSERT_EQ(std::remove(secondList.c_str()), 0);
    ASSERT_TRUE(h.RunToEnd());
    EXPECT_EQ(ReadFileBytes(secondList), "");

    DownloadHarness failing(WithFault("status-503"));
    ASSERT_TRUE(failing.Download(failing.OneTileFields()));
    ASSERT_EQ(failing.frontEnd.failed.size(), 1u);
    EXPECT_EQ(ReadTextLines(failing.control->CurrentTask()->FailedFileName),
              failing.frontEnd.failed);
}

// A start that fails at any of the task's files (here: a folder in the way)
// leaves no project file, so the next start takes the task as a new one and
// completes it.
TEST(DownloadControl, AStartThatFailsAtAnyFileLeavesNoProjectAndTheNextStartsAnew) {
    for (const std::string file : {"newtask_list.txt", "newtask_log.txt", "newtask_failed.ftl"}) {
        DownloadHarness h;
        const TaskFields fields = h.OneTileFields();
        const std::string folder = h.dir.Path() + "maps/";
        const std::string inTheWay = folder + file;
        ASSERT_TRUE(CreateDirectories(inTheWay));
        EXPECT_FALSE(h.control->Start(fields)) << file;
        EXPECT_EQ(h.frontEnd.messages.size(), 1u) << file;
        EXPECT_FALSE(FileExists(folder + "newtask.tsln")) << file;

        ASSERT_EQ(::rmdir(inTheWay.c_str()), 0);
        ASSERT_TRUE(h.Download(fields)) << file;
        EXPECT_FALSE(h.control->CurrentTask()->Params->ContinueTask) << file;
        EXPECT_EQ(h.control->Outcome().FailedTiles, 0) << file;
        EXPECT_EQ(ReadTextLines(folder + "newtask_log.txt"), h.frontEnd.log) << file;
    }
}

// A task that continues without its log or failed-tile list gets them anew
// and runs to its end.
TEST(DownloadControl, AContinuedTaskWithoutItsLogOrFailedListMakesThemAnew) {
    DownloadHarness h;
    const TaskFields fields = h.OneTileFields();
    ASSERT_TRUE(h.Download(fields));
    const std::string log = h.control->CurrentTask()->LogFileName;
    const std::string failed = h.control->CurrentTask()->FailedFileName;
    std::remove(log.c_str());
    std::remove(failed.c_str());
    ASSERT_TRUE(h.Download(fields)) << h.frontEnd.messages.back();
    EXPECT_TRUE(h.control->CurrentTask()->Params->ContinueTask);
    const std::vector<std::string> lines = ReadTextLines(log);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "Project: " + h.control->CurrentTask()->ProjectFileName());
    EXPECT_EQ(lines, h.frontEnd.log);
    EXPECT_EQ(ReadFileBytes(failed), "");
}

// A list whose writing beside the download was stopped is missing; the next
// start writes it beside the download again, whole and in the same bytes,
// and a stop meanwhile leaves it whole or absent, never cut.
TEST(DownloadControl, AContinuedTaskWithoutItsTileListWritesItBesideTheDownload) {
    Pacing slow(test::kPaceScale);
    slow.AfterTile = 30ms;
    DownloadHarness h(test::ServerOptions(), slow);
    const TaskFields fields = h.SampleFields();
    ASSERT_TRUE(h.control->Start(fields));
    const std::string list = h.control->CurrentTask()->ListFileName;
    EXPECT_FALSE(h.control->CurrentTask()->TileListWrittenBeside());
    const std::string written = ReadFileBytes(list);
    h.RunFor(60ms);
    h.control->Stop();
    ASSERT_TRUE(h.RunToEnd(5s));

    ASSERT_EQ(std::remove(list.c_str()), 0);
    ASSERT_TRUE(h.control->Start(fields));
    EXPECT_TRUE(h.control->CurrentTask()->Params->ContinueTask);
    EXPECT_TRUE(h.control->CurrentTask()->TileListWrittenBeside());
    h.control->Stop();
    ASSERT_TRUE(h.RunToEnd(5s));
    EXPECT_TRUE(!FileExists(list) || ReadFileBytes(list) == written);

    ASSERT_TRUE(h.Download(fields));
    EXPECT_EQ(ReadFileBytes(list), written);
    EXPECT_EQ(h.control->Progress().Done, 42);
}

// A project file deleted while its task runs comes back whole at the next
// save, positions included, and a later start continues the task.
TEST(DownloadControl, AProjectFileDeletedWhileTheTaskRunsIsWrittenWholeAgain) {
    Pacing slow(test::kPaceScale);
    slow.AfterTile = 30ms;
    DownloadHarness h(test::ServerOptions(), slow);
    const TaskFields fields = h.SampleFields();
    ASSERT_TRUE(h.control->Start(fields));
    const std::string project = h.control->CurrentTask()->ProjectFileName();
    ASSERT_EQ(std::remove(project.c_str()), 0);
    ASSERT_TRUE(h.RunToEnd());
    const IniFile saved(project);
    EXPECT_EQ(saved.ReadString("MapsType", "MapsType", ""), "3");
    EXPECT_EQ(saved.ReadString("AREA", "LeftLongitude", ""), "116.3");
    EXPECT_EQ(saved.ReadString("XY", "MaxY", ""), "3107");
    EXPECT_GT(saved.ReadInteger("THREADS", ThreadSlotKey(1, 'X'), 0), 0);
    ASSERT_TRUE(h.Download(fields));
    EXPECT_TRUE(h.control->CurrentTask()->Params->ContinueTask);
    EXPECT_TRUE(h.frontEnd.questions.empty());
}

TEST(TaskEnding, TheMostTellingOfTheWaysItEndedIsTheOneLine) {
    DownloadProgress progress;
    progress.Done = 17;
    progress.Total = 42;
    const std::string list = "/m/area_failed.ftl";
    const auto line = [&](DownloadOutcome outcome, const std::string& proxy = "") {
        return EndingLine(outcome, progress, list, proxy);
    };
    EXPECT_EQ(line({}), "All 42 tiles downloaded.");
    // What the run left counts, not what it recorded: listed tiles that are
    // blank again from an earlier run, and those a later fetch mended.
    EXPECT_EQ(line({.StillBlank = 3}),
              "42 tiles: 39 downloaded, 3 still blank (listed in /m/area_failed.ftl).");
    EXPECT_EQ(line({.FailedTiles = 3}), "All 42 tiles downloaded.");
    EXPECT_EQ(line({.NotFoundTiles = 2}), "42 tiles: 40 downloaded, 2 blank (not on the server).");
    progress.Total = 1600;
    EXPECT_EQ(line({.FailedTiles = 1, .NotFoundTiles = 4, .StillBlank = 6}),
              "1,600 tiles: 1,590 downloaded, 6 still blank (listed in /m/area_failed.ftl), 4 "
              "blank (not on the server).");
    progress.Total = 42;
    EXPECT_EQ(line({.Stopped = true, .FailedTiles = 3}), "Stopped after 17 of 42 tiles.");
    EXPECT_EQ(line({.Stopped = true, .EndedByPolicy = true}),
              "Network error: the workers stopped.");
    EXPECT_EQ(line({.EndedByPolicy = true}, "10.0.0.1:3128"),
              "Network error: the workers stopped. (proxy 10.0.0.1:3128)");
    // A certificate that does not verify says so and what to do; other
    // network errors keep their line.
    const std::string tls = line({.EndedByPolicy = true,
                                  .EndError = "T1 TLS handshake failed: certificate verify failed "
                                              "(self-signed certificate)"});
    EXPECT_EQ(tls.rfind("Network error: the workers stopped.\nTLS handshake failed: certificate "
                        "verify failed (self-signed certificate)\nThe server's certificate could "
                        "not be verified.",
                        0),
              0U)
        << tls;
    EXPECT_NE(tls.find("SSL_CERT_FILE"), std::string::npos);
    EXPECT_NE(tls.find("Insecure=1"), std::string::npos);
    // So does a proxy that will not open the tunnel, though its status is 403.
    const std::string tunnel =
        line({.EndedByPolicy = true,
              .EndError = "The proxy refused CONNECT: 407 Proxy Authentication Required"},
             "10.0.0.1:3128");
    EXPECT_EQ(tunnel.rfind("Network error: the workers stopped. (proxy 10.0.0.1:3128)\nThe proxy "
                           "refused CONNECT: 407 Proxy Authentication Required\nThe proxy would "
                           "not open a tunnel",
                           0),
              0U)
        << tunnel;
    for (const char* advice : {"user name and password in Options", "allows CONNECT"}) {
        EXPECT_NE(tunnel.find(advice), std::string::npos) << advice;
    }
    EXPECT_EQ(line({.EndedByPolicy = true, .EndError = "Socket Error # 10061"}),
              "Network error: the workers stopped.");
    // A refusal is the server's answer, not the proxy's failure.
    EXPECT_EQ(line({.EndedByPolicy = true, .Refused = true, .FailedTiles = 1}, "10.0.0.1:3128"),
              "The server refused the requests (HTTP 403/302): the workers stopped.");
}

// Each ending as a download reaches it, one tile against the server in this
// process.
// Nothing at the built-in services' default address: a fresh installation
// is told what to do; another address, a source or another error is not.
TEST(TaskEnding, NothingAtTheDefaultAddressSaysWhatToStart) {
    TaskParameters params;
    params.MapsType = kMapsTypeMap;
    params.MapHost = "127.0.0.1:8086";
    params.SatelliteHost = "127.0.0.1:8086";
    const std::string refused = "Socket Error # 10061\r\nConnection refused.";
    EXPECT_EQ(FirstRunHint(params, refused),
              "Nothing answers at 127.0.0.1:8086, the built-in services' address: start "
              "tessellon-tileserver, set MapHost in config.ini, or choose a tile source.");
    params.MapsType = kMapsTypeSatellite;
    EXPECT_NE(FirstRunHint(params, refused)->find("set SatelliteHost in"), std::string::npos);
    EXPECT_EQ(FirstRunHint(params, "Socket Error # 10060\r\nConnection timed out."), std::nullopt);
    params.SatelliteHost = "tiles.example.org";
    EXPECT_EQ(FirstRunHint(params, refused), std::nullopt);
    params.MapsType = kMapsTypeSource;
    params.Source = TileSource::Read("S", {{"Url", "http://127.0.0.1:8086/{z}/{x}/{y}.png"}}, "1");
    EXPECT_EQ(FirstRunHint(params, refused), std::nullopt);
}

TEST(TaskEnding, FailedTilesARefusalAndANetworkErrorEachSayWhatHappened) {
    {
        DownloadHarness h(WithFault("status-503"));
        ASSERT_TRUE(h.Download(h.OneTileFields()));
        const std::string ending = FinalMessage("1 tiles: 0 downloaded, 1 still blank (listed in " +
                                                h.control->CurrentTask()->FailedFileName + ").");
        EXPECT_EQ(h.frontEnd.messages.back(), ending);
        // A run that only continues the task fetches nothing, and still says
        // the tile is blank.
        ASSERT_TRUE(h.Download(h.OneTileFields()));
        EXPECT_EQ(h.control->Outcome().FailedTiles, 0);
        EXPECT_EQ(h.frontEnd.messages.back(), ending);
    }
    {
        DownloadHarness h(WithFault("status-403"));
        ASSERT_TRUE(h.Download(h.OneTileFields()));
        EXPECT_EQ(
            h.frontEnd.messages.back(),
            FinalMessage("The server refused the requests (HTTP 403/302): the workers stopped."));
    }
    DownloadHarness h;
    const std::string closedPort = std::to_string(h.server.Port());
    h.server.Stop();  // nothing listens there any more
    ASSERT_TRUE(h.Download(h.OneTileFields()));
    EXPECT_EQ(h.frontEnd.messages.back(), FinalMessage("Network error: the workers stopped."));

    // Through a proxy that does not answer, the proxy is named.
    IniFile config(h.configFile);
    config.WriteString("Proxy", "UseProxy", "1");
    config.WriteString("Proxy", "ProxyServer", "127.0.0.1");
    config.WriteString("Proxy", "ProxyPort", closedPort);
    ASSERT_TRUE(h.Download(h.OneTileFields()));
    EXPECT_EQ(
        h.frontEnd.messages.back(),
        FinalMessage("Network error: the workers stopped. (proxy 127.0.0.1:" + closedPort + ")"));
}

// A tile body beyond the configured limit fails the tile (the server
// announces its length, which is then refused); a limit that is no positive
// number leaves the default, which takes the tile.
TEST(DownloadControl, ATileBodyBeyondMaxTileBytesFailsTheTile) {
    DownloadHarness h;
    IniFile config(h.configFile);
    config.WriteString("IniParas", "MaxTileBytes", "100");
    ASSERT_TRUE(h.Download(h.OneTileFields()));
    EXPECT_GE(CountContaining(h.frontEnd.log, kInvalidContentLength), 1);
    EXPECT_EQ(h.control->Progress().Failed, 1);

    config.WriteString("IniParas", "MaxTileBytes", "-1");
    TaskFields fresh = h.OneTileFields();
    fresh.TaskName = "fresh.tsln";
    ASSERT_TRUE(h.Download(fresh));
    EXPECT_EQ(h.control->Progress().Failed, 0);
    EXPECT_EQ(SavedTiles(h.frontEnd.log).size(), 1u);
}

TEST(DownloadControl, ViewingTheLogRefersToTheLatestTask) {
    DownloadHarness h;
    ASSERT_TRUE(h.Download(h.OneTileFields()));
    const MDTask* task = h.control->CurrentTask();
    ASSERT_NE(task, nullptr);
    TaskFields refused = h.OneTileFields();
    refused.TopLatitude = "99";
    EXPECT_FALSE(h.control->Start(refused));
    EXPECT_EQ(h.control->CurrentTask(), task);  // a refused start keeps the former task
}

}  // namespace
}  // namespace tessellon
