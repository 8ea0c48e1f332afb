#include "output/task_reader.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "download/failed_list.h"
#include "platform/files.h"
#include "task_fixture.h"

namespace tessellon {
namespace {

// The sample task written to disk, with a blank image of its own.
class TaskOnDisk : public test::SampleTask {
protected:
    TaskOnDisk() {
        std::filesystem::create_directories(blankFolder);
        WriteFileAtomic(blankFolder + "blank.png", kBlank);
    }

    const MDTask& Start() {
        const MDTask& t = Create();
        t.WriteTaskFiles({});
        return t;
    }

    TaskReader Open() const { return TaskReader(dir.File("newtask.tsln"), blankFolder); }

    static constexpr std::string_view kBlank = "\x89PNG blank";
    std::string blankFolder = dir.File("blankimg/");
};

TEST_F(TaskOnDisk, ReadsTheRangeAndEdgesTheStartWrote) {
    const MDTask& t = Start();
    const TaskReader reader = Open();
    EXPECT_EQ(reader.MapsType(), kMapsTypeMap);
    const TileCover& cover = reader.Cover();
    EXPECT_EQ(cover.MinZoom(), 13);
    EXPECT_EQ(cover.MaxZoom(), 13);
    EXPECT_FALSE(cover.Shaped());
    const TileRange range = cover.RangeAt(13);
    EXPECT_EQ(range.MinX, t.MinX);
    EXPECT_EQ(range.MaxX, t.MaxX);
    EXPECT_EQ(range.MinY, t.MinY);
    EXPECT_EQ(range.MaxY, t.MaxY);
    EXPECT_EQ(cover.Count(), 42);
    EXPECT_DOUBLE_EQ(TileRangeEdges(range, 13).Left, t.DownloadLeftLongitude);
    EXPECT_DOUBLE_EQ(TileRangeEdges(range, 13).Bottom, t.DownloadBottomLatitude);
    EXPECT_DOUBLE_EQ(reader.TypedArea().Right, 116.5);
    EXPECT_DOUBLE_EQ(reader.TypedArea().Top, 40.0);
    EXPECT_EQ(reader.ImageFolder(), t.ImageFolder);
    EXPECT_EQ(reader.TilePath({13, 6742, 3101}), t.GetTilePath({t.Params->Zoom, 6742, 3101}));
    EXPECT_FALSE(reader.Source().has_value());
}

TEST_F(TaskOnDisk, TellsPresentBlankFailedAndMissingTiles) {
    const MDTask& t = Start();
    WriteFileAtomic(t.GetTilePath({t.Params->Zoom, 6742, 3101}), "\x89PNG a real tile");
    // The same size as the blank image, other bytes.
    WriteFileAtomic(t.GetTilePath({t.Params->Zoom, 6742, 3102}), "\x89PNG blanc");
    WriteFileAtomic(t.GetTilePath({t.Params->Zoom, 6742, 3103}), kBlank);
    WriteFileAtomic(t.GetTilePath({t.Params->Zoom, 6742, 3104}), kBlank);
    // A failed tile re-downloaded since keeps its record and is a tile.
    WriteFileAtomic(t.GetTilePath({t.Params->Zoom, 6742, 3106}), "\x89PNG fetched later");
    // Records name the tiles by their full path, from wherever the task was
    // then; lines that are no record of this task are passed over.
    std::string list;
    for (const auto& [path, url] : {
             std::pair{t.GetTilePath({t.Params->Zoom, 6742, 3104}), "http://a"},
             std::pair{std::string("/moved/away/yn_6742_3105_13.png"), "http://b"},
             std::pair{t.GetTilePath({t.Params->Zoom, 6742, 3106}), "http://c"},
             std::pair{std::string("/x/yn_6742_3107_12.png"), "http://other-zoom"},
             std::pair{std::string("/x/ys_6742_3107_13.jpg"), "http://other-layer"},
             std::pair{std::string("no record"), ""},
             std::pair{std::string(kMaxFailedRecordBytes, 'y'), "/x/yn_6743_3101_13.png"},
         }) {
        list += FormatFailedRecord(path, url) + "\r\n";
    }
    WriteFileAtomic(t.FailedFileName, list);

    const TaskReader reader = Open();
    EXPECT_EQ(reader.State({13, 6742, 3101}), TileState::Present);
    EXPECT_EQ(reader.State({13, 6742, 3102}), TileState::Present);
    EXPECT_EQ(reader.State({13, 6742, 3103}), TileState::Blank);
    EXPECT_EQ(reader.State({13, 6742, 3104}), TileState::Failed);
    EXPECT_EQ(reader.State({13, 6742, 3105}), TileState::Failed);
    EXPECT_EQ(reader.State({13, 6742, 3106}), TileState::Present);
    EXPECT_EQ(reader.State({13, 6742, 3107}), TileState::Missing);

    std::string bytes;
    EXPECT_EQ(reader.Read({13, 6742, 3101}, bytes), TileState::Present);
    EXPECT_EQ(bytes, "\x89PNG a real tile");
    EXPECT_EQ(reader.Read({13, 6742, 3104}, bytes), TileState::Failed);
    EXPECT_EQ(bytes, kBlank);
    EXPECT_EQ(reader.Read({13, 6742, 3107}, bytes), TileState::Missing);
    EXPECT_EQ(bytes, "");

    const TileCounts counts = reader.Count();
    EXPECT_EQ(counts.Present, 3);
    EXPECT_EQ(counts.Blank, 1);
    EXPECT_EQ(counts.Failed, 2);
    EXPECT_EQ(counts.Missing, 42 - 6);
}

TEST_F(TaskOnDisk, WithoutABlankImageNoTileIsBlank) {
    const MDTask& t = Start();
    WriteFileAtomic(t.GetTilePath({t.Params->Zoom, 6742, 3103}), kBlank);
    blankFolder = dir.File("nowhere/");
    EXPECT_EQ(Open().State({13, 6742, 3103}), TileState::Present);
}

TEST_F(TaskOnDisk, ASourceTaskNamesItsTilesAfterTheSource) {
    params.MapsType = kMapsTypeSource;
    params.Source = TileSource::Read(
        "Topo", {{"Url", "https://tiles.example/{z}/{x}/{y}.webp"}, {"Format", "webp"}}, "1.0");
    Start();
    const TaskReader reader = Open();
    ASSERT_TRUE(reader.Source().has_value());
    EXPECT_EQ(reader.Source()->Name(), "Topo");
    EXPECT_EQ(reader.TilePath({13, 6742, 3101}), dir.File("newtask/tl_6742_3101_13.webp"));
}

TEST_F(TaskOnDisk, RefusesWhatNamesNoTiles) {
    Start();
    const std::string project = dir.File("newtask.tsln");
    const std::string original = ReadFileBytes(project);
    const auto replaceLine = [&](const std::string& from, const std::string& to) {
        std::string text = original;
        text.replace(text.find(from), from.size(), to);
        WriteFileAtomic(project, text);
    };

    replaceLine("MaxX=6747", "MaxX=6700");
    EXPECT_THROW(Open(), ETaskReadError);
    replaceLine("MinY=3101", "MinY=-1");
    EXPECT_THROW(Open(), ETaskReadError);
    replaceLine("MaxY=3107", "MaxY=8192");
    EXPECT_THROW(Open(), ETaskReadError);
    replaceLine("MinX=6742", "MinX=x");
    EXPECT_THROW(Open(), ETaskReadError);
    replaceLine("Zoom=13", "Zoom=31");
    EXPECT_THROW(Open(), ETaskReadError);
    replaceLine("MapsType=3", "MapsType=9");
    EXPECT_THROW(Open(), ETaskReadError);

    WriteFileAtomic(project, "[Other]\r\nKey=1\r\n");
    EXPECT_THROW(Open(), ENotAProjectError);

    WriteFileAtomic(project, original);
    std::filesystem::remove_all(dir.File("newtask"));
    try {
        Open();
        FAIL() << "a project without its tile folder was read";
    } catch (const ETaskReadError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "The tile folder " + dir.File("newtask/") + " is missing.");
    }
}

// Projects of the previous version that reached longitude 180 list a column
// past the grid; they open with the grid's last column as their last.
TEST_F(TaskOnDisk, AnOldProjectReachingLongitude180OpensOnTheGrid) {
    params.LeftLongitude = 179.95;
    params.RightLongitude = 180;
    const MDTask& t = Start();
    EXPECT_EQ(t.MaxX, 8191);
    const std::string project = dir.File("newtask.tsln");
    std::string text = ReadFileBytes(project);
    text.replace(text.find("MaxX=8191"), 9, "MaxX=8192");
    WriteFileAtomic(project, text);
    const TaskReader reader = Open();
    EXPECT_EQ(reader.Cover().RangeAt(13).MaxX, 8191);
    EXPECT_EQ(reader.Cover().Count(), t.TotalCount);
    EXPECT_DOUBLE_EQ(TileRangeEdges(reader.Cover().RangeAt(13), 13).Right, 180);
}

}  // namespace
}  // namespace tessellon
