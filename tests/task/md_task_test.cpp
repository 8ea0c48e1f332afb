#include "task/md_task.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "task/tile_layer.h"
#include "task_fixture.h"

namespace tessellon {
namespace {

using test::SampleTask;

TEST_F(SampleTask, CoversTheRectangleWithItsTileRangeAndEdges) {
    const MDTask& t = Create();
    EXPECT_EQ(t.MinX, 6742);
    EXPECT_EQ(t.MaxX, 6747);
    EXPECT_EQ(t.MinY, 3101);
    EXPECT_EQ(t.MaxY, 3107);
    EXPECT_EQ(t.TotalCount, 42);
    EXPECT_NEAR(t.DownloadLeftLongitude, 116.279296875, 1e-12);
    EXPECT_NEAR(t.DownloadRightLongitude, 116.54296875, 1e-12);
    EXPECT_NEAR(t.DownloadTopLatitude, 40.0107871404655, 1e-12);
    EXPECT_NEAR(t.DownloadBottomLatitude, 39.7747694852955, 1e-12);
}

// Longitude 180 is the east edge of the last column, not a column past it.
TEST_F(SampleTask, TheWholeWorldAtZoomOneIsItsFourTiles) {
    params.LeftLongitude = -180;
    params.RightLongitude = 180;
    params.TopLatitude = 85;
    params.BottomLatitude = -85;
    params.Zoom = 1;
    const MDTask& t = Create();
    EXPECT_EQ(t.MinX, 0);
    EXPECT_EQ(t.MaxX, 1);
    EXPECT_EQ(t.MinY, 0);
    EXPECT_EQ(t.MaxY, 1);
    EXPECT_EQ(t.TotalCount, 4);
    EXPECT_EQ(t.DownloadRightLongitude, 180);
    EXPECT_NEAR(t.DownloadTopLatitude, 85.0511287798066, 1e-12);
    EXPECT_NEAR(t.DownloadBottomLatitude, -85.0511287798066, 1e-12);
}

TEST_F(SampleTask, APointOrARectangleInsideOneTileIsOneTile) {
    params.RightLongitude = params.LeftLongitude = 116.391;
    params.TopLatitude = params.BottomLatitude = 39.907;
    EXPECT_EQ(Create().TotalCount, 1);
    params.RightLongitude = 116.392;
    params.TopLatitude = 39.908;
    EXPECT_EQ(Create().TotalCount, 1);
}

TEST_F(SampleTask, NamesItsFilesAfterTheTaskNameWithoutItsExtension) {
    params.TaskName = "old.area.tsln";
    const MDTask& t = Create();
    EXPECT_EQ(t.LogFileName, dir.Path() + "old.area_log.txt");
    EXPECT_EQ(t.FailedFileName, dir.Path() + "old.area_failed.ftl");
    EXPECT_EQ(t.ListFileName, dir.Path() + "old.area_list.txt");
    EXPECT_EQ(t.ImageFolder, dir.Path() + "old.area/");
    EXPECT_TRUE(DirectoryExists(t.ImageFolder));
}

TEST_F(SampleTask, TileUrlsUseTheServersRowAndZoomAndFileNamesTheGrids) {
    const struct {
        std::int32_t mapsType, zoom, x, y;
        const char* url;
        const char* fileName;
    } cases[] = {
        {kMapsTypeMap, 13, 6744, 3104, "http://maps.example:8086/hx/tl?v=4.3&r=1&x=6744&y=991&z=14",
         "yn_6744_3104_13.png"},
        {kMapsTypeSatellite, 5, 29, 19,
         "http://sat.example/ae/ximg?v=1.9&t=a&s=256&r=1&x=29&y=-4&z=6", "ys_29_19_5.jpg"},
        {kMapsTypeMap, 1, 0, 0, "http://maps.example:8086/hx/tl?v=4.3&r=1&x=0&y=0&z=2",
         "yn_0_0_1.png"},
        {kMapsTypeSatellite, 19, 154364, 197122,
         "http://sat.example/ae/ximg?v=1.9&t=a&s=256&r=1&x=154364&y=65021&z=20",
         "ys_154364_197122_19.jpg"},
        {7, 13, 1, 2, "", "_1_2_13."},
    };
    for (const auto& c : cases) {
        params.MapsType = c.mapsType;
        params.Zoom = c.zoom;
        const MDTask& t = Create();
        EXPECT_EQ(t.GetTileUrl({t.Params->Zoom, c.x, c.y}), c.url);
        EXPECT_EQ(t.GetTileFileName({t.Params->Zoom, c.x, c.y}), c.fileName);
        EXPECT_EQ(t.GetTilePath({t.Params->Zoom, c.x, c.y}), t.ImageFolder + c.fileName);
    }
}

// A source task takes its URLs from the template, with the grid's own zoom
// and rows, and names every tile tl_X_Y_Z in the source's format.
TEST_F(SampleTask, ASourceTaskTakesItsUrlsFromTheTemplateAndNamesTilesTl) {
    const struct {
        const char* url;
        const char* format;
        const char* tileUrl;
        const char* fileName;
    } cases[] = {
        {"https://{s}.tiles.example/{z}/{x}/{y}.png", "", "https://c.tiles.example/3/3/5.png",
         "tl_3_5_3.png"},
        {"http://127.0.0.1:8080/tms/{z}/{x}/{-y}.jpeg", "", "http://127.0.0.1:8080/tms/3/3/2.jpeg",
         "tl_3_5_3.jpg"},
        {"http://q.example/q/{q}", "webp", "http://q.example/q/213", "tl_3_5_3.webp"},
    };
    params.Zoom = 3;
    for (const auto& c : cases) {
        params.MapsType = kMapsTypeSource;
        params.Source = TileSource::Read(
            "Topo", {{"Url", c.url}, {"Subdomains", "abc"}, {"Format", c.format}}, "1");
        const MDTask& t = Create();
        EXPECT_EQ(t.GetTileUrl({t.Params->Zoom, 3, 5}), c.tileUrl);
        EXPECT_EQ(t.GetTileFileName({t.Params->Zoom, 3, 5}), c.fileName);
        EXPECT_EQ(t.GetTilePath({t.Params->Zoom, 3, 5}), t.ImageFolder + c.fileName);
    }
}

// A failed-tile list may come from elsewhere, so a re-download writes only
// names of this form: every name a task gives passes, nothing else does.
TEST_F(SampleTask, OnlyTheNamesTasksGiveTheirTilesAreTileFileNames) {
    params.Zoom = 19;
    for (const TileLayer& layer : kTileLayers) {
        params.MapsType = layer.MapsType;
        EXPECT_TRUE(IsTileFileName(Create().GetTileFileName({params.Zoom, 524287, 0})));
    }
    params.MapsType = kMapsTypeSource;
    for (const char* format : {"png", "jpg", "webp", "pbf"}) {
        params.Source =
            TileSource::Read("Topo", {{"Url", "http://h/{z}/{x}/{y}"}, {"Format", format}}, "1");
        EXPECT_TRUE(IsTileFileName(Create().GetTileFileName({params.Zoom, 3, 5})));
    }
    for (const char* name :
         {".bashrc", "yn_1_2_3.jpg", "ys_1_2_3.png", "tl_1_2_3.gif", "xx_1_2_3.png", "yn_1_2.png",
          "yn_1_2_3_4.png", "yn__2_3.png", "yn_-1_2_3.png", "yn_1_2_3.png.bak", "yn_1_2_3png",
          "yn_12345678901_2_3.png", "yn_1_2_3.", "tl_1_2_3", ""}) {
        EXPECT_FALSE(IsTileFileName(name)) << name;
    }
}

TEST_F(SampleTask, AnExistingImageFolderIsUsedAsItIs) {
    ASSERT_TRUE(CreateDirectoryOneLevel(dir.File("newtask")));
    WriteFileAtomic(dir.File("newtask/yn_1_1_13.png"), "tile");
    Create();
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(ReadFileBytes(dir.File("newtask/yn_1_1_13.png")), "tile");
}

TEST_F(SampleTask, AnImageFolderThatCannotBeCreatedIsShownAndFailsTheTask) {
    params.SavePath = dir.File("missing/");
    EXPECT_THROW(Create(), ECreateTaskError);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0], "Create directory " + dir.File("missing/newtask/") + " Failed.");
    EXPECT_FALSE(FileExists(dir.File("missing/newtask.tsln")));
}

TEST_F(SampleTask, MoreTilesThanACountCanHoldAreRefusedBeforeAnythingIsWritten) {
    params.LeftLongitude = -180;
    params.RightLongitude = 180;
    params.TopLatitude = 85;
    params.BottomLatitude = -85;
    params.Zoom = 19;
    try {
        Create();
        FAIL() << "no error";
    } catch (const ETooManyTilesError& e) {
        EXPECT_STREQ(e.what(),
                     "Too many images in this area. Choose a smaller area or a lower zoom level.");
    }
    EXPECT_FALSE(DirectoryExists(dir.File("newtask")));

    // At zoom 16 the world holds more than 2^32 tiles: a 32-bit count would
    // wrap around to a harmless-looking number.
    params.Zoom = 16;
    EXPECT_THROW(Create(), ETooManyTilesError);
    params.Zoom = 15;
    const MDTask& t = Create();
    EXPECT_EQ(t.TotalCount, static_cast<std::int64_t>(t.MaxX - t.MinX + 1) * (t.MaxY - t.MinY + 1));
    EXPECT_GT(t.TotalCount, 1000000000);
}

TEST_F(SampleTask, AContinuedTaskTakesOverTheSavedPositions) {
    WriteFileAtomic(dir.File("newtask.tsln"),
                    "[THREADS]\r\nThreadCount=8\r\nT1X=\r\nT1Y=\r\nT3X=6745\r\nT3Y=3104\r\n"
                    "T4X=abc\r\nT4Y=3102\r\nT8X=6747\r\nT8Y=3107\r\n");
    params.ContinueTask = true;
    const MDTask& t = Create();
    EXPECT_EQ(t.SavedX[0], 0);
    EXPECT_EQ(t.SavedY[0], 0);
    EXPECT_EQ(t.SavedX[2], 6745);
    EXPECT_EQ(t.SavedY[2], 3104);
    EXPECT_EQ(t.SavedX[3], 0);
    EXPECT_EQ(t.SavedY[3], 3102);
    EXPECT_EQ(t.SavedX[7], 6747);
    EXPECT_EQ(t.SavedY[7], 3107);
    EXPECT_EQ(t.SavedX[8], 0);

    params.ContinueTask = false;
    EXPECT_EQ(Create().SavedX[2], 0);  // a new task starts from nothing
}

// A task of several zooms saves whole positions, so tiles in column or row 0
// of its low zooms resume where they stopped; a position that is not the
// task's starts its worker from the beginning.
TEST_F(SampleTask, ATaskOfSeveralZoomsResumesFromWholePositions) {
    WriteFileAtomic(dir.File("newtask.tsln"),
                    "[THREADS]\r\nT1X=0\r\nT1Y=1\r\nT1Z=1\r\nT2X=6745\r\nT2Y=3104\r\n"
                    "T3X=9\r\nT3Y=0\r\nT3Z=1\r\nT4X=13\r\nT4Y=6\r\nT4Z=4\r\n");
    params.LeftLongitude = -180;
    params.RightLongitude = 180;
    params.TopLatitude = 85;
    params.BottomLatitude = -85;
    params.Zoom = 1;
    params.ZoomTo = 4;
    params.ContinueTask = true;
    const MDTask& t = Create();
    EXPECT_EQ(t.TotalCount, 4 + 16 + 64 + 256);
    EXPECT_EQ(t.ResumeNumber(0), 2);  // zoom 1, column 0, row 1
    EXPECT_EQ(t.ResumeNumber(1), 0);  // no zoom: not a whole position
    EXPECT_EQ(t.ResumeNumber(2), 0);  // no such tile at zoom 1
    EXPECT_EQ(t.ResumeNumber(3), 4 + 16 + 64 + 13 * 16 + 6 + 1);
}

}  // namespace
}  // namespace tessellon
