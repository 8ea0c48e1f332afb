// The GeoPackage and PMTiles containers, each read back by a reader nobody
// here wrote: GDAL for the GeoPackage (every zoom an overview, the pixels of
// the tiles), the npm pmtiles package for PMTiles (every tile by z/x/y, the
// header and metadata); and the refusals they share with MBTiles.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "combine_fixture.h"
#include "output/pmtiles.h"
#include "output/task_reader.h"
#include "output/tile_export.h"
#include "platform/files.h"
#include "task_fixture.h"

namespace tessellon {
namespace {

// A real 256 x 256 PNG of one colour (200, 30, 40), which GDAL reads too.
const std::string& kTile = test::kSolidPng;

std::string Hex(std::string_view bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (const char c : bytes) {
        hex += digits[static_cast<unsigned char>(c) >> 4];
        hex += digits[static_cast<unsigned char>(c) & 15];
    }
    return hex;
}

class ContainerExport : public test::SampleTask {
protected:
    ContainerExport() { std::filesystem::create_directories(options.BlankFolder); }

    // A started task named `name` at `zoom` over the sample area, every tile
    // of it `bytes` (or, when empty, a text naming the tile).
    const MDTask& Project(const std::string& name, int zoom, const std::string& bytes = kTile) {
        params.TaskName = name;
        params.Zoom = zoom;
        const MDTask& t = Create();
        t.WriteTaskFiles({});
        for (std::int32_t x = t.MinX; x <= t.MaxX; ++x) {
            for (std::int32_t y = t.MinY; y <= t.MaxY; ++y) {
                WriteFileAtomic(t.GetTilePath({zoom, x, y}),
                                bytes.empty() ? TileText({zoom, x, y}) : bytes);
            }
        }
        return t;
    }

    static std::string TileText(const TileId& tile) {
        return "tile " + std::to_string(tile.Zoom) + "/" + std::to_string(tile.X) + "/" +
               std::to_string(tile.Y);
    }

    std::vector<ProjectExport> Export(ContainerFormat format, const std::string& output,
                                      const std::vector<std::string>& projects) {
        return ExportTiles(format, projects, output, options, {}).Projects;
    }

    // Runs statements on the file, made when missing, as another program
    // would; true when SQLite took them.
    static bool Execute(const std::string& path, const std::string& sql) {
        sqlite3* db = nullptr;
        const bool done = sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
                          sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
        sqlite3_close(db);
        return done;
    }

    // The rows of a query, their columns joined by "|".
    std::vector<std::string> Query(const std::string& path, const std::string& sql) {
        sqlite3* db = nullptr;
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr);
        std::vector<std::string> rows;
        while (statement != nullptr && sqlite3_step(statement) == SQLITE_ROW) {
            std::string row;
            for (int i = 0; i < sqlite3_column_count(statement); ++i) {
                const auto* text = sqlite3_column_text(statement, i);
                row += (i > 0 ? "|" : "") +
                       std::string(text ? reinterpret_cast<const char*>(text) : "");
            }
            rows.push_back(row);
        }
        sqlite3_finalize(statement);
        sqlite3_close(db);
        return rows;
    }

    std::string Refusal(ContainerFormat format, const std::string& output,
                        const std::vector<std::string>& projects) {
        try {
            Export(format, output, projects);
        } catch (const ETileContainerError& e) {
            return e.what();
        }
        return "exported";
    }

    TileExportOptions options{"", false, dir.File("blankimg/")};
};

TEST_F(ContainerExport, GdalOpensTheGeoPackageWithEveryZoomAsAnOverview) {
    if (!test::ToolInstalled("gdalinfo") || !test::ToolInstalled("gdallocationinfo")) {
        GTEST_SKIP() << "gdalinfo is not installed";
    }
    Project("z12.tsln", 12);
    const MDTask& z13 = Project("z13.tsln", 13);
    const std::string file = dir.File("map.gpkg");
    options.Name = "Beijing";
    const std::vector<ProjectExport> results =
        Export(ContainerFormat::GeoPackage, file, {dir.File("z12.tsln"), dir.File("z13.tsln")});
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[1].Written, 42);

    const std::string info = test::GdalInfo(file);
    SCOPED_TRACE(info.substr(0, 3000));
    const std::int32_t columns = z13.MaxX - z13.MinX + 1;
    const std::int32_t rows = z13.MaxY - z13.MinY + 1;
    // Zoom 13's tiles bound it, zoom 12 is its overview.
    EXPECT_NE(info.find("\"size\":[" + std::to_string(columns * 256) + "," +
                        std::to_string(rows * 256) + "]"),
              std::string::npos);
    EXPECT_NE(info.find("\"overviews\":[{\"size\":[" + std::to_string(columns * 128) + "," +
                        std::to_string(rows * 128) + "]"),
              std::string::npos);
    EXPECT_NE(info.find("\\\"EPSG\\\",3857]"), std::string::npos);
    const std::vector<double> transform = test::GeoTransformIn(info);
    ASSERT_EQ(transform.size(), 6u);
    constexpr double kHalfWorld = 20037508.342789244;
    const double tile = 2 * kHalfWorld / 8192;
    EXPECT_NEAR(transform[0], -kHalfWorld + z13.MinX * tile, 1e-3);
    EXPECT_NEAR(transform[3], kHalfWorld - z13.MinY * tile, 1e-3);
    EXPECT_EQ(test::GdalPixel(file, 10, 10), (test::Rgb{200, 30, 40}));

    // GeoPackage rows count from the north, as XYZ rows do.
    EXPECT_EQ(Query(file, "SELECT count(*) FROM tiles WHERE zoom_level = 13 AND tile_row = " +
                              std::to_string(z13.MinY)),
              std::vector<std::string>{std::to_string(columns)});
    EXPECT_EQ(Query(file, "SELECT zoom_level, matrix_width FROM gpkg_tile_matrix"),
              (std::vector<std::string>{"12|4096", "13|8192"}));
    EXPECT_EQ(Query(file, "SELECT identifier, data_type, srs_id FROM gpkg_contents"),
              std::vector<std::string>{"Beijing|tiles|3857"});
    EXPECT_EQ(Query(file, "PRAGMA application_id"), std::vector<std::string>{"1196444487"});
    EXPECT_EQ(Query(file, "PRAGMA user_version"), std::vector<std::string>{"10300"});

    // Again into the same file: the tiles of the same place are replaced.
    Export(ContainerFormat::GeoPackage, file, {dir.File("z13.tsln")});
    EXPECT_EQ(Query(file, "SELECT count(*) FROM tiles"),
              std::vector<std::string>{std::to_string(42 + 12)});
    EXPECT_EQ(Query(file, "SELECT identifier FROM gpkg_contents"),
              std::vector<std::string>{"Beijing"});
}

TEST_F(ContainerExport, TheGeoPackageRefusesVectorTilesAndOtherDatabasesAndChangesNothing) {
    Project("map.tsln", 13);
    const std::string file = dir.File("map.gpkg");
    params.MapsType = kMapsTypeSource;
    params.Source = TileSource::Read(
        "Vectors", {{"Url", "https://tiles.example/{z}/{x}/{y}.pbf"}, {"Format", "pbf"}}, "1.0");
    Project("vectors.tsln", 13, "vector tile");
    EXPECT_EQ(Refusal(ContainerFormat::GeoPackage, file, {dir.File("vectors.tsln")}),
              "A GeoPackage holds PNG, JPEG or WebP tiles; " + dir.File("vectors.tsln") +
                  " has pbf tiles.");
    EXPECT_FALSE(std::filesystem::exists(file));

    test::MakeMbtiles(file, "");
    EXPECT_EQ(Refusal(ContainerFormat::GeoPackage, file, {dir.File("map.tsln")}),
              "The file " + file +
                  " is not a GeoPackage that can be written: it has no gpkg_contents table.");
    EXPECT_EQ(Query(file, "SELECT count(*) FROM sqlite_master").front(), "2");

    std::filesystem::remove(file);
    Export(ContainerFormat::GeoPackage, file, {dir.File("map.tsln")});
    ASSERT_TRUE(
        Execute(file, "CREATE TRIGGER wipe AFTER INSERT ON tiles BEGIN DELETE FROM tiles; END;"));
    const std::string before = ReadFileBytes(file);
    EXPECT_EQ(Refusal(ContainerFormat::GeoPackage, file, {dir.File("map.tsln")}),
              "The file " + file +
                  " is not a GeoPackage file that can be used safely: its tiles table carries "
                  "the trigger wipe, which would run the file's own statements.");
    EXPECT_EQ(ReadFileBytes(file), before);
}

// GDAL's own GeoPackage checks its tile matrix with triggers that only
// abort: it takes our tiles beside its own. A trigger there that deletes is
// refused.
TEST_F(ContainerExport, TheGeoPackageJoinsOneGdalMadeButNotOneWithAHarmfulTrigger) {
    if (!test::ToolInstalled("gdal_translate")) {
        GTEST_SKIP() << "gdal_translate is not installed";
    }
    Project("map.tsln", 13);
    const std::string file = dir.File("gdal.gpkg");
    WriteFileAtomic(dir.File("red.png"), test::EncodePng({255, 0, 0}));
    const test::Run made = test::RunCommand(
        "gdal_translate -q -of GPKG -a_srs EPSG:3857 -a_ullr 0 256 256 0 -co "
        "TILING_SCHEME=GoogleMapsCompatible -co RASTER_TABLE=red " +
        test::Quoted(dir.File("red.png")) + " " + test::Quoted(file) + " 2>&1");
    ASSERT_EQ(made.Status, 0) << made.Output;
    ASSERT_FALSE(Query(file, "SELECT name FROM sqlite_master WHERE type = 'trigger'").empty());
    Export(ContainerFormat::GeoPackage, file, {dir.File("map.tsln")});
    EXPECT_EQ(Query(file, "SELECT table_name FROM gpkg_contents ORDER BY table_name"),
              (std::vector<std::string>{"red", "tiles"}));
    EXPECT_EQ(Query(file, "SELECT count(*) FROM tiles"), std::vector<std::string>{"42"});

    ASSERT_TRUE(Execute(file,
                        "CREATE TRIGGER gpkg_tile_matrix_check BEFORE INSERT ON "
                        "gpkg_tile_matrix BEGIN DELETE FROM tiles; END;"));
    EXPECT_EQ(Refusal(ContainerFormat::GeoPackage, file, {dir.File("map.tsln")}),
              "The file " + file +
                  " is not a GeoPackage file that can be used safely: its gpkg_tile_matrix table "
                  "carries the trigger gpkg_tile_matrix_check, which would run the file's own "
                  "statements.");
    EXPECT_EQ(Query(file, "SELECT count(*) FROM tiles"), std::vector<std::string>{"42"});
}

// The phone apps' store, read back with the sqlite3 tool: the apps' schema,
// rows from the north, zooms inverted in a new file and as declared in an
// existing one.
TEST_F(ContainerExport, TheOsmandStoreNumbersZoomsAsTheFileDeclares) {
    if (!test::ToolInstalled("sqlite3")) {
        GTEST_SKIP() << "sqlite3 is not installed";
    }
    const auto sqlite3Tool = [](const std::string& file, const std::string& sql) {
        const test::Run run =
            test::RunCommand("sqlite3 " + test::Quoted(file) + " " + test::Quoted(sql) + " 2>&1");
        EXPECT_EQ(run.Status, 0) << run.Output;
        return run.Output;
    };
    const MDTask& z12 = Project("z12.tsln", 12);
    const std::int32_t x12 = z12.MinX, y12 = z12.MinY;
    Project("z13.tsln", 13);
    const std::string file = dir.File("map.sqlitedb");
    options.Name = "Beijing";
    Export(ContainerFormat::Osmand, file, {dir.File("z12.tsln"), dir.File("z13.tsln")});
    EXPECT_NE(sqlite3Tool(file, ".schema tiles").find("PRIMARY KEY (x, y, z, s)"),
              std::string::npos);
    EXPECT_EQ(sqlite3Tool(file, "SELECT minzoom, maxzoom, tilenumbering, name FROM info"),
              "4|5|BigPlanet|Beijing\n");
    EXPECT_EQ(sqlite3Tool(file, "SELECT z, count(*), sum(s) FROM tiles GROUP BY z"),
              "4|42|0\n5|12|0\n");
    EXPECT_EQ(sqlite3Tool(file, "SELECT lower(hex(image)) = '" + Hex(kTile) +
                                    "' FROM tiles WHERE z = 5 AND x = " + std::to_string(x12) +
                                    " AND y = " + std::to_string(y12)),
              "1\n");

    // A file that numbers its zooms directly keeps doing so, its own tiles
    // counted in the zooms; without --name it takes the project's.
    options.Name.clear();
    const std::string simple = dir.File("simple.sqlitedb");
    sqlite3Tool(simple,
                "CREATE TABLE tiles (x int, y int, z int, s int, image blob, PRIMARY KEY "
                "(x, y, z, s)); CREATE TABLE info (maxzoom int, minzoom int, tilenumbering text);"
                "INSERT INTO info VALUES (15, 15, 'simple'); INSERT INTO tiles VALUES (1, 1, 15, "
                "0, x'" +
                    Hex(kTile) + "');");
    Export(ContainerFormat::Osmand, simple, {dir.File("z13.tsln")});
    EXPECT_EQ(sqlite3Tool(simple, "SELECT minzoom, maxzoom, tilenumbering, name FROM info"),
              "13|15|simple|z13\n");
    EXPECT_EQ(sqlite3Tool(simple, "SELECT z, count(*) FROM tiles GROUP BY z"), "13|42\n15|1\n");
}

TEST_F(ContainerExport, TheOsmandStoreRefusesOtherFilesAndOtherTilesAndChangesNothing) {
    Project("map.tsln", 13);
    const std::string file = dir.File("map.sqlitedb");
    test::MakeMbtiles(file, "");
    const std::string mbtiles = ReadFileBytes(file);
    EXPECT_EQ(Refusal(ContainerFormat::Osmand, file, {dir.File("map.tsln")}),
              "The file " + file +
                  " is not an OsmAnd SQLiteDB file that can be written: it has no tiles table of "
                  "x, y, z, s and image.");
    EXPECT_EQ(ReadFileBytes(file), mbtiles);

    std::filesystem::remove(file);
    const std::string jpeg = test::EncodeJpeg({1, 2, 3});
    ASSERT_TRUE(Execute(file,
                        "CREATE TABLE tiles (x int, y int, z int, s int, image blob, PRIMARY "
                        "KEY (x, y, z, s)); INSERT INTO tiles VALUES (0, 0, 17, 0, x'" +
                            Hex(jpeg) + "');"));
    const std::string before = ReadFileBytes(file);
    EXPECT_EQ(Refusal(ContainerFormat::Osmand, file, {dir.File("map.tsln")}),
              "Cannot mix tile formats in one OsmAnd SQLiteDB file: " + dir.File("map.tsln") +
                  " has png tiles, " + file + " has jpg.");
    EXPECT_EQ(ReadFileBytes(file), before);
}

TEST(PmtilesIds, FollowTheHilbertCurveZoomAfterZoom) {
    EXPECT_EQ(HilbertTileId({0, 0, 0}), 0u);
    EXPECT_EQ(HilbertTileId({1, 0, 0}), 1u);
    EXPECT_EQ(HilbertTileId({1, 0, 1}), 2u);
    EXPECT_EQ(HilbertTileId({1, 1, 1}), 3u);
    EXPECT_EQ(HilbertTileId({1, 1, 0}), 4u);
    EXPECT_EQ(HilbertTileId({2, 0, 0}), 5u);
    // Every tile of a zoom gets its own id, all of them after the zoom above.
    std::set<std::uint64_t> ids;
    for (std::int32_t x = 0; x < 8; ++x) {
        for (std::int32_t y = 0; y < 8; ++y) {
            ids.insert(HilbertTileId({3, x, y}));
        }
    }
    EXPECT_EQ(ids.size(), 64u);
    EXPECT_EQ(*ids.begin(), 21u);
    EXPECT_EQ(*ids.rbegin(), 84u);
    // Neighbours on the curve are neighbours on the map; the values are
    // those of the pmtiles package's own zxyToTileId.
    EXPECT_EQ(HilbertTileId({2, 1, 0}), 6u);
    EXPECT_EQ(HilbertTileId({2, 1, 1}), 7u);
    EXPECT_EQ(HilbertTileId({2, 0, 1}), 8u);
    EXPECT_EQ(HilbertTileId({12, 3371, 1550}), 19028464u);
}

class PmtilesExport : public ContainerExport {
protected:
    void SetUp() override {
        modules_ = std::string(TESSELLON_SOURCE_DIR) + "/tests/output/pmtiles_reader/";
        if (!test::ToolInstalled("node") ||
            !std::filesystem::exists(modules_ + "node_modules/pmtiles")) {
            GTEST_SKIP() << "node or the npm pmtiles package (npm install in " << modules_
                         << ") is missing";
        }
    }

    // The reader's lines, by their first word (tiles by "tile Z/X/Y").
    std::map<std::string, std::string> Read(const std::string& archive,
                                            const std::vector<TileId>& tiles) {
        std::string command =
            "node " + test::Quoted(modules_ + "read_pmtiles.mjs") + " " + test::Quoted(archive);
        for (const TileId& tile : tiles) {
            command += " " + std::to_string(tile.Zoom) + "/" + std::to_string(tile.X) + "/" +
                       std::to_string(tile.Y);
        }
        const test::Run run = test::RunCommand(command + " 2>&1");
        EXPECT_EQ(run.Status, 0) << run.Output;
        std::map<std::string, std::string> lines;
        std::size_t at = 0;
        while (at < run.Output.size()) {
            const std::size_t end = std::min(run.Output.find('\n', at), run.Output.size());
            const std::string line = run.Output.substr(at, end - at);
            std::size_t key = line.find(' ');
            if (line.starts_with("tile ")) {
                key = line.find(' ', 5);
            }
            if (key != std::string::npos) {
                lines[line.substr(0, key)] = line.substr(key + 1);
            }
            at = end + 1;
        }
        return lines;
    }

    std::string modules_;
};

TEST_F(PmtilesExport, TheNpmReaderFindsEveryTileAndTheHeaderAndMetadata) {
    const MDTask& t12 = Project("z12.tsln", 12, "");
    const TileRange z12{t12.MinX, t12.MinY, t12.MaxX, t12.MaxY};
    std::filesystem::remove(t12.GetTilePath({12, z12.MinX, z12.MinY}));
    // Zoom 13's tiles all alike: stored once.
    const MDTask& z13 = Project("z13.tsln", 13);
    const std::int32_t x13 = z13.MinX, y13 = z13.MinY, maxX13 = z13.MaxX, maxY13 = z13.MaxY;
    const std::string file = dir.File("map.pmtiles");
    options.Name = "Beijing \"centre\"";
    const std::vector<ProjectExport> results =
        Export(ContainerFormat::Pmtiles, file, {dir.File("z12.tsln"), dir.File("z13.tsln")});
    EXPECT_EQ(results[0].Missing, 1);

    std::vector<TileId> tiles;
    for (std::int32_t x = z12.MinX; x <= z12.MaxX; ++x) {
        for (std::int32_t y = z12.MinY; y <= z12.MaxY; ++y) {
            tiles.push_back({12, x, y});
        }
    }
    tiles.push_back({13, x13, y13});
    tiles.push_back({13, maxX13, maxY13});
    tiles.push_back({13, maxX13 + 1, maxY13});
    std::map<std::string, std::string> read = Read(file, tiles);
    const std::int64_t z12Tiles = static_cast<std::int64_t>(tiles.size()) - 3;
    for (const TileId& tile : tiles) {
        const std::string key = "tile " + std::to_string(tile.Zoom) + "/" + std::to_string(tile.X) +
                                "/" + std::to_string(tile.Y);
        SCOPED_TRACE(key);
        if ((tile.Zoom == 12 && tile.X == z12.MinX && tile.Y == z12.MinY) || tile.X > maxX13) {
            EXPECT_EQ(read[key], "none");
        } else {
            EXPECT_EQ(read[key], Hex(tile.Zoom == 12 ? TileText(tile) : kTile));
        }
    }
    // Zooms 12..13, PNG, clustered, gzip directories; tiles addressed, one
    // entry per distinct tile or run of alike ones, and zoom 13's bytes once.
    const std::string addressed = std::to_string(z12Tiles - 1 + 42);
    EXPECT_TRUE(read["header"].starts_with("12 13 2 1 2 1 " + addressed + " ")) << read["header"];
    EXPECT_NE(read["header"].find(" " + std::to_string(z12Tiles - 1 + 1) + " "), std::string::npos)
        << read["header"];
    EXPECT_NE(read["metadata"].find("\"name\":\"Beijing \\\"centre\\\"\""), std::string::npos)
        << read["metadata"];

    // An archive is written whole: an existing one is refused and kept.
    const std::string before = ReadFileBytes(file);
    EXPECT_NE(Refusal(ContainerFormat::Pmtiles, file, {dir.File("z13.tsln")}).find("exists"),
              std::string::npos);
    EXPECT_EQ(ReadFileBytes(file), before);
}

// The zooms built below come before the projects' on the curve: a reader
// finds them, and the tiles above them still.
TEST_F(PmtilesExport, BuiltLowerZoomsAreFoundAmongTheProjectsTiles) {
    const MDTask& z13 = Project("z13.tsln", 13);
    const TileId child{13, z13.MinX, z13.MinY};
    const std::string file = dir.File("lower.pmtiles");
    options.BuildLower = 2;
    EXPECT_EQ(ExportTiles(ContainerFormat::Pmtiles, {dir.File("z13.tsln")}, file, options, {})
                  .Built.size(),
              2u);
    std::map<std::string, std::string> read =
        Read(file, {child, {12, child.X / 2, child.Y / 2}, {11, child.X / 4, child.Y / 4}});
    EXPECT_TRUE(read["header"].starts_with("11 13 ")) << read["header"];
    EXPECT_EQ(read["tile 13/" + std::to_string(child.X) + "/" + std::to_string(child.Y)],
              Hex(kTile));
    for (const std::string& key :
         {"tile 12/" + std::to_string(child.X / 2) + "/" + std::to_string(child.Y / 2),
          "tile 11/" + std::to_string(child.X / 4) + "/" + std::to_string(child.Y / 4)}) {
        EXPECT_TRUE(read[key].starts_with("89504e47")) << key << ": " << read[key];
    }
}

// Enough distinct tiles, scattered over a zoom, that the root directory
// cannot hold them all: the reader goes through the leaf directories. The
// tiles are put into the sink directly, in the order the export gives them.
TEST_F(PmtilesExport, ManyTilesGoThroughLeafDirectories) {
    Project("small.tsln", 13);
    std::vector<TaskReader> readers;
    readers.emplace_back(dir.File("small.tsln"), options.BlankFolder);
    std::vector<std::pair<std::uint64_t, TileId>> places;
    for (std::int32_t i = 0; i < 60000; ++i) {
        const TileId tile{16, static_cast<std::int32_t>((i * 7919LL) % 65536),
                          static_cast<std::int32_t>((i * 104729LL) % 65536)};
        places.emplace_back(HilbertTileId(tile), tile);
    }
    std::sort(places.begin(), places.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    const std::string file = dir.File("wide.pmtiles");
    {
        const std::unique_ptr<TileSink> sink = MakePmtilesSink(file, false);
        sink->Begin(readers);
        for (const auto& [id, tile] : places) {
            sink->Put(tile, TileText(tile) + std::string(id % 7, '.'));
        }
        sink->Finish(readers, options, nullptr);
    }
    std::vector<TileId> tiles;
    for (std::size_t i = 0; i < places.size(); i += 5999) {
        tiles.push_back(places[i].second);
    }
    tiles.push_back(places.back().second);
    std::map<std::string, std::string> read = Read(file, tiles);
    for (const TileId& tile : tiles) {
        EXPECT_EQ(read["tile " + std::to_string(tile.Zoom) + "/" + std::to_string(tile.X) + "/" +
                       std::to_string(tile.Y)],
                  Hex(TileText(tile) + std::string(HilbertTileId(tile) % 7, '.')));
    }
    EXPECT_TRUE(read["header"].starts_with("16 16 2 1 2 1 60000 60000 60000 ")) << read["header"];
    // The leaves lie past the tiles: the header's leaf directory length
    // (at byte 48) is not 0.
    const std::string bytes = ReadFileBytes(file);
    std::uint64_t leavesLength = 0;
    for (int i = 7; i >= 0; --i) {
        leavesLength = leavesLength << 8 | static_cast<unsigned char>(bytes[48 + i]);
    }
    EXPECT_GT(leavesLength, 0u);
}

}  // namespace
}  // namespace tessellon
