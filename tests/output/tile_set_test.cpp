#include "output/tile_set.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "combine_fixture.h"
#include "output/tile_export.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "task/project_file.h"
#include "task_fixture.h"

namespace tessellon {
namespace {

class TileSets : public test::SampleTask {
protected:
    void Write(const std::string& name, const std::string& bytes = "tile") {
        std::filesystem::create_directories(tiles);
        WriteFileAtomic(tiles + name, bytes);
    }

    std::string tiles = dir.File("tiles/");
};

TEST_F(TileSets, AFolderOffersEachZoomAndOpensAtTheMostPopulated) {
    Write("yn_5_6_3.png", "z3");
    Write("yn_10_20_5.png", "a");
    Write("yn_12_22_5.png", "b");
    Write("yn_11_21_5.png", "c");
    Write("yn_0_0_0.png", "z0");
    // Another layer at zoom 5 with fewer tiles is not the one shown.
    Write("ys_0_0_5.jpg", "sat");
    // Not tiles: no tile name, a column past the zoom's grid, a folder.
    Write("notes.txt");
    Write("yn_16_1_4.png");
    std::filesystem::create_directories(tiles + "yn_1_1_1.png");

    const FolderTileSet set(tiles);
    EXPECT_EQ(set.Zooms(), (std::vector<int>{0, 3, 5}));
    EXPECT_EQ(set.FirstZoom(), 5);
    const TileRange bounds = set.Bounds(5);
    EXPECT_EQ(bounds.MinX, 10);
    EXPECT_EQ(bounds.MinY, 20);
    EXPECT_EQ(bounds.MaxX, 12);
    EXPECT_EQ(bounds.MaxY, 22);
    EXPECT_EQ(bounds.Count(), 9);

    std::string bytes;
    EXPECT_EQ(set.Read(5, 12, 22, bytes), TileState::Present);
    EXPECT_EQ(bytes, "b");
    // Inside the bounds, no file.
    EXPECT_EQ(set.Read(5, 10, 21, bytes), TileState::Missing);
    EXPECT_EQ(bytes, "");
    EXPECT_EQ(set.Read(5, 0, 0, bytes), TileState::Missing);
    EXPECT_EQ(set.Read(3, 5, 6, bytes), TileState::Present);
    EXPECT_EQ(bytes, "z3");
    EXPECT_EQ(set.Read(4, 16, 1, bytes), TileState::Missing);
    EXPECT_FALSE(set.TypedArea().has_value());
}

TEST_F(TileSets, AFolderOfEqualZoomsOpensAtTheDeepest) {
    Write("yn_1_1_2.png");
    Write("yn_2_2_3.png");
    Write("yn_1_1_1.png");
    EXPECT_EQ(FolderTileSet(tiles).FirstZoom(), 3);
}

TEST_F(TileSets, AFolderGoneOrWithoutTilesIsRefusedWithItsName) {
    const auto messageOf = [](const std::string& path) -> std::string {
        try {
            OpenTileSet(path, "");
        } catch (const ETileSetError& e) {
            return e.what();
        }
        return "opened";
    };
    EXPECT_EQ(messageOf(dir.File("gone")), dir.File("gone") + " does not exist.");
    Write("readme.txt");
    EXPECT_EQ(messageOf(dir.File("tiles")), "The folder " + tiles + " holds no tile files.");
}

TEST_F(TileSets, ATaskShowsItsOneZoomWithStatesAndTypedArea) {
    const MDTask& t = Create();
    t.WriteTaskFiles({});
    WriteFileAtomic(t.GetTilePath({t.Params->Zoom, 6742, 3101}), "a tile");

    const std::unique_ptr<TileSet> set = OpenTileSet(dir.File("newtask.tsln"), dir.File("none"));
    EXPECT_EQ(set->Zooms(), std::vector<int>{13});
    EXPECT_EQ(set->FirstZoom(), 13);
    EXPECT_EQ(set->Bounds(13).MinX, t.MinX);
    EXPECT_EQ(set->Bounds(13).MaxY, t.MaxY);
    ASSERT_TRUE(set->TypedArea().has_value());
    EXPECT_DOUBLE_EQ(set->TypedArea()->Left, 116.3);

    std::string bytes;
    EXPECT_EQ(set->Read(13, 6742, 3101, bytes), TileState::Present);
    EXPECT_EQ(bytes, "a tile");
    EXPECT_EQ(set->Read(13, 6742, 3102, bytes), TileState::Missing);
    // Its file name at another zoom or outside the range is no tile of it.
    WriteFileAtomic(t.ImageFolder + "yn_6742_3101_12.png", "other zoom");
    EXPECT_EQ(set->Read(12, 6742, 3101, bytes), TileState::Missing);
    EXPECT_EQ(bytes, "");
    EXPECT_EQ(set->Read(13, t.MaxX + 1, 3101, bytes), TileState::Missing);
}

class ShapedTileSet : public test::SmallTask {};

// A shaped task of two zooms offers both, opens at the deepest, and holds
// only the tiles of its cover: a place of its range outside the shape is no
// tile of it, even with a file there.
TEST_F(ShapedTileSet, OffersEveryZoomAndHoldsOnlyTheCoversTiles) {
    StartShaped(14);
    PutTile(kMinX, kMinY, "a tile");
    PutTile(kMinX + 1, kMinY + 2, "outside");
    const std::unique_ptr<TileSet> set = OpenTileSet(dir.File("newtask.tsln"), blankFolder);
    EXPECT_EQ(set->Zooms(), (std::vector<int>{13, 14}));
    EXPECT_EQ(set->FirstZoom(), 14);
    EXPECT_EQ(set->Bounds(14).MinX, 13485);
    EXPECT_EQ(set->Bounds(13).MinX, kMinX);
    ASSERT_TRUE(set->Shape().has_value());
    EXPECT_EQ(set->Shape()->Polygons.size(), 1u);

    EXPECT_TRUE(set->Holds(13, kMinX + 1, kMinY + 1));
    EXPECT_FALSE(set->Holds(13, kMinX + 1, kMinY + 2));
    EXPECT_FALSE(set->Holds(14, 13487, 6207));
    EXPECT_TRUE(set->Holds(14, 13485, 6207));
    std::string bytes;
    EXPECT_EQ(set->Read(13, kMinX, kMinY, bytes), TileState::Present);
    EXPECT_EQ(set->Read(13, kMinX + 1, kMinY + 2, bytes), TileState::Missing);
    EXPECT_EQ(bytes, "");

    // A rectangle's task holds every tile of its range; a folder has no shape.
    EXPECT_FALSE(FolderTileSet(dir.File("newtask")).Shape().has_value());
}

TEST_F(TileSets, AFileThatIsNoProjectIsRefusedAsSuch) {
    Write("other.txt", "[Other]\r\nKey=1\r\n");
    EXPECT_THROW(OpenTileSet(tiles + "other.txt", ""), ENotAProjectError);
}

TEST_F(TileSets, AnMbtilesFileShowsItsTilesByXyzRowsAtItsDeepestZoom) {
    const std::string path = dir.File("made.db");
    // Zoom 3: XYZ row 1 is TMS row 6, XYZ row 2 is TMS row 5. Zoom 40 and a
    // column past the grid of zoom 1 are no map's.
    test::MakeMbtiles(path,
                      "INSERT INTO tiles VALUES (3, 4, 6, 'north'), (3, 5, 5, 'south'),"
                      " (1, 0, 0, 'z1'), (1, 7, 0, 'past'), (40, 0, 0, 'deep');");
    const std::unique_ptr<TileSet> set = OpenTileSet(path, "");
    EXPECT_EQ(set->Zooms(), (std::vector<int>{1, 3}));
    EXPECT_EQ(set->FirstZoom(), 3);
    const TileRange bounds = set->Bounds(3);
    EXPECT_EQ(bounds.MinX, 4);
    EXPECT_EQ(bounds.MinY, 1);
    EXPECT_EQ(bounds.MaxX, 5);
    EXPECT_EQ(bounds.MaxY, 2);
    EXPECT_EQ(set->Bounds(1).MaxX, 1);
    std::string bytes;
    EXPECT_EQ(set->Read(3, 4, 1, bytes), TileState::Present);
    EXPECT_EQ(bytes, "north");
    EXPECT_EQ(set->Read(3, 5, 2, bytes), TileState::Present);
    EXPECT_EQ(bytes, "south");
    EXPECT_EQ(set->Read(3, 4, 2, bytes), TileState::Missing);
    EXPECT_EQ(bytes, "");
}

TEST_F(TileSets, WhatIsNoMbtilesFileOrHoldsNoTilesIsRefused) {
    Write("text.mbtiles", "not a database at all, but long enough to be read as one");
    EXPECT_THROW(OpenTileSet(tiles + "text.mbtiles", ""), ETileContainerError);
    const std::string other = dir.File("other.sqlite");
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(other.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE t (a);", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    EXPECT_THROW(OpenTileSet(other, ""), ETileContainerError);
    const std::string empty = dir.File("empty.mbtiles");
    test::MakeMbtiles(empty, "");
    try {
        OpenTileSet(empty, "");
        FAIL() << "a file without tiles was opened";
    } catch (const ETileSetError& e) {
        EXPECT_EQ(std::string(e.what()), "The MBTiles file " + empty + " holds no tiles.");
    }
}

// Every container the export writes opens with the tasks' zooms, bounds and
// tiles, whatever rows and zoom numbering it keeps.
TEST_F(TileSets, EveryContainerOpensWithTheTilesExportedIntoIt) {
    std::vector<std::string> projects;
    TileRange z13;
    for (const int zoom : {12, 13}) {
        params.TaskName = "z" + std::to_string(zoom) + ".tsln";
        params.Zoom = zoom;
        const MDTask& made = Create();
        made.WriteTaskFiles({});
        for (std::int32_t x = made.MinX; x <= made.MaxX; ++x) {
            for (std::int32_t y = made.MinY; y <= made.MaxY; ++y) {
                WriteFileAtomic(made.GetTilePath({zoom, x, y}),
                                "tile " + std::to_string(x) + "/" + std::to_string(y));
            }
        }
        z13 = {made.MinX, made.MinY, made.MaxX, made.MaxY};
        projects.push_back(dir.File(params.TaskName));
    }
    std::filesystem::remove(dir.File("z13/") +
                            ExtractFileName(Create().GetTilePath({13, z13.MaxX, z13.MaxY})));
    for (const FormatRow& row : ContainerFormatRows()) {
        SCOPED_TRACE(row.Title);
        const std::string file = dir.File("out") + std::string(row.Extensions);
        ExportTiles(*ContainerFormatOfPath(file), projects, file, {"", false, dir.File("none/")},
                    {});
        const std::unique_ptr<TileSet> set = OpenTileSet(file, "");
        EXPECT_EQ(set->Zooms(), (std::vector<int>{12, 13}));
        EXPECT_EQ(set->FirstZoom(), 13);
        const TileRange bounds = set->Bounds(13);
        EXPECT_EQ(std::vector<std::int32_t>({bounds.MinX, bounds.MinY, bounds.MaxX, bounds.MaxY}),
                  std::vector<std::int32_t>({z13.MinX, z13.MinY, z13.MaxX, z13.MaxY}));
        std::string bytes;
        EXPECT_EQ(set->Read(13, z13.MinX, z13.MaxY, bytes), TileState::Present);
        EXPECT_EQ(bytes, "tile " + std::to_string(z13.MinX) + "/" + std::to_string(z13.MaxY));
        EXPECT_EQ(set->Read(12, z13.MaxX / 2, z13.MinY / 2, bytes), TileState::Present);
        EXPECT_EQ(bytes,
                  "tile " + std::to_string(z13.MaxX / 2) + "/" + std::to_string(z13.MinY / 2));
        EXPECT_EQ(set->Read(13, z13.MaxX, z13.MaxY, bytes), TileState::Missing);
        EXPECT_EQ(bytes, "");
    }
}

// GDAL names its table as it likes, guards it with triggers that only abort,
// and numbers its zooms on the same grid.
TEST_F(TileSets, AGeoPackageGdalMadeOpensAtItsZooms) {
    if (!test::ToolInstalled("gdal_translate")) {
        GTEST_SKIP() << "gdal_translate is not installed";
    }
    const std::string file = dir.File("gdal.gpkg");
    WriteFileAtomic(dir.File("red.png"), test::EncodePng({255, 0, 0}));
    const test::Run made = test::RunCommand(
        "gdal_translate -q -of GPKG -a_srs EPSG:3857 -a_ullr 0 2560 2560 0 -co "
        "TILING_SCHEME=GoogleMapsCompatible -co RASTER_TABLE=red " +
        test::Quoted(dir.File("red.png")) + " " + test::Quoted(file) + " 2>&1");
    ASSERT_EQ(made.Status, 0) << made.Output;
    const std::unique_ptr<TileSet> set = OpenTileSet(file, "");
    const int zoom = set->FirstZoom();
    // 10 metres a pixel is zoom 14, where 2560 metres take two tiles a side,
    // north-east of the grid's centre.
    EXPECT_EQ(zoom, 14);
    const TileRange bounds = set->Bounds(zoom);
    EXPECT_EQ(std::vector<std::int32_t>({bounds.MinX, bounds.MinY, bounds.MaxX, bounds.MaxY}),
              std::vector<std::int32_t>({1 << 13, (1 << 13) - 2, (1 << 13) + 1, (1 << 13) - 1}));
    std::string bytes;
    EXPECT_EQ(set->Read(zoom, bounds.MinX, bounds.MaxY, bytes), TileState::Present);
    EXPECT_FALSE(bytes.empty());
}

TEST_F(TileSets, AnImageIsRefusedNamingWhatTheViewerShows) {
    Write("map.tif", std::string("II*\0", 4) + "the rest of a GeoTIFF");
    Write("map.data", "\x89PNG\r\n\x1a\n and the rest of a PNG");
    for (const std::string& image : {tiles + "map.tif", tiles + "map.data"}) {
        try {
            OpenTileSet(image, "");
            ADD_FAILURE() << image << " was opened";
        } catch (const ETileSetError& e) {
            EXPECT_EQ(std::string(e.what()),
                      image +
                          " is an image. The Map Viewer shows tile tasks (.tsln), folders of "
                          "tiles and tile containers: MBTiles (.mbtiles), GeoPackage (.gpkg), "
                          "PMTiles (.pmtiles) and OsmAnd SQLiteDB (.sqlitedb). Open the task "
                          "the image was made from to see its tiles.");
        }
    }
}

TEST_F(TileSets, TheViewerShowsNoTileThroughALinkNorOpensAFifo) {
    Write("yn_0_0_1.png", "real");
    Write("yn_1_1_1.png", "real");
    const std::string secret = dir.File("secret");
    WriteFileAtomic(secret, "password");
    // Within the bounds: a link and a FIFO at tiles' names.
    ASSERT_EQ(::symlink(secret.c_str(), (tiles + "yn_0_1_1.png").c_str()), 0);
    ASSERT_EQ(::mkfifo((tiles + "yn_1_0_1.png").c_str(), 0600), 0);
    // Alone, a link makes no zoom.
    ASSERT_EQ(::symlink(secret.c_str(), (tiles + "yn_0_0_0.png").c_str()), 0);
    const FolderTileSet set(tiles);
    EXPECT_EQ(set.Zooms(), std::vector<int>{1});
    std::string bytes;
    EXPECT_EQ(set.Read(1, 1, 1, bytes), TileState::Present);
    EXPECT_EQ(set.Read(1, 0, 1, bytes), TileState::Missing);
    EXPECT_EQ(bytes, "");
    EXPECT_EQ(set.Read(1, 1, 0, bytes), TileState::Missing);

    const std::string fifo = dir.File("named.mbtiles");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_THROW(OpenTileSet(fifo, ""), ETileSetError);
}

}  // namespace
}  // namespace tessellon
