#include "output/geopackage.h"

#include <cmath>

#include "geo/web_mercator.h"
#include "output/sqlite_tile_sink.h"
#include "output/task_reader.h"
#include "platform/paths.h"

namespace tessellon {

namespace {

// The tables a GeoPackage of tiles needs, as the standard writes them.
constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS gpkg_spatial_ref_sys (srs_name TEXT NOT NULL, srs_id INTEGER "
    "NOT NULL PRIMARY KEY, organization TEXT NOT NULL, organization_coordsys_id INTEGER NOT "
    "NULL, definition TEXT NOT NULL, description TEXT);"
    "CREATE TABLE IF NOT EXISTS gpkg_contents (table_name TEXT NOT NULL PRIMARY KEY, data_type "
    "TEXT NOT NULL, identifier TEXT UNIQUE, description TEXT DEFAULT '', last_change DATETIME "
    "NOT NULL DEFAULT (strftime('%Y-%m-%dT%H:%M:%fZ','now')), min_x DOUBLE, min_y DOUBLE, max_x "
    "DOUBLE, max_y DOUBLE, srs_id INTEGER, CONSTRAINT fk_gc_r_srs_id FOREIGN KEY (srs_id) "
    "REFERENCES gpkg_spatial_ref_sys(srs_id));"
    "CREATE TABLE IF NOT EXISTS gpkg_geometry_columns (table_name TEXT NOT NULL, column_name "
    "TEXT NOT NULL, geometry_type_name TEXT NOT NULL, srs_id INTEGER NOT NULL, z TINYINT NOT "
    "NULL, m TINYINT NOT NULL, CONSTRAINT pk_geom_cols PRIMARY KEY (table_name, column_name), "
    "CONSTRAINT uk_gc_table_name UNIQUE (table_name), CONSTRAINT fk_gc_tn FOREIGN KEY "
    "(table_name) REFERENCES gpkg_contents(table_name), CONSTRAINT fk_gc_srs FOREIGN KEY "
    "(srs_id) REFERENCES gpkg_spatial_ref_sys (srs_id));"
    "CREATE TABLE IF NOT EXISTS gpkg_tile_matrix_set (table_name TEXT NOT NULL PRIMARY KEY, "
    "srs_id INTEGER NOT NULL, min_x DOUBLE NOT NULL, min_y DOUBLE NOT NULL, max_x DOUBLE NOT "
    "NULL, max_y DOUBLE NOT NULL, CONSTRAINT fk_gtms_table_name FOREIGN KEY (table_name) "
    "REFERENCES gpkg_contents(table_name), CONSTRAINT fk_gtms_srs FOREIGN KEY (srs_id) "
    "REFERENCES gpkg_spatial_ref_sys (srs_id));"
    "CREATE TABLE IF NOT EXISTS gpkg_tile_matrix (table_name TEXT NOT NULL, zoom_level INTEGER "
    "NOT NULL, matrix_width INTEGER NOT NULL, matrix_height INTEGER NOT NULL, tile_width "
    "INTEGER NOT NULL, tile_height INTEGER NOT NULL, pixel_x_size DOUBLE NOT NULL, pixel_y_size "
    "DOUBLE NOT NULL, CONSTRAINT pk_ttm PRIMARY KEY (table_name, zoom_level), CONSTRAINT "
    "fk_tmm_table_name FOREIGN KEY (table_name) REFERENCES gpkg_contents(table_name));"
    "CREATE TABLE IF NOT EXISTS tiles (id INTEGER PRIMARY KEY AUTOINCREMENT, zoom_level "
    "INTEGER NOT NULL, tile_column INTEGER NOT NULL, tile_row INTEGER NOT NULL, tile_data BLOB "
    "NOT NULL, UNIQUE (zoom_level, tile_column, tile_row));";

// WebP tiles need the extension that allows them.
constexpr const char* kWebpExtension =
    "CREATE TABLE IF NOT EXISTS gpkg_extensions (table_name TEXT, column_name TEXT, "
    "extension_name TEXT NOT NULL, definition TEXT NOT NULL, scope TEXT NOT NULL, CONSTRAINT "
    "ge_tce UNIQUE (table_name, column_name, extension_name));"
    "INSERT OR IGNORE INTO gpkg_extensions VALUES ('tiles', 'tile_data', 'gpkg_webp', "
    "'http://www.geopackage.org/spec/#extension_tiles_webp', 'read-write');";

constexpr std::string_view kWgs84Wkt =
    R"(GEOGCS["WGS 84",DATUM["WGS_1984",SPHEROID["WGS 84",6378137,298.257223563,)"
    R"(AUTHORITY["EPSG","7030"]],AUTHORITY["EPSG","6326"]],PRIMEM["Greenwich",0,)"
    R"(AUTHORITY["EPSG","8901"]],UNIT["degree",0.0174532925199433,AUTHORITY["EPSG","9122"]],)"
    R"(AXIS["Latitude",NORTH],AXIS["Longitude",EAST],AUTHORITY["EPSG","4326"]])";

constexpr int kGeoPackageVersion = 10300;
// "GPKG" as the file header's application id.
constexpr int kGeoPackageApplicationId = 0x47504B47;

class GeoPackageSink : public SqliteTileSink {
public:
    GeoPackageSink(const std::string& file, bool existed)
        : SqliteTileSink(file, existed, "GeoPackage",
                         [](const SqliteFailure& failure) {
                             throw ETileContainerError(SqliteFailureText("GeoPackage", failure));
                         },
                         {"tiles", "gpkg_contents", "gpkg_tile_matrix_set", "gpkg_spatial_ref_sys",
                          "gpkg_extensions"},
                         // GDAL and others check the tile matrix with
                         // triggers that only abort a wrong row.
                         {"gpkg_tile_matrix"}) {}

private:
    void Prepare(const std::vector<TaskReader>& projects) override {
        const std::string format = CommonTileFormat(projects, "", Db().Path(), Title());
        if (format != "png" && format != "jpg" && format != "jpeg" && format != "webp") {
            throw ETileContainerError("A GeoPackage holds PNG, JPEG or WebP tiles; " +
                                      projects.front().ProjectPath() + " has " + format +
                                      " tiles.");
        }
        CheckTables();
        Db().Execute(("PRAGMA application_id = " + std::to_string(kGeoPackageApplicationId) +
                      "; PRAGMA user_version = " + std::to_string(kGeoPackageVersion) + ";")
                         .c_str());
        Db().Execute(kSchema);
        SqliteStatement systems = Db().Prepare(
            "INSERT OR IGNORE INTO gpkg_spatial_ref_sys VALUES ('Undefined cartesian SRS', -1, "
            "'NONE', -1, 'undefined', 'undefined cartesian coordinate reference system'), "
            "('Undefined geographic SRS', 0, 'NONE', 0, 'undefined', 'undefined geographic "
            "coordinate reference system'), ('WGS 84 geodetic', 4326, 'EPSG', 4326, ?1, "
            "'longitude/latitude coordinates in decimal degrees on the WGS 84 spheroid'), "
            "('WGS 84 / Pseudo-Mercator', 3857, 'EPSG', 3857, ?2, 'the web map projection')");
        systems.Bind(1, kWgs84Wkt);
        systems.Bind(2, kPseudoMercatorWkt);
        systems.Step();
        SqliteStatement contents = Db().Prepare(
            "INSERT OR IGNORE INTO gpkg_contents (table_name, data_type, identifier, srs_id) "
            "VALUES ('tiles', 'tiles', ?1, 3857)");
        contents.Bind(1, RemoveFileExt(ExtractFileName(projects.front().ProjectPath())));
        contents.Step();
        SqliteStatement matrixSet = Db().Prepare(
            "INSERT OR REPLACE INTO gpkg_tile_matrix_set VALUES ('tiles', 3857, ?1, ?1, ?2, ?2)");
        matrixSet.Bind(1, -kHalfWorldMetres);
        matrixSet.Bind(2, kHalfWorldMetres);
        matrixSet.Step();
        if (format == "webp") {
            Db().Execute(kWebpExtension);
        }
    }

    // A database with tables is taken only as a GeoPackage whose "tiles"
    // table, if it has one, is tiles in EPSG:3857.
    void CheckTables() {
        SqliteStatement tables = Db().Prepare(
            "SELECT count(*), count(CASE WHEN name = 'gpkg_contents' THEN 1 END), count(CASE "
            "WHEN lower(name) = 'tiles' THEN 1 END) FROM sqlite_master WHERE type IN ('table', "
            "'view')");
        tables.Step();
        if (tables.Integer(0) == 0) {
            return;
        }
        if (tables.Integer(1) == 0) {
            Refuse(" is not a GeoPackage that can be written: it has no gpkg_contents table.");
        }
        if (tables.Integer(2) == 0) {
            return;
        }
        SqliteStatement ours = Db().Prepare(
            "SELECT count(*) FROM gpkg_contents WHERE table_name = 'tiles' AND data_type = "
            "'tiles' AND srs_id = 3857");
        ours.Step();
        if (ours.Integer(0) == 0) {
            Refuse(
                " is a GeoPackage whose tiles table is not tiles on the web map grid; it is "
                "left as it is.");
        }
    }

    std::string_view InsertSql() const override {
        return "INSERT OR REPLACE INTO tiles (zoom_level, tile_column, tile_row, tile_data) "
               "VALUES (?1, ?2, ?3, ?4)";
    }

    void WriteMetadata(const std::vector<TaskReader>& projects,
                       const TileExportOptions& options) override {
        const std::vector<std::pair<int, TileRange>> ranges = RangesInFile(projects);
        SqliteStatement matrix = Db().Prepare(
            "INSERT OR REPLACE INTO gpkg_tile_matrix VALUES ('tiles', ?1, ?2, ?2, 256, 256, ?3, "
            "?3)");
        for (const auto& [zoom, range] : ranges) {
            matrix.Bind(1, std::int64_t{zoom});
            matrix.Bind(2, std::int64_t{1} << zoom);
            matrix.Bind(3, MercatorPixelSize(zoom));
            matrix.Step();
            matrix.Reset();
        }
        const GeoRect bounds = CoveredAtEveryZoom(ranges);
        SqliteStatement existing =
            Db().Prepare("SELECT description FROM gpkg_contents WHERE table_name = 'tiles'");
        existing.Step();
        SqliteStatement contents = Db().Prepare(
            "UPDATE gpkg_contents SET identifier = coalesce(?1, identifier), description = ?2, "
            "last_change = strftime('%Y-%m-%dT%H:%M:%fZ','now'), min_x = ?3, min_y = ?4, max_x = "
            "?5, max_y = ?6 WHERE table_name = 'tiles'");
        if (!options.Name.empty()) {
            contents.Bind(1, options.Name);
        }
        contents.Bind(2, JoinedAttribution(projects, existing.Text(0)));
        contents.Bind(3, LongitudeToMercatorX(bounds.Left));
        contents.Bind(4, LatitudeToMercatorY(bounds.Bottom));
        contents.Bind(5, LongitudeToMercatorX(bounds.Right));
        contents.Bind(6, LatitudeToMercatorY(bounds.Top));
        contents.Step();
    }
};

}  // namespace

std::unique_ptr<TileSink> MakeGeoPackageSink(const std::string& file, bool existed) {
    return std::make_unique<GeoPackageSink>(file, existed);
}

}  // namespace tessellon
