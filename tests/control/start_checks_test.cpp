#include "control/start_checks.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/files.h"
#include "platform/ini_file.h"
#include "sample_fields.h"
#include "task/md_task.h"
#include "temp_dir.h"

namespace tessellon {
namespace {

using test::TempDir;

class NoMessages : public MessageSink {
public:
    void ShowMessage(const std::string&) override { ADD_FAILURE() << "no message expected"; }
};

class StartChecks : public ::testing::Test {
protected:
    StartChecks() : fields(test::SampleTaskFields(dir.Path() + "maps")) {}

    StartCheckResult Check() { return CheckStartInput(fields, config); }

    std::string MessageFor(std::string TaskFields::*field, const std::string& text) {
        TaskFields saved = fields;
        fields.*field = text;
        StartCheckResult result = Check();
        fields = saved;
        return result.Message.value_or("(accepted)");
    }

    TempDir dir;
    Configuration config{dir.File("config.ini")};
    TaskFields fields;
};

TEST_F(StartChecks, EachRefusalHasItsMessageInTheFixedOrder) {
    using F = TaskFields;
    EXPECT_EQ(MessageFor(&F::SavePath, ""), "Please select a path to save the images.");
    EXPECT_EQ(MessageFor(&F::SavePath, dir.Path() + "no/such"),
              "Create directory " + dir.Path() + "no/such Failed.");
    EXPECT_EQ(MessageFor(&F::LeftLongitude, "180.000001"),
              "Left Longitude should be between -180 and 180.");
    EXPECT_EQ(MessageFor(&F::RightLongitude, "-181"),
              "Right Longitude should be between -180 and 180.");
    EXPECT_EQ(MessageFor(&F::TopLatitude, "85.5"), "Top Latitude should be between -85 and 85.");
    EXPECT_EQ(MessageFor(&F::BottomLatitude, "-85.5"),
              "Bottom Latitude should be between -85 and 85.");
    EXPECT_EQ(MessageFor(&F::LeftLongitude, "116.6"),
              "Left Longitude should less than Right Longitude!");
    EXPECT_EQ(MessageFor(&F::BottomLatitude, "40.1"),
              "Bottom Latitude should less than Top Latitude!");
    EXPECT_EQ(MessageFor(&F::TopLatitude, "1e999"), "Top Latitude should be between -85 and 85.");
    EXPECT_EQ(MessageFor(&F::Zoom, "20"), "Zoom level should be between 1 and 19.");
    EXPECT_EQ(MessageFor(&F::Zoom, "0"), "Zoom level should be between 1 and 19.");
    // The first failing check wins: both longitudes are out of range.
    fields.LeftLongitude = "200";
    fields.RightLongitude = "300";
    EXPECT_EQ(Check().Message, "Left Longitude should be between -180 and 180.");
}

TEST_F(StartChecks, TheSaveFolderIsCreatedOneLevelDeepAndStaysWhenALaterCheckFails) {
    fields.LeftLongitude = "500";
    EXPECT_TRUE(Check().Message.has_value());
    EXPECT_TRUE(DirectoryExists(dir.Path() + "maps"));
}

TEST_F(StartChecks, CoordinatesAreReadWithCommasAsPointsAndInEveryCommonForm) {
    fields.LeftLongitude = "116,3";
    fields.RightLongitude = "116 30 E";
    fields.TopLatitude = "  40";
    fields.BottomLatitude = "-0";
    const StartCheckResult result = Check();
    ASSERT_FALSE(result.Message) << *result.Message;
    EXPECT_EQ(result.Params->LeftLongitude, 116.3);
    EXPECT_EQ(result.Params->RightLongitude, 116.5);
    EXPECT_EQ(result.Params->TopLatitude, 40);
    EXPECT_EQ(result.Params->BottomLatitude, 0);
}

// A coordinate is read whole or not at all: "122 25 W" once became 122, a
// download on the other side of the earth.
TEST_F(StartChecks, ACoordinateReadOnlyInPartGetsItsFieldsRangeMessage) {
    using F = TaskFields;
    for (const char* text : {"116.5abc", "116 25 N", "7 36 00 0"}) {
        EXPECT_EQ(MessageFor(&F::RightLongitude, text),
                  "Right Longitude should be between -180 and 180.")
            << text;
    }
    EXPECT_EQ(MessageFor(&F::TopLatitude, "40 W"), "Top Latitude should be between -85 and 85.");
}

// Letters once read as 0 and fetched the tile at 0 degrees, replacing the
// task of that name; a text that no number begins is out of every range.
TEST_F(StartChecks, ACoordinateThatNoNumberBeginsGetsItsFieldsRangeMessage) {
    using F = TaskFields;
    for (const char* text : {"", "abc", "north", " ", "-", ".", "nan", "inf"}) {
        EXPECT_EQ(MessageFor(&F::LeftLongitude, text),
                  "Left Longitude should be between -180 and 180.")
            << text;
        EXPECT_EQ(MessageFor(&F::RightLongitude, text),
                  "Right Longitude should be between -180 and 180.")
            << text;
        EXPECT_EQ(MessageFor(&F::TopLatitude, text), "Top Latitude should be between -85 and 85.")
            << text;
        EXPECT_EQ(MessageFor(&F::BottomLatitude, text),
                  "Bottom Latitude should be between -85 and 85.")
            << text;
    }
}

// Without a name the files would be ".tsln", "_log.txt"...: refused before
// the save folder is made.
TEST_F(StartChecks, AnEmptyTaskNameIsRefusedBeforeAnythingIsWritten) {
    for (const char* name : {"", ".tsln"}) {
        EXPECT_EQ(MessageFor(&TaskFields::TaskName, name), "Please enter a task name.") << name;
    }
    EXPECT_FALSE(DirectoryExists(dir.Path() + "maps"));
    EXPECT_EQ(MessageFor(&TaskFields::TaskName, "a"), "(accepted)");
}

// The longest file, "NAME_failed.ftl", and the temporary name that replaces
// it must fit the folder: a name that would not is refused before the save
// folder, the tile folder or any file is made.
TEST_F(StartChecks, ATaskNameTooLongForItsFilesIsRefusedBeforeAnythingIsMade) {
    const std::size_t room =
        LongestFileNameIn(dir.Path()) - kTemporaryNameExtra - kFailedFileSuffix.size();
    const std::string expected = "Please enter a shorter task name: at most " +
                                 std::to_string(room) + " characters before .tsln.";
    const std::string tooLong(room + 1, 'n');
    EXPECT_EQ(MessageFor(&TaskFields::TaskName, tooLong), expected);
    EXPECT_EQ(MessageFor(&TaskFields::TaskName, tooLong + ".tsln"), expected);
    EXPECT_FALSE(DirectoryExists(dir.Path() + "maps"));

    fields.TaskName = std::string(room, 'n');
    const StartCheckResult accepted = Check();
    ASSERT_FALSE(accepted.Message) << *accepted.Message;
    NoMessages messages;
    const MDTask task(accepted.Params.get(), messages);
    task.WriteProjectFile();
    task.WriteTileList();
    task.WriteLogHeader();
    task.CreateFailedList();
    // Each one again, as the saves of a running task rewrite them.
    task.WriteProjectFile();
    task.WriteLogHeader();
    WriteFileAtomic(task.FailedFileName, "");
    EXPECT_TRUE(FileExists(task.FailedFileName));
}

TEST_F(StartChecks, BoundsMayMeetAndTheWholeRangeIsAccepted) {
    for (const auto& [left, right, top, bottom] :
         {std::tuple{"-180", "180", "85", "-85"}, std::tuple{"116.3", "116.3", "40", "40"}}) {
        fields.LeftLongitude = left;
        fields.RightLongitude = right;
        fields.TopLatitude = top;
        fields.BottomLatitude = bottom;
        const StartCheckResult result = Check();
        EXPECT_FALSE(result.Message) << left << " " << right << ": " << *result.Message;
    }
}

TEST_F(StartChecks, FillsTheParametersFromTheFieldsAndTheConfiguration) {
    IniFile ini(config.FileName());
    ini.WriteString("Proxy", "UseProxy", "1");
    ini.WriteString("Proxy", "ProxyServer", "proxy.local");
    ini.WriteString("Proxy", "ProxyPort", "3128");
    ini.WriteString("TileService", "MapHost", "tiles.local:9000");
    fields.MapsTypeItem = kSatelliteItem;
    fields.TaskName = "area";
    const StartCheckResult result = Check();
    ASSERT_FALSE(result.Message);
    const TaskParameters& p = *result.Params;
    EXPECT_EQ(p.Zoom, 13);
    EXPECT_EQ(p.ThreadCount, 8);
    EXPECT_EQ(p.ThreadSlots, 8);
    EXPECT_EQ(p.MapsType, kMapsTypeSatellite);
    EXPECT_EQ(p.SavePath, dir.Path() + "maps/");
    EXPECT_EQ(p.TaskName, "area.tsln");
    EXPECT_TRUE(p.UseProxy);
    EXPECT_EQ(p.ProxyServer, "proxy.local");
    EXPECT_EQ(p.ProxyPort, "3128");
    EXPECT_EQ(p.MapHost, "tiles.local:9000");
    EXPECT_EQ(p.SatelliteHost, "127.0.0.1:8086");
    EXPECT_FALSE(p.ContinueTask);
}

TEST(CompleteTaskName, AppendsTheExtensionUnlessItIsExactlyTsln) {
    EXPECT_EQ(CompleteTaskName("mytask"), "mytask.tsln");
    EXPECT_EQ(CompleteTaskName("mytask.tsln"), "mytask.tsln");
    EXPECT_EQ(CompleteTaskName("mytask.TSLN"), "mytask.TSLN.tsln");
    EXPECT_EQ(CompleteTaskName("mytask.txt"), "mytask.txt.tsln");
    EXPECT_EQ(CompleteTaskName("old.area.tsln"), "old.area.tsln");
}

// The same task is the same numbers, whatever way they are typed, in the
// project file the completed name finds; any other task there would be
// replaced.
TEST_F(StartChecks, TheSameTaskContinuesHoweverItsNumbersAndNameAreTyped) {
    EXPECT_FALSE(Check().ReplacesOtherTask);
    // The project file of the earlier run, as the task writes it, in the
    // folder that check made.
    WriteFileAtomic(dir.Path() + "maps/newtask.tsln",
                    "[MapsType]\r\nMapsType=3\r\n\r\n[AREA]\r\nLeftLongitude=116.3\r\n"
                    "RightLongitude=116.5\r\nTopLatitude=40\r\nBottomLatitude=39.8\r\n\r\n"
                    "[Zoom]\r\nZoom=13\r\n");
    EXPECT_TRUE(Check().Params->ContinueTask);

    const struct {
        std::string TaskFields::*field;
        std::string text;
        bool same;
    } changes[] = {
        {&TaskFields::LeftLongitude, "116.30", true},  // same number, other text
        {&TaskFields::TopLatitude, "40.0", true},
        {&TaskFields::TopLatitude, "40.0000000000000001", true},  // the same in the file
        {&TaskFields::BottomLatitude, "39,8", true},
        {&TaskFields::RightLongitude, "116 30 E", true},
        {&TaskFields::TaskName, "newtask", true},             // completed to the same name
        {&TaskFields::SavePath, dir.Path() + "maps/", true},  // trailing separator
        {&TaskFields::LeftLongitude, "116.31", false},
        {&TaskFields::BottomLatitude, "39.79999", false},
        {&TaskFields::Zoom, "14", false},
    };
    for (const auto& change : changes) {
        TaskFields saved = fields;
        fields.*change.field = change.text;
        const StartCheckResult result = Check();
        ASSERT_TRUE(result.Params) << change.text;
        EXPECT_EQ(result.Params->ContinueTask, change.same) << change.text;
        EXPECT_EQ(result.ReplacesOtherTask, !change.same) << change.text;
        fields = saved;
    }
    fields.MapsTypeItem = kSatelliteItem;
    EXPECT_FALSE(Check().Params->ContinueTask);
    EXPECT_TRUE(Check().ReplacesOtherTask);
    fields.TaskName = "other";
    EXPECT_FALSE(Check().ReplacesOtherTask);
}

// Up to 100,000 tiles nothing is asked; beyond, the time runs on all workers
// at once, rounded to minutes, and the size counts 15 KiB a tile.
std::optional<std::string> Question(std::int64_t tiles, std::int32_t workers, int pauseMs) {
    return HugeTaskQuestion(EstimateTask(tiles, workers, std::chrono::milliseconds(pauseMs)));
}

TEST(HugeTaskQuestion, TellsTilesTimeAndSizeBeyondOneHundredThousandTiles) {
    EXPECT_FALSE(Question(100000, 8, 1000));
    EXPECT_EQ(Question(100001, 8, 1000),
              "This task has 100001 tiles: about 3 hours 28 minutes at the service's pace and "
              "about 1.4 GiB on disk. Start it?");
    const struct {
        std::int64_t tiles;
        std::int32_t workers;
        int pauseMs;
        const char* time;
        const char* size;
    } cases[] = {
        {172800, 1, 1000, "2 days", "2.5 GiB"},
        {180000, 2, 1000, "1 day 1 hour", "2.6 GiB"},
        {120000, 8, 250, "1 hour 3 minutes", "1.7 GiB"},
        {120000, 3, 1500, "16 hours 40 minutes", "1.7 GiB"},
        {200000, 8, 100, "42 minutes", "2.9 GiB"},
        {200000, 8, 0, "1 minute", "2.9 GiB"},
        {2147483647, 8, 1000, "3106 days 21 hours", "30.0 TiB"},
    };
    for (const auto& c : cases) {
        const auto question = Question(c.tiles, c.workers, c.pauseMs);
        ASSERT_TRUE(question) << c.tiles;
        EXPECT_NE(question->find(std::string("about ") + c.time + " at"), std::string::npos)
            << *question;
        EXPECT_NE(question->find(std::string("about ") + c.size + " on disk"), std::string::npos)
            << *question;
    }
}

// The figures the map window shows under the rectangle, small ones too.
TEST(TaskEstimate, ShowsSmallTasksInSecondsAndKibibytes) {
    const TaskEstimate estimate = EstimateTask(42, 8, std::chrono::milliseconds(1000));
    EXPECT_EQ(estimate.Duration, std::chrono::seconds(6));
    EXPECT_EQ(DurationText(estimate.Duration), "6 seconds");
    EXPECT_EQ(SizeText(estimate.Kibibytes), "630 KiB");
    EXPECT_EQ(DurationText(std::chrono::seconds(1)), "1 second");
    EXPECT_EQ(DurationText(std::chrono::seconds(95)), "2 minutes");
    EXPECT_EQ(SizeText(1024), "1.0 MiB");
    EXPECT_EQ(SizeText(1536 * 1024), "1.5 GiB");
}

TileSource Topo(const std::string& pauseMs = "1000") {
    return TileSource::Read("Topo",
                            {{"Url", "https://tiles.example/{z}/{x}/{y}.png"},
                             {"MinZoom", "5"},
                             {"MaxZoom", "14"},
                             {"Workers", "3"},
                             {"PauseMs", pauseMs}},
                            "1");
}

// A source without a pause starts its workers together; a source with one and
// the built-in layers keep the offsets, and every pause but the one after a
// tile stays the program's, shrunk pace or not.
TEST(TaskPacing, OnlyASourceWithoutAPauseStartsItsWorkersTogether) {
    using std::chrono::milliseconds;
    struct Case {
        std::optional<TileSource> source;
        Pacing pace;
        milliseconds startOffset;
        milliseconds afterTile;
    };
    const Pacing shrunk(milliseconds(50));
    const Case cases[] = {
        {std::nullopt, Pacing(), milliseconds(100), milliseconds(1000)},
        {Topo("1000"), Pacing(), milliseconds(100), milliseconds(1000)},
        {Topo("250"), Pacing(), milliseconds(100), milliseconds(250)},
        {Topo("0"), Pacing(), milliseconds(0), milliseconds(0)},
        {std::nullopt, shrunk, milliseconds(5), milliseconds(50)},
        {Topo("250"), shrunk, milliseconds(5), milliseconds(12)},
        {Topo("0"), shrunk, milliseconds(0), milliseconds(0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((c.source ? "PauseMs=" + std::to_string(c.source->PauseMs()) : "built-in") +
                     " at scale " + std::to_string(c.pace.Second.count()));
        const Pacing task = TaskPacing(c.source, c.pace);
        EXPECT_EQ(task.StartOffset, c.startOffset);
        EXPECT_EQ(task.AfterTile, c.afterTile);
        EXPECT_EQ(task.Second, c.pace.Second);
        EXPECT_EQ(task.Retry, c.pace.Retry);
        EXPECT_EQ(task.SocketRetry, c.pace.SocketRetry);
        EXPECT_EQ(task.AddressInUseRetry, c.pace.AddressInUseRetry);
    }
}

// A source sets the task's type, workers and source, and limits the zoom to
// its own range, after the program's.
TEST_F(StartChecks, ASourceMakesASourceTaskWithinItsZoomRange) {
    fields.Source = Topo();
    const StartCheckResult result = Check();
    ASSERT_FALSE(result.Message);
    EXPECT_EQ(result.Params->MapsType, kMapsTypeSource);
    EXPECT_EQ(result.Params->ThreadCount, 3);
    EXPECT_EQ(result.Params->ThreadSlots, 8);
    ASSERT_TRUE(result.Params->Source);
    EXPECT_EQ(result.Params->Source->Keys(), Topo().Keys());

    using F = TaskFields;
    EXPECT_EQ(MessageFor(&F::Zoom, "15"), "Zoom level should be between 5 and 14 for source Topo.");
    EXPECT_EQ(MessageFor(&F::Zoom, "4"), "Zoom level should be between 5 and 14 for source Topo.");
    EXPECT_EQ(MessageFor(&F::Zoom, "5"), "(accepted)");
    EXPECT_EQ(MessageFor(&F::Zoom, "20"), "Zoom level should be between 1 and 19.");
}

// A source task continues only with the source it started with, key for key.
TEST_F(StartChecks, ASourceTaskContinuesOnlyWithTheSameSource) {
    fields.Source = Topo();
    StartCheckResult first = Check();
    ASSERT_TRUE(first.Params);
    NoMessages messages;
    MDTask(first.Params.get(), messages).WriteProjectFile();
    EXPECT_TRUE(Check().Params->ContinueTask);

    fields.Source = Topo("500");
    EXPECT_FALSE(Check().Params->ContinueTask);
    fields.Source.reset();
    fields.MapsTypeItem = kMapItem;
    EXPECT_FALSE(Check().Params->ContinueTask);
}

// Files name their folder whole: a folder typed relative to where the program
// runs, or from home, is the same folder as its absolute path.
TEST_F(StartChecks, ARelativeOrHomeFolderIsMadeAbsoluteAndNamesTheSameTask) {
    ASSERT_TRUE(CreateDirectoryOneLevel(dir.Path() + "maps"));
    WriteFileAtomic(dir.Path() + "maps/newtask.tsln",
                    "[MapsType]\r\nMapsType=3\r\n\r\n[AREA]\r\nLeftLongitude=116.3\r\n"
                    "RightLongitude=116.5\r\nTopLatitude=40\r\nBottomLatitude=39.8\r\n\r\n"
                    "[Zoom]\r\nZoom=13\r\n");
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    fields.SavePath = "./other/../maps";
    const StartCheckResult relative = Check();
    fields.SavePath = "new";
    const StartCheckResult created = Check();
    std::filesystem::current_path(before);
    ASSERT_TRUE(relative.Params);
    EXPECT_EQ(relative.Params->SavePath, dir.Path() + "maps/");
    EXPECT_TRUE(relative.Params->ContinueTask);
    EXPECT_FALSE(DirectoryExists(dir.Path() + "other"));
    ASSERT_TRUE(created.Params);
    EXPECT_EQ(created.Params->SavePath, dir.Path() + "new/");
    EXPECT_TRUE(DirectoryExists(dir.Path() + "new"));

    const std::string home = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
    ::setenv("HOME", dir.Path().c_str(), 1);
    fields.SavePath = "~/maps";
    const StartCheckResult fromHome = Check();
    ::setenv("HOME", home.c_str(), 1);
    ASSERT_TRUE(fromHome.Params);
    EXPECT_EQ(fromHome.Params->SavePath, dir.Path() + "maps/");
    EXPECT_TRUE(fromHome.Params->ContinueTask);
}

}  // namespace
}  // namespace tessellon
