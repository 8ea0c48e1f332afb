#include "control/project_opening.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/ini_file.h"
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
    TaskParameters params;
    params.LeftLongitude = 116.3;
    params.RightLongitude = 116.5;
    params.TopLatitude = 40;
    params.BottomLatitude = 39.8;
    params.Zoom = 13;
    params.MapsType = mapsType;
    params.SavePath = dir.Path();
    params.TaskName = "area.tsln";
    return params;
}

TEST(LoadProjectIntoFields, CopiesTheBoundsAsTextAndTheFolderAndNameOfThePath) {
    TempDir dir;
    const std::string path = dir.File("newtask.tsln");
    WriteFileAtomic(path,
                    "[MapsType]\r\nMapsType=4\r\n\r\n[AREA]\r\nLeftLongitude=116.3\r\n"
                    "RightLongitude=116.50\r\nTopLatitude= 40 \r\nBottomLatitude=39,8\r\n"
                    "[Zoom]\r\nZoom=17\r\n");
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

TEST(LoadProjectIntoFields, MissingKeysGiveEmptyBoundsAndOutOfRangeZoomsAreClamped) {
    TempDir dir;
    const std::string path = dir.File("bare.tsln");
    WriteFileAtomic(path, "[MapsType]\r\nMapsType=3\r\n");
    TaskFields fields;
    fields.LeftLongitude = "1";
    fields.MapsTypeItem = kSatelliteItem;
    LoadProjectIntoFields(path, fields);
    EXPECT_EQ(fields.LeftLongitude, "");
    EXPECT_EQ(fields.MapsTypeItem, kMapItem);
    EXPECT_EQ(fields.Zoom, "1");  // missing reads 0, held at the minimum

    WriteFileAtomic(path, "[MapsType]\r\nMapsType=9\r\n[Zoom]\r\nZoom=25\r\n");
    LoadProjectIntoFields(path, fields);
    EXPECT_EQ(fields.MapsTypeItem, kMapItem);  // an unknown type leaves the choice
    EXPECT_EQ(fields.Zoom, "19");
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
