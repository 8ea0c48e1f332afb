#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <optional>

#include "combine_fixture.h"
#include "download/failed_list.h"
#include "geo/tile_math.h"
#include "output/mbtiles.h"
#include "output/tile_export.h"
#include "platform/files.h"
#include "task_fixture.h"

namespace tessellon {
namespace {

// A real 256 x 256 PNG of one colour (200, 30, 40), which GDAL reads too.
const std::string& kTile = test::kSolidPng;
constexpr std::string_view kBlank = "\x89PNG blank";

// The metadata's bounds, which MBTiles writes "left,bottom,right,top".
GeoRect BoundsIn(const std::map<std::string, std::string>& metadata) {
    GeoRect bounds;
    EXPECT_EQ(std::sscanf(metadata.at("bounds").c_str(), "%lf,%lf,%lf,%lf", &bounds.Left,
                          &bounds.Bottom, &bounds.Right, &bounds.Top),
              4);
    return bounds;
}

class MbtilesExportTest : public test::SampleTask {
protected:
    MbtilesExportTest() {
        std::filesystem::create_directories(options.BlankFolder);
        WriteFileAtomic(options.BlankFolder + "blank.png", kBlank);
    }

    // A started task named `name` at `zoom` over the sample area, without
    // tiles yet.
    const MDTask& Project(const std::string& name, int zoom) {
        params.TaskName = name;
        params.Zoom = zoom;
        const MDTask& t = Create();
        t.WriteTaskFiles({});
        return t;
    }

    std::vector<ProjectExport> Export(const std::vector<std::string>& projects) {
        return ExportTiles(ContainerFormat::Mbtiles, projects, file, options,
                           [this](std::int64_t done, std::int64_t total) {
                               progress.emplace_back(done, total);
                           })
            .Projects;
    }

    // One value from the file, as SQLite reads it.
    std::string Query(const std::string& sql) {
        sqlite3* db = nullptr;
        sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr);
        std::string value;
        if (sqlite3_step(statement) == SQLITE_ROW) {
            value = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
        }
        sqlite3_finalize(statement);
        sqlite3_close(db);
        return value;
    }

    TileExportOptions options{"", false, dir.File("blankimg/")};
    std::string file = dir.File("out.mbtiles");
    std::vector<std::pair<std::int64_t, std::int64_t>> progress;
};

TEST_F(MbtilesExportTest, WritesPresentTilesWithTmsRowsAndTheMetadata) {
    const MDTask& t = Project("area.tsln", 13);
    WriteFileAtomic(t.GetTilePath({t.Params->Zoom, t.MinX, t.MinY}), kTile);
    WriteFileAtomic(t.GetTilePath({t.Params->Zoom, t.MaxX, t.MaxY}), "other tile");
    WriteFileAtomic(t.GetTilePath({t.Params->Zoom, t.MinX, t.MaxY}), kBlank);
    WriteFileAtomic(
        t.FailedFileName,
        FormatFailedRecord(t.GetTilePath({t.Params->Zoom, t.MaxX, t.MinY}), "http://a") + "\r\n");

    const std::vector<ProjectExport> results = Export({dir.File("area.tsln")});
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].Project, dir.File("area.tsln"));
    EXPECT_EQ(results[0].MinZoom, 13);
    EXPECT_EQ(results[0].MaxZoom, 13);
    EXPECT_EQ(results[0].Written, 2);
    EXPECT_EQ(results[0].Blank, 1);
    EXPECT_EQ(results[0].Failed, 1);
    EXPECT_EQ(results[0].Missing, 42 - 4);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back().first, 42);
    EXPECT_EQ(progress.back().second, 42);

    // MBTiles counts rows from the south.
    const std::string where = " WHERE zoom_level = 13 AND tile_column = " + std::to_string(t.MinX);
    EXPECT_EQ(Query("SELECT tile_row FROM tiles" + where), std::to_string((1 << 13) - 1 - t.MinY));
    EXPECT_EQ(Query("SELECT count(*) FROM tiles"), "2");
    EXPECT_EQ(Query("PRAGMA journal_mode"), "delete");

    const MbtilesReader reader(file);
    EXPECT_EQ(reader.Tile(13, t.MinX, t.MinY), kTile);
    EXPECT_EQ(reader.Tile(13, t.MaxX, t.MaxY), "other tile");
    EXPECT_FALSE(reader.Tile(13, t.MinX, t.MaxY).has_value());
    EXPECT_FALSE(reader.Tile(13, t.MaxX, t.MinY).has_value());
    const std::map<std::string, std::string> metadata = reader.Metadata();
    EXPECT_EQ(metadata.at("name"), "area");
    EXPECT_EQ(metadata.at("format"), "png");
    EXPECT_EQ(metadata.at("type"), "baselayer");
    EXPECT_EQ(metadata.at("minzoom"), "13");
    EXPECT_EQ(metadata.at("maxzoom"), "13");
    EXPECT_EQ(metadata.count("attribution"), 0u);
    double left, bottom, right, top, lon, lat;
    int zoom;
    ASSERT_EQ(
        std::sscanf(metadata.at("bounds").c_str(), "%lf,%lf,%lf,%lf", &left, &bottom, &right, &top),
        4);
    EXPECT_DOUBLE_EQ(left, t.DownloadLeftLongitude);
    EXPECT_DOUBLE_EQ(bottom, t.DownloadBottomLatitude);
    EXPECT_DOUBLE_EQ(right, t.DownloadRightLongitude);
    EXPECT_DOUBLE_EQ(top, t.DownloadTopLatitude);
    ASSERT_EQ(std::sscanf(metadata.at("center").c_str(), "%lf,%lf,%d", &lon, &lat, &zoom), 3);
    EXPECT_DOUBLE_EQ(lon, (left + right) / 2);
    EXPECT_DOUBLE_EQ(lat, (top + bottom) / 2);
    EXPECT_EQ(zoom, 13);
}

TEST_F(MbtilesExportTest, SeveralZoomsGoInOneFileAndAnotherExportReplacesTheSameTiles) {
    const MDTask& z13 = Project("z13.tsln", 13);
    WriteFileAtomic(z13.GetTilePath({z13.Params->Zoom, z13.MinX, z13.MinY}), "first");
    WriteFileAtomic(z13.GetTilePath({z13.Params->Zoom, z13.MaxX, z13.MaxY}), "kept");
    const std::int32_t x13 = z13.MinX, y13 = z13.MinY;
    Export({dir.File("z13.tsln")});

    WriteFileAtomic(z13.GetTilePath({z13.Params->Zoom, x13, y13}), "second");
    params.LeftLongitude = 117.0;
    params.RightLongitude = 117.2;
    const MDTask& z11 = Project("z11.tsln", 11);
    WriteFileAtomic(z11.GetTilePath({z11.Params->Zoom, z11.MinX, z11.MinY}), kBlank);
    const std::int32_t x11 = z11.MinX, y11 = z11.MinY;
    const double eastEdge = z11.DownloadRightLongitude;
    // The same project twice in one export writes its tiles once.
    options.Name = "Pyramid";
    options.WithBlanks = true;
    Export({dir.File("z11.tsln"), dir.File("z13.tsln"), dir.File("z13.tsln")});

    const MbtilesReader reader(file);
    EXPECT_EQ(reader.Zooms(), (std::vector<int>{11, 13}));
    EXPECT_EQ(reader.Tile(13, x13, y13), "second");
    EXPECT_EQ(reader.Tile(11, x11, y11), kBlank);
    EXPECT_EQ(Query("SELECT count(*) FROM tiles WHERE zoom_level = 13"), "2");
    const std::map<std::string, std::string> metadata = reader.Metadata();
    EXPECT_EQ(metadata.at("name"), "Pyramid");
    EXPECT_EQ(metadata.at("minzoom"), "11");
    EXPECT_EQ(metadata.at("maxzoom"), "13");
    const GeoRect bounds = BoundsIn(metadata);
    EXPECT_LT(bounds.Left, 116.3);
    EXPECT_DOUBLE_EQ(bounds.Right, eastEdge);
    EXPECT_EQ(Query("SELECT count(*) FROM metadata WHERE name = 'minzoom'"), "1");
}

// A file made elsewhere without metadata: its zooms come from its rows, not
// from the export alone, and rows off the grid do not reach the bounds.
TEST_F(MbtilesExportTest, AFileWithoutMetadataGetsZoomsAndBoundsFromItsRows) {
    const MDTask& z13 = Project("z13.tsln", 13);
    WriteFileAtomic(z13.GetTilePath({13, z13.MinX, z13.MinY}), "tile");
    // Zoom 12's and 14's tiles over z13's first tile, and a row past zoom 3's grid.
    const std::int32_t x12 = z13.MinX / 2, y12 = FlipRow(12, z13.MinY / 2);
    const std::int32_t x14 = z13.MinX * 2, y14 = FlipRow(14, z13.MinY * 2);
    test::MakeMbtiles(file, "INSERT INTO tiles VALUES (12, " + std::to_string(x12) + ", " +
                                std::to_string(y12) +
                                ", x'00');"
                                "INSERT INTO tiles VALUES (14, " +
                                std::to_string(x14) + ", " + std::to_string(y14) +
                                ", x'00');"
                                "INSERT INTO tiles VALUES (14, " +
                                std::to_string(x14 + 1) + ", " + std::to_string(y14) + ", x'00');");
    Export({dir.File("z13.tsln")});
    const std::map<std::string, std::string> metadata = MbtilesReader(file).Metadata();
    EXPECT_EQ(metadata.at("minzoom"), "12");
    EXPECT_EQ(metadata.at("maxzoom"), "14");
    // The area all three zooms have: zoom 14's two tiles.
    const GeoRect bounds = BoundsIn(metadata);
    EXPECT_NEAR(bounds.Left, TileXToLongitude(x14, 14), 1e-9);
    EXPECT_NEAR(bounds.Right, TileXToLongitude(x14 + 2, 14), 1e-9);
    EXPECT_NEAR(bounds.Top, TileYToLatitude(z13.MinY * 2, 14), 1e-9);
    EXPECT_NEAR(bounds.Bottom, TileYToLatitude(z13.MinY * 2 + 1, 14), 1e-9);

    // A row off the grid is held to it, as far as the grid's edge.
    std::filesystem::remove(file);
    test::MakeMbtiles(file, "INSERT INTO tiles VALUES (3, 99, -5, x'00');");
    params.LeftLongitude = -180;
    params.RightLongitude = 180;
    params.TopLatitude = 85;
    params.BottomLatitude = -85;
    Project("z2.tsln", 2);
    Export({dir.File("z2.tsln")});
    const GeoRect whole = BoundsIn(MbtilesReader(file).Metadata());
    EXPECT_NEAR(whole.Right, 180, 1e-9);
    EXPECT_NEAR(whole.Bottom, TileYToLatitude(4, 2), 1e-9);
}

TEST_F(MbtilesExportTest, RefusesToMixFormatsAndChangesNothing) {
    Project("map.tsln", 13);
    params.MapsType = kMapsTypeSource;
    params.Source = TileSource::Read("Topo",
                                     {{"Url", "https://tiles.example/{z}/{x}/{y}.jpg"},
                                      {"Format", "jpg"},
                                      {"Attribution", "(c) Topo makers"}},
                                     "1.0");
    const MDTask& topo = Project("topo.tsln", 13);
    WriteFileAtomic(topo.GetTilePath({topo.Params->Zoom, topo.MinX, topo.MinY}), "\xff\xd8 jpeg");

    try {
        Export({dir.File("map.tsln"), dir.File("topo.tsln")});
        ADD_FAILURE() << "png and jpg tiles were mixed";
    } catch (const ETileContainerError& e) {
        EXPECT_NE(std::string(e.what()).find("Cannot mix tile formats"), std::string::npos);
    }
    EXPECT_FALSE(std::filesystem::exists(file));

    Export({dir.File("topo.tsln")});
    EXPECT_EQ(MbtilesReader(file).Metadata().at("attribution"), "(c) Topo makers");
    const std::string before = ReadFileBytes(file);
    EXPECT_THROW(Export({dir.File("map.tsln")}), ETileContainerError);
    EXPECT_EQ(ReadFileBytes(file), before);
}

TEST_F(MbtilesExportTest, AFileThatIsNoMbtilesOrIsLockedIsLeftAsItIs) {
    const MDTask& t = Project("area.tsln", 13);
    WriteFileAtomic(t.GetTilePath({t.Params->Zoom, t.MinX, t.MinY}), kTile);
    const std::vector<std::string> project{dir.File("area.tsln")};

    // Each refusal in the words users see.
    const auto refusal = [&] {
        try {
            Export(project);
        } catch (const ETileContainerError& e) {
            return std::string(e.what());
        }
        return std::string("exported");
    };
    WriteFileAtomic(file, std::string(4096, 'x'));
    EXPECT_EQ(refusal(), "The file " + file + " is not an MBTiles file: it is no SQLite database.");
    EXPECT_EQ(ReadFileBytes(file), std::string(4096, 'x'));

    std::filesystem::remove(file);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "CREATE TABLE notes (text)", nullptr, nullptr, nullptr),
              SQLITE_OK);
    EXPECT_EQ(refusal(), "The file " + file +
                             " is not an MBTiles file that can be written: it has no tiles and "
                             "metadata tables.");
    EXPECT_EQ(Query("SELECT count(*) FROM sqlite_master"), "1");
    sqlite3_close(other);

    std::filesystem::remove(file);
    Export(project);
    ASSERT_EQ(sqlite3_open(file.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    WriteFileAtomic(t.GetTilePath({t.Params->Zoom, t.MaxX, t.MaxY}), kTile);
    EXPECT_EQ(refusal(), "The MBTiles file " + file + " is locked by another program.");
    sqlite3_close(other);
    EXPECT_EQ(Query("SELECT count(*) FROM tiles"), "1");
}

TEST_F(MbtilesExportTest, TakesNoTileThroughALinkAndSaysWhichItSkipped) {
    const MDTask& t = Project("area.tsln", 13);
    WriteFileAtomic(t.GetTilePath({t.Params->Zoom, t.MinX, t.MinY}), kTile);
    const std::string secret = dir.File("shadow");
    WriteFileAtomic(secret, "root:$6$secret:19000:0:99999:7:::");
    const std::string linked = t.GetTilePath({t.Params->Zoom, t.MaxX, t.MaxY});
    ASSERT_EQ(::symlink(secret.c_str(), linked.c_str()), 0);

    const std::vector<ProjectExport> results = Export({dir.File("area.tsln")});
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].Written, 1);
    EXPECT_EQ(results[0].Skipped, 1);
    EXPECT_EQ(ExportSkipLines(results[0]),
              std::vector<std::string>{"Skipped " + linked + ": a symbolic link, not followed."});
    EXPECT_EQ(Query("SELECT count(*) FROM tiles"), "1");
    EXPECT_EQ(Query("SELECT count(*) FROM tiles WHERE instr(tile_data, 'root') > 0"), "0");

    // Past the lines kept, the rest are counted.
    ProjectExport many;
    many.Project = "p.tsln";
    many.Skipped = kSkipLinesKept + 5;
    many.SkipLines.assign(kSkipLinesKept, "x: a FIFO");
    const std::vector<std::string> lines = ExportSkipLines(many);
    ASSERT_EQ(lines.size(), kSkipLinesKept + 1);
    EXPECT_EQ(lines.back(), "Skipped 5 more tile files of p.tsln.");
}

// An MBTiles file made by someone else, with statements of its own.
class HostileMbtilesExport : public MbtilesExportTest {
protected:
    std::string Refusal() {
        if (!prepared_) {
            const MDTask& t = Project("area.tsln", 13);
            WriteFileAtomic(t.GetTilePath({t.Params->Zoom, t.MinX, t.MinY}), kTile);
            prepared_ = true;
        }
        try {
            Export({dir.File("area.tsln")});
        } catch (const ETileContainerError& e) {
            return e.what();
        }
        return "exported";
    }

    bool JournalLeft() const { return std::filesystem::exists(file + "-journal"); }

private:
    bool prepared_ = false;
};

TEST_F(HostileMbtilesExport, RefusesTilesThatAreAViewOrCarryATriggerAndLeavesNoJournal) {
    test::MakeMbtiles(file,
                      "CREATE TRIGGER wipe AFTER INSERT ON tiles BEGIN DELETE FROM tiles; END;");
    EXPECT_EQ(Refusal(), "The file " + file +
                             " is not an MBTiles file that can be used safely: its tiles table "
                             "carries the trigger wipe, which would run the file's own "
                             "statements.");
    EXPECT_FALSE(JournalLeft());
    EXPECT_EQ(Query("SELECT count(*) FROM sqlite_master WHERE type = 'trigger'"), "1");

    std::filesystem::remove(file);
    test::MakeMbtiles(
        file,
        "DROP TABLE tiles; CREATE VIEW tiles AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT "
        "i + 1 FROM n)"
        " SELECT i AS zoom_level, i AS tile_column, i AS tile_row, i AS tile_data FROM n;");
    EXPECT_EQ(Refusal(), "The file " + file +
                             " is not an MBTiles file that can be used safely: its tiles table "
                             "is a view, which would run the file's own statements.");
    EXPECT_FALSE(JournalLeft());
}

TEST_F(HostileMbtilesExport, RefusesAnOutputThatIsNoRegularFileAndMakesNothingBesideIt) {
    const std::string fifo = dir.File("fifo.mbtiles");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string device = dir.File("device.mbtiles");
    ASSERT_EQ(::symlink("/dev/null", device.c_str()), 0);
    const std::string folder = dir.File("folder.mbtiles");
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    for (const auto& [path, kind] : {std::pair{fifo, "a FIFO"}, std::pair{device, "a device node"},
                                     std::pair{folder, "a folder"}}) {
        file = path;
        EXPECT_EQ(Refusal(),
                  "Cannot export into " + path + ": it is " + kind + ", not an MBTiles file.");
        EXPECT_FALSE(JournalLeft()) << path;
    }
    EXPECT_EQ(OutputRefusal(fifo), "a FIFO");
    EXPECT_EQ(OutputRefusal(device), "a device node");
    EXPECT_FALSE(std::filesystem::exists("/dev/null-journal"));
}

TEST_F(MbtilesExportTest, AStopEndsItBetweenBatchesAndLeavesTheFileAsItWas) {
    // 1,862 tiles at zoom 16: a stop at the first batch is seen at once.
    const MDTask& big = Project("big.tsln", 16);
    WriteFileAtomic(big.GetTilePath({big.Params->Zoom, big.MinX, big.MinY}), kTile);
    const MDTask& small = Project("small.tsln", 13);
    WriteFileAtomic(small.GetTilePath({small.Params->Zoom, small.MinX, small.MinY}), kTile);
    const std::string smallTile = small.GetTilePath({small.Params->Zoom, small.MaxX, small.MaxY});
    const auto exportStoppedAt = [&](std::int64_t when, const std::vector<std::string>& projects) {
        progress.clear();
        StopSignal stop;
        options.Stop = &stop;
        try {
            ExportTiles(ContainerFormat::Mbtiles, projects, file, options,
                        [&](std::int64_t done, std::int64_t total) {
                            progress.emplace_back(done, total);
                            if (done >= when) {
                                stop.Request();
                            }
                        });
            ADD_FAILURE() << "not cancelled";
        } catch (const ECancelled&) {
        }
        options.Stop = nullptr;
    };

    // Cancelled, not failed; a file it made is gone.
    exportStoppedAt(1024, {dir.File("big.tsln"), dir.File("small.tsln")});
    EXPECT_EQ(progress, (std::vector<std::pair<std::int64_t, std::int64_t>>{{1024, 1862 + 42}}));
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_FALSE(std::filesystem::exists(file + "-journal"));

    // A file that was there keeps its bytes, whether the stop comes between
    // projects or after the last one, before the commit.
    Export({dir.File("small.tsln")});
    const std::string before = ReadFileBytes(file);
    WriteFileAtomic(smallTile, kTile);
    exportStoppedAt(42, {dir.File("small.tsln"), dir.File("big.tsln")});
    EXPECT_EQ(progress.size(), 1u);
    EXPECT_EQ(ReadFileBytes(file), before);
    exportStoppedAt(42, {dir.File("small.tsln")});
    EXPECT_EQ(ReadFileBytes(file), before);
    EXPECT_FALSE(std::filesystem::exists(file + "-journal"));
    // Without a stop the same export changes it.
    Export({dir.File("small.tsln")});
    EXPECT_EQ(Query("SELECT count(*) FROM tiles"), "2");
}

// What a shell command printed on standard output; nullopt when it cannot be
// run.
std::optional<std::string> Output(const std::string& command) {
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return std::nullopt;
    }
    std::string text;
    char buffer[4096];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) {
        text.append(buffer, n);
    }
    return pclose(pipe) == 0 ? std::optional(text) : std::nullopt;
}

TEST_F(MbtilesExportTest, GdalOpensTheFileWithItsZoomsAndBounds) {
    if (!Output("gdalinfo --version >/dev/null 2>&1")) {
        GTEST_SKIP() << "gdalinfo is not installed";
    }
    // Zoom 12 covers more than zoom 13: the bounds are the area both cover,
    // zoom 13's, so GDAL shows zoom 13 with no empty margin and zoom 12 as an
    // overview. Bounds of the area of either zoom left GDAL's image half empty.
    std::int32_t minX13 = 0, minY13 = 0, columns13 = 0, rows13 = 0;
    for (const int zoom : {12, 13}) {
        const MDTask& t = Project("z" + std::to_string(zoom) + ".tsln", zoom);
        for (std::int32_t x = t.MinX; x <= t.MaxX; ++x) {
            for (std::int32_t y = t.MinY; y <= t.MaxY; ++y) {
                WriteFileAtomic(t.GetTilePath({t.Params->Zoom, x, y}), kTile);
            }
        }
        if (zoom == 13) {
            minX13 = t.MinX;
            minY13 = t.MinY;
            columns13 = t.MaxX - t.MinX + 1;
            rows13 = t.MaxY - t.MinY + 1;
        }
    }
    Export({dir.File("z12.tsln"), dir.File("z13.tsln")});
    const std::optional<std::string> info = Output("gdalinfo " + file + " 2>&1");
    ASSERT_TRUE(info.has_value());
    SCOPED_TRACE(*info);

    int width = 0, height = 0;
    ASSERT_EQ(std::sscanf(info->c_str() + info->find("Size is"), "Size is %d, %d", &width, &height),
              2);
    EXPECT_EQ(width, columns13 * 256);
    EXPECT_EQ(height, rows13 * 256);
    double originX = 0, originY = 0, pixel = 0;
    ASSERT_EQ(std::sscanf(info->c_str() + info->find("Origin ="), "Origin = (%lf,%lf)", &originX,
                          &originY),
              2);
    ASSERT_EQ(std::sscanf(info->c_str() + info->find("Pixel Size ="), "Pixel Size = (%lf", &pixel),
              1);
    constexpr double kHalfWorld = 20037508.342789244;
    const double tile13 = 2 * kHalfWorld / 8192;
    EXPECT_NEAR(pixel, tile13 / 256, 1e-9);
    EXPECT_NEAR(originX, -kHalfWorld + minX13 * tile13, 1e-3);
    EXPECT_NEAR(originY, kHalfWorld - minY13 * tile13, 1e-3);
    EXPECT_NE(info->find("ZOOM_LEVEL=13"), std::string::npos);
    EXPECT_NE(info->find("minzoom=12"), std::string::npos);
    const std::string overview =
        "Overviews: " + std::to_string(width / 2) + "x" + std::to_string(height / 2) + "\n";
    EXPECT_NE(info->find(overview), std::string::npos);
}

class ShapedExport : public test::SmallTask {};

// A task of two zooms goes in whole, one row a tile of its cover at each zoom
// and none outside it, and its bounds are the area every zoom covers.
TEST_F(ShapedExport, WritesEveryZoomOfTheCoverAndBoundsEveryZoomCovers) {
    StartShaped(14);
    const TileCover cover = Open().Cover();
    for (TileCover::Cursor c = cover.From(1); c.Valid(); c.Advance(1)) {
        PutTile(c.Tile(), "tile");
    }
    // A file beside them outside the shape is no tile of the task.
    PutTile({13, kMinX + 1, kMinY + 2}, "stray");

    const std::string file = dir.File("out.mbtiles");
    const std::vector<ProjectExport> results =
        ExportTiles(ContainerFormat::Mbtiles, {dir.File("newtask.tsln")}, file,
                    {"", false, blankFolder}, {})
            .Projects;
    ASSERT_EQ(results.size(), 1u);
    // By hand: 5 tiles of the triangle at zoom 13, 6 + 4 + 2 at zoom 14.
    EXPECT_EQ(results[0].Written, 17);
    EXPECT_EQ(ExportSummaryLine(results[0], false),
              dir.File("newtask.tsln") +
                  ": zooms 13-14, 17 tiles written; left out: 0 blank, 0 failed, 0 missing.");

    const MbtilesReader reader(file);
    EXPECT_EQ(reader.Zooms(), (std::vector<int>{13, 14}));
    const auto tilesAt = [&reader](int zoom) {
        const TileRange range = reader.Range(zoom);
        int count = 0;
        for (std::int32_t x = range.MinX; x <= range.MaxX; ++x) {
            for (std::int32_t y = range.MinY; y <= range.MaxY; ++y) {
                count += reader.Tile(zoom, x, y).has_value() ? 1 : 0;
            }
        }
        return count;
    };
    EXPECT_EQ(tilesAt(13), 5);
    EXPECT_EQ(tilesAt(14), 12);
    EXPECT_FALSE(reader.Tile(13, kMinX + 1, kMinY + 2).has_value());
    const TileRange deep = reader.Range(14);
    EXPECT_EQ(std::vector<std::int32_t>({deep.MinX, deep.MinY, deep.MaxX, deep.MaxY}),
              std::vector<std::int32_t>({13485, 6202, 13487, 6207}));

    const std::map<std::string, std::string> metadata = reader.Metadata();
    EXPECT_EQ(metadata.at("minzoom"), "13");
    EXPECT_EQ(metadata.at("maxzoom"), "14");
    const GeoRect bounds = BoundsIn(metadata);
    // Zoom 14's tiles begin half a zoom-13 tile east of zoom 13's.
    EXPECT_NEAR(bounds.Left, TileXToLongitude(13485, 14), 1e-9);
    EXPECT_NEAR(bounds.Right, TileXToLongitude(13488, 14), 1e-9);
    EXPECT_NEAR(bounds.Top, TileYToLatitude(6202, 14), 1e-9);
    EXPECT_NEAR(bounds.Bottom, TileYToLatitude(6208, 14), 1e-9);
}

}  // namespace
}  // namespace tessellon
