#include "output/mbtiles_export.h"

#include <charconv>
#include <map>

#include "output/mbtiles.h"
#include "output/sqlite_tile_sink.h"
#include "output/task_reader.h"
#include "platform/paths.h"

namespace tessellon {

namespace {

// The tables and index of an MBTiles file; a file made elsewhere may have
// made them already.
constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS metadata (name text, value text);"
    "CREATE TABLE IF NOT EXISTS tiles (zoom_level integer, tile_column integer, "
    "tile_row integer, tile_data blob);"
    "CREATE UNIQUE INDEX IF NOT EXISTS tile_index ON tiles (zoom_level, tile_column, "
    "tile_row);";

std::string ValueOf(const std::map<std::string, std::string>& metadata, const std::string& name) {
    const auto found = metadata.find(name);
    return found == metadata.end() ? std::string() : found->second;
}

std::string FormatNumber(double value) {
    char text[32];
    const auto result = std::to_chars(std::begin(text), std::end(text), value);
    return std::string(text, result.ptr);
}

class MbtilesSink : public SqliteTileSink {
public:
    MbtilesSink(const std::string& file, bool existed)
        : SqliteTileSink(file, existed, "MBTiles",
                         [](const SqliteFailure& failure) {
                             throw ETileContainerError(SqliteFailureText("MBTiles", failure));
                         },
                         {"tiles", "metadata"}) {}

private:
    void Prepare(const std::vector<TaskReader>& projects) override {
        CheckTables();
        Db().Execute(kSchema);
        metadata_ = ReadMetadata();
        format_ = CommonTileFormat(projects, ValueOf(metadata_, "format"), Db().Path(), Title());
    }

    std::string_view InsertSql() const override {
        return "INSERT OR REPLACE INTO tiles (zoom_level, tile_column, tile_row, tile_data) "
               "VALUES (?1, ?2, ?3, ?4)";
    }

    std::int64_t StoredRow(int zoom, std::int64_t row) const override {
        return FlipRow(zoom, static_cast<std::int32_t>(row));
    }

    // A database that has tables of its own is some other program's file.
    void CheckTables() {
        SqliteStatement tables = Db().Prepare(
            "SELECT count(*), count(CASE WHEN type = 'table' AND name IN ('tiles', 'metadata') "
            "THEN 1 END) FROM sqlite_master WHERE type IN ('table', 'view')");
        tables.Step();
        const std::int64_t all = tables.Integer(0);
        const std::int64_t ours = tables.Integer(1);
        if (all > 0 && ours != 2) {
            Refuse(
                " is not an MBTiles file that can be written: it has no tiles and "
                "metadata tables.");
        }
    }

    std::map<std::string, std::string> ReadMetadata() {
        std::map<std::string, std::string> metadata;
        SqliteStatement rows = Db().Prepare("SELECT name, value FROM metadata");
        while (rows.Step()) {
            metadata[rows.Text(0)] = rows.Text(1);
        }
        return metadata;
    }

    void WriteMetadata(const std::vector<TaskReader>& readers,
                       const TileExportOptions& options) override {
        std::map<std::string, std::string>& metadata = metadata_;
        // From the rows: a file made elsewhere may have no metadata, or
        // metadata that does not tell of all its tiles.
        const std::vector<std::pair<int, TileRange>> ranges = RangesInFile(readers);
        const GeoRect bounds = CoveredAtEveryZoom(ranges);
        const std::pair<int, int> zooms{ranges.front().first, ranges.back().first};
        const std::string attribution =
            JoinedAttribution(readers, ValueOf(metadata, "attribution"));

        if (!options.Name.empty()) {
            metadata["name"] = options.Name;
        } else if (ValueOf(metadata, "name").empty()) {
            metadata["name"] = RemoveFileExt(ExtractFileName(readers.front().ProjectPath()));
        }
        metadata["format"] = format_;
        metadata["type"] = "baselayer";
        metadata["bounds"] = FormatNumber(bounds.Left) + "," + FormatNumber(bounds.Bottom) + "," +
                             FormatNumber(bounds.Right) + "," + FormatNumber(bounds.Top);
        metadata["center"] = FormatNumber((bounds.Left + bounds.Right) / 2) + "," +
                             FormatNumber((bounds.Top + bounds.Bottom) / 2) + "," +
                             std::to_string(zooms.first);
        metadata["minzoom"] = std::to_string(zooms.first);
        metadata["maxzoom"] = std::to_string(zooms.second);
        if (!attribution.empty()) {
            metadata["attribution"] = attribution;
        }

        SqliteStatement remove = Db().Prepare("DELETE FROM metadata WHERE name = ?");
        SqliteStatement insert = Db().Prepare("INSERT INTO metadata (name, value) VALUES (?, ?)");
        for (const auto& [name, value] : metadata) {
            remove.Bind(1, name);
            remove.Step();
            remove.Reset();
            insert.Bind(1, name);
            insert.Bind(2, value);
            insert.Step();
            insert.Reset();
        }
    }

    std::map<std::string, std::string> metadata_;
    std::string format_;
};

}  // namespace

std::unique_ptr<TileSink> MakeMbtilesSink(const std::string& file, bool existed) {
    return std::make_unique<MbtilesSink>(file, existed);
}

}  // namespace tessellon
