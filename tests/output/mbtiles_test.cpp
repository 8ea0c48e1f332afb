#include "output/mbtiles.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "net/net_limits.h"
#include "platform/files.h"
#include "temp_dir.h"

namespace tessellon {
namespace {

// A connection of the test's own, as another program would hold one.
class OtherConnection {
public:
    explicit OtherConnection(const std::string& path) {
        EXPECT_EQ(sqlite3_open(path.c_str(), &db_), SQLITE_OK);
    }
    ~OtherConnection() { sqlite3_close(db_); }
    void Run(const std::string& sql) {
        ASSERT_EQ(sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
    }

private:
    sqlite3* db_ = nullptr;
};

class MbtilesReaderTest : public ::testing::Test {
protected:
    // A file made as other programs make them: TMS rows, a few zooms.
    std::string MakeFile() {
        const std::string path = dir.File("made.mbtiles");
        OtherConnection db(path);
        db.Run(
            "CREATE TABLE metadata (name text, value text);"
            "CREATE TABLE tiles (zoom_level integer, tile_column integer, tile_row integer,"
            " tile_data blob);"
            "INSERT INTO metadata VALUES ('name', 'Made'), ('format', 'png');"
            // Zoom 2: XYZ (1, 0) is TMS row 3; XYZ (2, 1) is TMS row 2.
            "INSERT INTO tiles VALUES (2, 1, 3, x'89504e4700'), (2, 2, 2, 'second');"
            "INSERT INTO tiles VALUES (0, 0, 0, 'world');");
        return path;
    }

    test::TempDir dir;
};

TEST_F(MbtilesReaderTest, ReadsMetadataZoomsRangesAndTilesByXyzRows) {
    const MbtilesReader reader(MakeFile());
    const std::map<std::string, std::string> metadata = reader.Metadata();
    EXPECT_EQ(metadata.at("name"), "Made");
    EXPECT_EQ(metadata.at("format"), "png");
    EXPECT_EQ(reader.Zooms(), (std::vector<int>{0, 2}));

    const TileRange range = reader.Range(2);
    EXPECT_EQ(range.MinX, 1);
    EXPECT_EQ(range.MaxX, 2);
    EXPECT_EQ(range.MinY, 0);
    EXPECT_EQ(range.MaxY, 1);
    EXPECT_THROW(reader.Range(5), EMbtilesError);

    EXPECT_EQ(reader.Tile(2, 1, 0), std::string("\x89PNG\0", 5));
    EXPECT_EQ(reader.Tile(2, 2, 1), "second");
    EXPECT_EQ(reader.Tile(0, 0, 0), "world");
    EXPECT_FALSE(reader.Tile(2, 1, 3).has_value());
}

// The error names the file and says what is wrong with it, in these words.
void ExpectRefused(const std::string& path, const std::string& message) {
    try {
        MbtilesReader reader(path);
        ADD_FAILURE() << path << " was opened";
    } catch (const EMbtilesError& e) {
        EXPECT_EQ(std::string(e.what()), message);
    }
}

TEST_F(MbtilesReaderTest, RefusesWhatIsNoMbtilesFileAndALockedOne) {
    const std::string absent = dir.File("absent.mbtiles");
    ExpectRefused(
        absent, "The MBTiles file " + absent + " cannot be opened: unable to open database file.");

    const std::string text = dir.File("text.mbtiles");
    WriteFileAtomic(text, std::string(2048, 'x'));
    ExpectRefused(text, "The file " + text + " is not an MBTiles file: it is no SQLite database.");

    const std::string other = dir.File("other.db");
    OtherConnection(other).Run("CREATE TABLE tiles (a);");
    ExpectRefused(other, "The file " + other +
                             " is not an MBTiles file: it has no tiles and metadata "
                             "tables.");

    const std::string path = MakeFile();
    OtherConnection writer(path);
    writer.Run("PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE;");
    ExpectRefused(path, "The MBTiles file " + path + " is locked by another program.");
}

TEST_F(MbtilesReaderTest, RefusesAViewOrTriggerOnItsTablesWhateverTheCase) {
    const std::string view = MakeFile();
    OtherConnection(view).Run(
        "ALTER TABLE tiles RENAME TO images;"
        "CREATE VIEW Tiles AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n)"
        " SELECT i AS zoom_level, i AS tile_column, i AS tile_row, i AS tile_data FROM n;");
    ExpectRefused(view, "The file " + view +
                            " is not an MBTiles file that can be used safely: its Tiles table is "
                            "a view, which would run the file's own statements.");

    const std::string trigger = dir.File("trigger.mbtiles");
    OtherConnection(trigger).Run(
        "CREATE TABLE metadata (name text, value text);"
        "CREATE TABLE tiles (zoom_level, tile_column, tile_row, tile_data);"
        "CREATE TRIGGER busy BEFORE DELETE ON METADATA BEGIN SELECT 1; END;");
    ExpectRefused(trigger, "The file " + trigger +
                               " is not an MBTiles file that can be used safely: its METADATA "
                               "table carries the trigger busy, which would run the file's own "
                               "statements.");
}

TEST_F(MbtilesReaderTest, ATileLargerThanADownloadTakesIsNeitherLoadedNorGiven) {
    const std::string path = MakeFile();
    const auto limit = static_cast<std::int64_t>(kDefaultMaxTileBytes);
    OtherConnection(path).Run(
        "INSERT INTO tiles VALUES (2, 0, 0, zeroblob(" + std::to_string(limit + 1) + "));" +
        "INSERT INTO tiles VALUES (2, 0, 1, zeroblob(" + std::to_string(limit) + "));");
    const MbtilesReader reader(path);
    sqlite3_memory_highwater(1);
    EXPECT_FALSE(reader.Tile(2, 0, 3).has_value());
    EXPECT_LT(sqlite3_memory_highwater(0), 8 * 1024 * 1024);
    // At the limit it is a tile.
    const std::optional<std::string> largest = reader.Tile(2, 0, 2);
    ASSERT_TRUE(largest.has_value());
    EXPECT_EQ(largest->size(), kDefaultMaxTileBytes);
}

}  // namespace
}  // namespace tessellon
