#include "control/project_opening.h"

#include <gtest/gtest.h>

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
    void ShowMessage(const std::string& text) override { FAIL() << text; }
};

// The task "area.tsln" in `dir`: 116.3..116.5 east, 39.8..40 north, zoom 13.
TaskParameters AreaTask(const TempDir& dir, std::int32_t mapsType) {
    TaskParameters params = test::SampleTaskParameters(dir.Path(), "area.tsln");
    params.MapsType = mapsType;
    return params;
}

TEST(LoadProjectIntoFields, CopiesTheBoundsAsTextAndTheFolderAndNameOfThePath) {
    TempDir dir;
    const std::string path = dir.File("newtask.tsln");
    WriteFileAtomic(path,
                    "[MapsType]\r\nMapsType=4\r\n\r\n[AREA]\r\nLeftLongitude=116.3\r\n"
                    "RightLongitude=116.50\r\nTopLatitude= 40 \r\nBottomLatitude=39,8\r\n"
                    "Left_Longitude_download=1\r\nRight_Longitude_download=2\r\n"
                    "Top_Latitude_download=3\r\nBottom_Latitude_download=4\r\n"
                    "[Zoom]\r\nZoom=17\r\n[XY]\r\nMinX=1\r\nMinY=2\r\nMaxX=3\r\nMaxY=4\r\n");
    TaskFields fields;
    fields.MapsTypeItem = kMapItem;
    LoadProjectIntoFields(path, fields);
    EXPECT_EQ(fields.LeftLongitude, "116.3");
    EXPECT_EQ(fields.RightLongitude, "116.50");
    EXPECT_EQ(fields.TopLatitude, "40");
    EXPECT_EQ(fields.BottomLatitude, "39,8");
    EXPECT_EQ(fields.SavePath, dir.Path());
    EXPECT_EQ(fields.TaskName, "newtask.tsln");
    EXPECT_EQ(fields.MapsTypeItem, kSatelliteItem);
    EXPECT_EQ(fields.Zoom, "17");
}

// The project file of the area task with the line `key=...` replaced by
// `replacement` (no line when empty).
std::string AreaProjectWith(const TempDir& dir, const std::string& key,
                            const std::string& replacement) {
    TaskParameters params = AreaTask(dir, kMapsTypeMap);
    NoMessages messages;
    MDTask(&params, messages).WriteProjectFile();
    std::string text;
    for (const std::string& line : ReadTextLines(dir.File("area.tsln"))) {
        if (line.rfind(key + "=", 0) != 0) {
            text += line + "\r\n";
        } else if (!replacement.empty()) {
            text += replacement + "\r\n";
        }
    }
    return text;
}

TEST(LoadProjectIntoFields, OutOfRangeZoomsAreClampedAndAnUnknownTypeLeavesTheChoice) {
    TempDir dir;
    const std::string path = dir.File("area.tsln");
    TaskFields fields;
    WriteFileAtomic(path, AreaProjectWith(dir, "Zoom", "Zoom="));
    LoadProjectIntoFields(path, fields);
    EXPECT_EQ(fields.Zoom, "1");  // no number reads 0, held at the minimum

    WriteFileAtomic(path, AreaProjectWith(dir, "Zoom", "Zoom=25"));
    LoadProjectIntoFields(path, fields);
    EXPECT_EQ(fields.Zoom, "19");

    WriteFileAtomic(path, AreaProjectWith(dir, "MapsType", "MapsType=9"));
    fields.MapsTypeItem = kSatelliteItem;
    LoadProjectIntoFields(path, fields);
    EXPECT_EQ(fields.MapsTypeItem, kSatelliteItem);
}

// A file without any key a task's project has before THREADS (an empty one,
// any other text, a project cut short) is refused and left as it is, and
// the fields stay as they were.
TEST(LoadProjectIntoFields, AFileWithoutEveryKeyOfATaskIsRefused) {
    TempDir dir;
    const std::string path = dir.File("area.tsln");
    std::vector<std::string> refused = {"", "\x7f\x45LF\x02\x01 random bytes",
                                        "[THREADS]\r\nT1X=6742\r\nT1Y=3101\r\n"};
    for (const std::string key :
         {"MapsType", "LeftLongitude", "RightLongitude", "TopLatitude", "BottomLatitude",
          "Left_Longitude_download", "Right_Longitude_download", "Top_Latitude_download",
          "Bottom_Latitude_download", "Zoom", "MinX", "MinY", "MaxX", "MaxY"}) {
        refused.push_back(AreaProjectWith(dir, key, ""));
    }
    // Present, but in another section than its own.
    refused.push_back(AreaProjectWith(dir, "MinX", "") + "[OTHER]\r\nMinX=1\r\n");
    for (const std::string& text : refused) {
        WriteFileAtomic(path, text);
        TaskFields fields;
        fields.LeftLongitude = "7";
        try {
            LoadProjectIntoFields(path, fields);
            ADD_FAILURE() << "accepted: " << text;
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(e.what(), path + " is not a task project file.");
        }
        EXPECT_EQ(fields.LeftLongitude, "7");
        EXPECT_EQ(ReadFileBytes(path), text);
    }
}

TEST(LoadProjectIntoFields, AnOpenedProjectGivesBackTheFieldsThatMadeIt) {
    TempDir dir;
    TaskParameters params = AreaTask(dir, kMapsTypeMap);
    NoMessages messages;
    MDTask(&params, messages).WriteProjectFile();

    TaskFields fields;
    LoadProjectIntoFields(dir.File("area.tsln"), fields);
    EXPECT_EQ(fields.LeftLongitude, "116.3");
    EXPECT_EQ(fields.RightLongitude, "116.5");
    EXPECT_EQ(fields.TopLatitude, "40");
    EXPECT_EQ(fields.BottomLatitude, "39.8");
    EXPECT_EQ(fields.MapsTypeItem, kMapItem);
    EXPECT_EQ(fields.Zoom, "13");
    EXPECT_EQ(fields.TaskName, "area.tsln");
}

// A source task opens from its project file alone: no sources file is
// read, and a SOURCE section that makes no source is refused by name.
TEST(LoadProjectIntoFields, ASourceTaskBringsItsSourceFromTheProjectFile) {
    TempDir dir;
    TaskParameters params = AreaTask(dir, kMapsTypeSource);
    params.Source = TileSource::Read(
        "Topo", {{"Url", "http://tiles.example/{z}/{x}/{y}.jpg"}, {"UserAgent", "Mine/2"}}, "1");
    NoMessages messages;
    MDTask(&params, messages).WriteProjectFile();

    TaskFields fields;
    LoadProjectIntoFields(dir.File("area.tsln"), fields);
    ASSERT_TRUE(fields.Source);
    EXPECT_EQ(fields.Source->Keys(), params.Source->Keys());
    EXPECT_EQ(fields.Source->UserAgent(), "Mine/2");
    EXPECT_EQ(fields.Zoom, "13");

    // A built-in task opened into the same fields leaves no source behind.
    params.MapsType = kMapsTypeMap;
    params.Source.reset();
    params.TaskName = "map.tsln";
    MDTask(&params, messages).WriteProjectFile();
    LoadProjectIntoFields(dir.File("map.tsln"), fields);
    EXPECT_FALSE(fields.Source);
    EXPECT_EQ(fields.MapsTypeItem, kMapItem);

    IniFile(dir.File("area.tsln")).WriteString("SOURCE", "Workers", "9");
    try {
        LoadProjectIntoFields(dir.File("area.tsln"), fields);
        ADD_FAILURE() << "a bad SOURCE section was accepted";
    } catch (const ETileSourceError& e) {
        EXPECT_STREQ(e.what(), "Source 'Topo': Workers must be 1..8.");
    }
}

TEST(DecideViewLog, OpensTheCurrentLogOrSaysWhyNot) {
    const ViewLogAction none = DecideViewLog(nullptr);
    EXPECT_EQ(none.FileToOpen, "");
    EXPECT_EQ(none.Message, "No task running now.                  ");

    TempDir dir;
    TaskParameters params;
    params.Zoom = 1;
    params.SavePath = dir.Path();
    params.TaskName = "t.tsln";
    NoMessages messages;
    const MDTask task(&params, messages);
    const ViewLogAction missing = DecideViewLog(&task);
    EXPECT_EQ(missing.FileToOpen, "");
    EXPECT_EQ(missing.Message, "No logfile now.                         ");

    task.WriteLogHeader();
    const ViewLogAction open = DecideViewLog(&task);
    EXPECT_EQ(open.FileToOpen, task.LogFileName);
    EXPECT_EQ(open.Message, "");
}

}  // namespace
}  // namespace tessellon
