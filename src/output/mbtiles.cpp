#include "output/mbtiles.h"

#include "net/net_limits.h"
#include "output/sqlite_tile_sink.h"

namespace tessellon {

namespace {

// Long enough to wait out another program's short write, short enough that a
// file held open for writing is reported promptly.
constexpr int kReaderBusyMillis = 500;

}  // namespace

void ThrowMbtilesError(const SqliteFailure& failure) {
    throw EMbtilesError(SqliteFailureText("MBTiles", failure));
}

void RefuseActiveTables(SqliteDb& db) {
    const std::string refusal = ActiveTablesRefusal(db, "MBTiles", {"tiles", "metadata"});
    if (!refusal.empty()) {
        throw EMbtilesError(refusal);
    }
}

std::int32_t FlipRow(int zoom, std::int32_t row) {
    return static_cast<std::int32_t>((std::int64_t{1} << zoom) - 1 - row);
}

MbtilesReader::MbtilesReader(const std::string& path)
    : db_(std::make_unique<SqliteDb>(path, SQLITE_OPEN_READONLY | SQLITE_OPEN_FULLMUTEX,
                                     kReaderBusyMillis, ThrowMbtilesError,
                                     ForeignContainerGuard())) {
    // A file that is no database fails here, at its first read.
    SqliteStatement tables = db_->Prepare(
        "SELECT count(DISTINCT lower(name)) FROM sqlite_master WHERE type IN ('table', 'view') "
        "AND lower(name) IN ('tiles', 'metadata')");
    tables.Step();
    if (tables.Integer(0) != 2) {
        std::string message = "The file ";
        message += path;
        message += " is not an MBTiles file: it has no tiles and metadata tables.";
        throw EMbtilesError(message);
    }
    RefuseActiveTables(*db_);
}

MbtilesReader::~MbtilesReader() = default;

std::map<std::string, std::string> MbtilesReader::Metadata() const {
    std::map<std::string, std::string> metadata;
    SqliteStatement rows = db_->Prepare("SELECT name, value FROM metadata");
    while (rows.Step()) {
        metadata[rows.Text(0)] = rows.Text(1);
    }
    return metadata;
}

std::vector<int> MbtilesReader::Zooms() const {
    std::vector<int> zooms;
    SqliteStatement rows =
        db_->Prepare("SELECT DISTINCT zoom_level FROM tiles ORDER BY zoom_level");
    while (rows.Step()) {
        zooms.push_back(static_cast<int>(rows.Integer(0)));
    }
    return zooms;
}

TileRange MbtilesReader::Range(int zoom) const {
    SqliteStatement extent = db_->Prepare(
        "SELECT min(tile_column), max(tile_column), min(tile_row), max(tile_row) FROM tiles "
        "WHERE zoom_level = ?");
    extent.Bind(1, std::int64_t{zoom});
    extent.Step();
    if (extent.IsNull(0)) {
        std::string message = "The MBTiles file ";
        message += db_->Path();
        message += " has no tiles at zoom ";
        message += std::to_string(zoom);
        message += ".";
        throw EMbtilesError(message);
    }
    TileRange range;
    range.MinX = static_cast<std::int32_t>(extent.Integer(0));
    range.MaxX = static_cast<std::int32_t>(extent.Integer(1));
    // The southmost TMS row is the highest XYZ row.
    range.MinY = FlipRow(zoom, static_cast<std::int32_t>(extent.Integer(3)));
    range.MaxY = FlipRow(zoom, static_cast<std::int32_t>(extent.Integer(2)));
    return range;
}

std::optional<std::string> MbtilesReader::Tile(int zoom, std::int32_t x, std::int32_t y) const {
    // length() of a blob reads its size from the row, not its bytes.
    SqliteStatement tile = db_->Prepare(
        "SELECT CASE WHEN length(tile_data) <= ?4 THEN tile_data END, length(tile_data) <= ?4 "
        "FROM tiles WHERE zoom_level = ?1 AND tile_column = ?2 AND tile_row = ?3");
    tile.Bind(1, std::int64_t{zoom});
    tile.Bind(2, std::int64_t{x});
    tile.Bind(3, std::int64_t{FlipRow(zoom, y)});
    tile.Bind(4, static_cast<std::int64_t>(kDefaultMaxTileBytes));
    if (!tile.Step() || tile.Integer(1) == 0) {
        return std::nullopt;
    }
    return tile.Blob(0);
}

}  // namespace tessellon
