#include "output/sqlite_tile_reader.h"

#include "geo/web_mercator.h"
#include "net/net_limits.h"
#include "output/osmand_sqlitedb.h"
#include "output/sqlite_tile_sink.h"

namespace tessellon {

namespace {

// Long enough to wait out another program's short write, short enough that a
// file held open for writing is reported promptly.
constexpr int kReaderBusyMillis = 500;

template <ContainerFormat kFormat>
void ThrowFailureOf(const SqliteFailure& failure) {
    throw ETileContainerError(SqliteFailureText(RowOf(kFormat).Title, failure));
}

void ThrowSqliteFailure(const SqliteFailure& failure) {
    throw ETileContainerError(SqliteFailureText("SQLite tile", failure));
}

// The words for SQLite's failures on a file of the format its extension
// names.
SqliteFailureHandler FailureHandlerFor(const std::string& path) {
    switch (ContainerFormatOfPath(path).value_or(ContainerFormat::Pmtiles)) {
        case ContainerFormat::Mbtiles:
            return ThrowFailureOf<ContainerFormat::Mbtiles>;
        case ContainerFormat::GeoPackage:
            return ThrowFailureOf<ContainerFormat::GeoPackage>;
        case ContainerFormat::Osmand:
            return ThrowFailureOf<ContainerFormat::Osmand>;
        case ContainerFormat::Pmtiles:
            break;
    }
    return ThrowSqliteFailure;
}

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return text;
}

// How many of `names` (lower case) are tables or views of the file.
std::int64_t TablesAmong(SqliteDb& db, const std::string& names) {
    SqliteStatement count = db.Prepare(
        "SELECT count(DISTINCT lower(name)) FROM sqlite_master WHERE type IN ('table', 'view') "
        "AND lower(name) IN (" +
        names + ")");
    count.Step();
    return count.Integer(0);
}

}  // namespace

std::int32_t FlipRow(int zoom, std::int32_t row) {
    return static_cast<std::int32_t>((std::int64_t{1} << zoom) - 1 - row);
}

void ThrowContainerError(const std::string& message) {
    throw ETileContainerError(message);
}

SqliteTileReader::SqliteTileReader(const std::string& path, std::optional<ContainerFormat> expected,
                                   ContainerRefusal refuse, SqliteFailureHandler onFailure)
    : db_(std::make_unique<SqliteDb>(
          path, SQLITE_OPEN_READONLY | SQLITE_OPEN_FULLMUTEX, kReaderBusyMillis,
          onFailure != nullptr ? onFailure : FailureHandlerFor(path), ForeignContainerGuard())),
      refuse_(refuse) {
    // A file that is no database fails at its first read, here.
    const std::optional<ContainerFormat> named = ContainerFormatOfPath(path);
    const bool found = expected == ContainerFormat::Mbtiles      ? FindMbtiles()
                       : expected == ContainerFormat::GeoPackage ? FindGeoPackage()
                       : expected == ContainerFormat::Osmand
                           ? FindOsmand()
                           : FindGeoPackage() || FindMbtiles() || FindOsmand();
    if (found) {
        return;
    }
    std::string message = "The file " + path;
    switch (expected.value_or(named.value_or(ContainerFormat::Pmtiles))) {
        case ContainerFormat::Mbtiles:
            message += " is not an MBTiles file: it has no tiles and metadata tables.";
            break;
        case ContainerFormat::GeoPackage:
            message +=
                " is not a GeoPackage of tiles on the web map grid (EPSG:3857, 256-pixel "
                "tiles).";
            break;
        case ContainerFormat::Osmand:
            message +=
                " is not an OsmAnd SQLiteDB file: it has no tiles table of x, y, z, s and "
                "image.";
            break;
        case ContainerFormat::Pmtiles:
            message +=
                " holds no tiles: it is an SQLite database, but no MBTiles, GeoPackage or "
                "OsmAnd SQLiteDB file.";
            break;
    }
    refuse_(message);
}

SqliteTileReader::~SqliteTileReader() = default;

bool SqliteTileReader::FindMbtiles() {
    if (TablesAmong(*db_, "'tiles', 'metadata'") != 2) {
        return false;
    }
    RefuseIf(ActiveTablesRefusal(*db_, "MBTiles", {"tiles", "metadata"}));
    Take(ContainerFormat::Mbtiles, "tiles", {"zoom_level", "tile_column", "tile_row", "tile_data"});
    tmsRows_ = true;
    return true;
}

bool SqliteTileReader::FindGeoPackage() {
    if (TablesAmong(*db_,
                    "'gpkg_contents', 'gpkg_spatial_ref_sys', 'gpkg_tile_matrix_set', "
                    "'gpkg_tile_matrix'") != 4) {
        return false;
    }
    // GDAL and others check the tile tables with triggers of their own;
    // nothing is written here, so none fires, but a view would run the
    // file's own query.
    std::vector<std::string> read = {"gpkg_tile_matrix", "gpkg_tile_matrix_set"};
    RefuseIf(ActiveTablesRefusal(*db_, "GeoPackage", {"gpkg_contents", "gpkg_spatial_ref_sys"}, {},
                                 read));
    // Tiles on the web map grid: the world in EPSG:3857, 2^z square tiles of
    // 256 pixels at zoom z. Our own "tiles" before others.
    SqliteStatement tables = db_->Prepare(
        "SELECT c.table_name FROM gpkg_contents c JOIN gpkg_tile_matrix_set s ON s.table_name = "
        "c.table_name JOIN gpkg_spatial_ref_sys r ON r.srs_id = s.srs_id WHERE c.data_type = "
        "'tiles' AND upper(r.organization) = 'EPSG' AND r.organization_coordsys_id = 3857 AND "
        "abs(s.min_x + ?1) < 1 AND abs(s.min_y + ?1) < 1 AND abs(s.max_x - ?1) < 1 AND "
        "abs(s.max_y - ?1) < 1 AND NOT EXISTS (SELECT 1 FROM gpkg_tile_matrix m WHERE "
        "m.table_name = c.table_name AND (m.zoom_level NOT BETWEEN 0 AND 30 OR m.matrix_width != "
        "1 << m.zoom_level OR m.matrix_height != 1 << m.zoom_level OR m.tile_width != 256 OR "
        "m.tile_height != 256)) ORDER BY c.table_name != 'tiles', c.table_name LIMIT 1");
    tables.Bind(1, kHalfWorldMetres);
    if (!tables.Step()) {
        return false;
    }
    const std::string table = tables.Text(0);
    read.push_back(Lower(table));
    RefuseIf(ActiveTablesRefusal(*db_, "GeoPackage", {"gpkg_contents"}, {}, read));
    Take(ContainerFormat::GeoPackage, QuotedSql(table, '"'),
         {"zoom_level", "tile_column", "tile_row", "tile_data"});
    return true;
}

bool SqliteTileReader::FindOsmand() {
    SqliteStatement columns = db_->Prepare(
        "SELECT count(*) FROM pragma_table_info('tiles') WHERE lower(name) IN ('x', 'y', 'z', "
        "'image')");
    if (!columns.Step() || columns.Integer(0) != 4) {
        return false;
    }
    RefuseIf(ActiveTablesRefusal(*db_, RowOf(ContainerFormat::Osmand).Title, {"tiles", "info"}));
    Take(ContainerFormat::Osmand, "tiles", {"z", "x", "y", "image"});
    bigPlanet_ = UsesBigPlanetZooms(*db_);
    return true;
}

void SqliteTileReader::RefuseIf(const std::string& refusal) const {
    if (!refusal.empty()) {
        refuse_(refusal);
    }
}

void SqliteTileReader::Take(ContainerFormat format, std::string table,
                            const std::array<const char*, 4>& columns) {
    format_ = format;
    table_ = std::move(table);
    zoom_ = columns[0];
    column_ = columns[1];
    row_ = columns[2];
    data_ = columns[3];
}

std::string SqliteTileReader::ZoomOfRow() const {
    if (!bigPlanet_) {
        return zoom_;
    }
    return std::string("(").append(std::to_string(kBigPlanetTop)).append(" - ").append(zoom_) + ")";
}

std::string SqliteTileReader::RowAtZoom() const {
    return zoom_ + " = " + (bigPlanet_ ? std::to_string(kBigPlanetTop) + " - ?1" : "?1");
}

std::vector<int> SqliteTileReader::Zooms() const {
    std::vector<int> zooms;
    SqliteStatement rows =
        db_->Prepare("SELECT DISTINCT " + ZoomOfRow() + " FROM " + table_ + " ORDER BY 1");
    while (rows.Step()) {
        zooms.push_back(static_cast<int>(rows.Integer(0)));
    }
    return zooms;
}

TileRange SqliteTileReader::Range(int zoom) const {
    SqliteStatement extent =
        db_->Prepare("SELECT min(" + column_ + "), max(" + column_ + "), min(" + row_ + "), max(" +
                     row_ + ") FROM " + table_ + " WHERE " + RowAtZoom());
    extent.Bind(1, std::int64_t{zoom});
    extent.Step();
    if (extent.IsNull(0)) {
        refuse_("The " + std::string(RowOf(format_).Title) + " file " + db_->Path() +
                " has no tiles at zoom " + std::to_string(zoom) + ".");
    }
    TileRange range;
    range.MinX = static_cast<std::int32_t>(extent.Integer(0));
    range.MaxX = static_cast<std::int32_t>(extent.Integer(1));
    range.MinY = static_cast<std::int32_t>(extent.Integer(2));
    range.MaxY = static_cast<std::int32_t>(extent.Integer(3));
    if (tmsRows_) {
        // The southmost TMS row is the highest XYZ row.
        range.MinY = FlipRow(zoom, static_cast<std::int32_t>(extent.Integer(3)));
        range.MaxY = FlipRow(zoom, static_cast<std::int32_t>(extent.Integer(2)));
    }
    return range;
}

std::optional<std::string> SqliteTileReader::Tile(int zoom, std::int32_t x, std::int32_t y) const {
    // length() of a blob reads its size from the row, not its bytes.
    SqliteStatement tile =
        db_->Prepare("SELECT CASE WHEN length(" + data_ + ") <= ?4 THEN " + data_ +
                     " END, length(" + data_ + ") <= ?4 FROM " + table_ + " WHERE " + RowAtZoom() +
                     " AND " + column_ + " = ?2 AND " + row_ + " = ?3");
    tile.Bind(1, std::int64_t{zoom});
    tile.Bind(2, std::int64_t{x});
    tile.Bind(3, std::int64_t{tmsRows_ ? FlipRow(zoom, y) : y});
    tile.Bind(4, static_cast<std::int64_t>(kDefaultMaxTileBytes));
    if (!tile.Step() || tile.Integer(1) == 0) {
        return std::nullopt;
    }
    return tile.Blob(0);
}

}  // namespace tessellon
