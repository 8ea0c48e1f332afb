// The last task kept in the configuration: written and read back whole,
// and a hand-edited section never yields fields a start would refuse
// unseen.

#include "control/last_task.h"

#include <gtest/gtest.h>

#include "control/source_list.h"
#include "platform/files.h"
#include "platform/ini_file.h"
#include "temp_dir.h"

namespace tessellon {
namespace {

class LastTask : public ::testing::Test {
protected:
    test::TempDir dir;
    Configuration config{dir.File("config.ini")};

    void Set(const std::string& key, const std::string& value) {
        IniFile(config.FileName()).WriteString(kLastTaskSection, key, value);
    }
};

TEST_F(LastTask, NothingIsRecalledBeforeAnythingWasRemembered) {
    EXPECT_FALSE(RecallTask(config));
    IniFile(config.FileName()).WriteString("IniParas", "DefaultPath", "/maps");
    EXPECT_FALSE(RecallTask(config));
}

TEST_F(LastTask, EveryFieldComesBackAsItWasAndTheOtherSettingsStay) {
    IniFile(config.FileName()).WriteString("IniParas", "DefaultPath", "/maps");
    TaskFields fields;
    fields.TaskName = "alps.tsln";
    fields.MapsTypeItem = 0;
    fields.LeftLongitude = "10 30 E";
    fields.RightLongitude = "11.5";
    fields.TopLatitude = "47° 30′ N";
    fields.BottomLatitude = "47";
    fields.Zoom = "12";
    fields.ZoomTo = "15";
    fields.AreaFile = "/trips/alps = route.gpx";
    fields.Buffer = "2km";
    fields.SavePath = "/home/hiker/maps";
    RememberTask(config, fields, true);

    const auto task = RecallTask(config);
    ASSERT_TRUE(task);
    for (const auto field :
         {&TaskFields::TaskName, &TaskFields::LeftLongitude, &TaskFields::RightLongitude,
          &TaskFields::TopLatitude, &TaskFields::BottomLatitude, &TaskFields::Zoom,
          &TaskFields::ZoomTo, &TaskFields::AreaFile, &TaskFields::Buffer, &TaskFields::SavePath}) {
        EXPECT_EQ(task->Fields.*field, fields.*field);
    }
    EXPECT_EQ(task->Fields.MapsTypeItem, 0);
    EXPECT_TRUE(task->Shape);
    EXPECT_EQ(task->SourceName, "");
    EXPECT_EQ(config.Read(settings::DefaultPath), "/maps");

    // Remembered again: the rectangle, the same section rewritten.
    RememberTask(config, fields, false);
    EXPECT_FALSE(RecallTask(config)->Shape);
    EXPECT_EQ(ReadFileBytes(config.FileName()).find("[LastTask]"),
              ReadFileBytes(config.FileName()).rfind("[LastTask]"));
}

TEST_F(LastTask, ASourceIsKeptByItsNameAndChoosesTheSourceItem) {
    const auto source = TileSource::FromKeys(
        {{"Name", "TopoTMS"}, {"Url", "https://tiles.example/{z}/{x}/{y}.png"}}, "5.23");
    TaskFields fields;
    fields.MapsTypeItem = 0;  // not read while a source is set
    fields.Source = source;
    RememberTask(config, fields, false);
    const auto task = RecallTask(config);
    ASSERT_TRUE(task);
    EXPECT_EQ(task->SourceName, "TopoTMS");
    EXPECT_EQ(task->Fields.MapsTypeItem, kSourceItem);
    EXPECT_FALSE(task->Fields.Source);
}

TEST_F(LastTask, HandEditedValuesOutOfRangeFallBackToWhatAStartTakes) {
    Set("TaskName", "");
    Set("Zoom", "25");
    Set("ZoomTo", "7");
    Set("MapsType", "9");
    Set("Area", "Shape");  // but no area file
    auto task = RecallTask(config);
    ASSERT_TRUE(task);
    EXPECT_EQ(task->Fields.TaskName, "newtask.tsln");
    EXPECT_EQ(task->Fields.Zoom, "13");
    EXPECT_EQ(task->Fields.ZoomTo, "");  // below the lowest: one zoom
    EXPECT_EQ(task->Fields.MapsTypeItem, kSatelliteItem);
    EXPECT_FALSE(task->Shape);

    Set("Zoom", "x4");
    Set("ZoomTo", "19");
    Set("MapsType", "-1");
    task = RecallTask(config);
    EXPECT_EQ(task->Fields.Zoom, "13");
    EXPECT_EQ(task->Fields.ZoomTo, "19");
    EXPECT_EQ(task->Fields.MapsTypeItem, kSatelliteItem);
    Set("Zoom", "19");
    EXPECT_EQ(RecallTask(config)->Fields.ZoomTo, "");  // equal to the lowest: one zoom
}

TEST_F(LastTask, AnUnwritableConfigurationRaises) {
    const Configuration missing(dir.File("no/such/folder/config.ini"));
    EXPECT_THROW(RememberTask(missing, TaskFields{}, false), EIniFileException);
}

}  // namespace
}  // namespace tessellon
