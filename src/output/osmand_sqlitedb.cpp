#include "output/osmand_sqlitedb.h"

#include <algorithm>
#include <cctype>

#include "download/image_kind.h"
#include "output/sqlite_tile_sink.h"
#include "output/task_reader.h"
#include "platform/paths.h"

namespace tessellon {

namespace {

constexpr std::string_view kTitle = "OsmAnd SQLiteDB";

// The tables as the apps make them; s is a layer number, always 0 for a
// map. info's name column is ours: the apps show the file's name, and
// ignore columns they do not know.
constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS tiles (x int, y int, z int, s int, image blob, PRIMARY KEY "
    "(x, y, z, s));"
    "CREATE TABLE IF NOT EXISTS info (minzoom int, maxzoom int, tilenumbering text, name text);";

constexpr std::string_view kBigPlanet = "BigPlanet";

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool HasColumn(SqliteDb& db, std::string_view table, std::string_view column) {
    SqliteStatement found =
        db.Prepare("SELECT count(*) FROM pragma_table_info(?1) WHERE lower(name) = ?2");
    found.Bind(1, table);
    found.Bind(2, column);
    found.Step();
    return found.Integer(0) > 0;
}

// The format name of a tile's kind, as a task's tiles are named; empty for
// a kind no task has.
std::string FormatOfKind(ImageKind kind) {
    for (const char* format : {"png", "jpg", "webp"}) {
        if (ImageKindOfFormat(format) == kind) {
            return format;
        }
    }
    return {};
}

class OsmandSink : public SqliteTileSink {
public:
    OsmandSink(const std::string& file, bool existed)
        : SqliteTileSink(file, existed, kTitle,
                         [](const SqliteFailure& failure) {
                             throw ETileContainerError(SqliteFailureText(kTitle, failure));
                         },
                         {"tiles", "info"}) {}

private:
    void Prepare(const std::vector<TaskReader>& projects) override {
        CheckTables();
        // Locus reads only the inverted numbering, OsmAnd both, and OsmAnd
        // takes a file that does not say as inverted: a new file is
        // inverted, so that both apps and the older tools read it.
        // Another numbering a file declares is kept, so that its own tiles
        // stay where they are.
        bigPlanet_ = UsesBigPlanetZooms(Db());
        Db().Execute(kSchema);
        // Inside the transaction, as all of this: a refusal changes nothing.
        const std::string format = CommonTileFormat(projects, FormatInFile(), Db().Path(), Title());
        if (ImageKindOfFormat(format) == ImageKind::None) {
            throw ETileContainerError("An OsmAnd SQLiteDB file holds PNG, JPEG or WebP tiles; " +
                                      projects.front().ProjectPath() + " has " + format +
                                      " tiles.");
        }
        for (const char* column : {"minzoom", "maxzoom", "tilenumbering", "name"}) {
            if (!HasColumn(Db(), "info", column)) {
                Db().Execute(("ALTER TABLE info ADD COLUMN " + std::string(column)).c_str());
            }
        }
        // z of the stored rows as a zoom, those that can be one.
        const std::string top = std::to_string(kBigPlanetTop);
        const std::string zoom = bigPlanet_ ? "(" + top + " - z)" : "z";
        extentSql_ = "SELECT " + zoom + ", min(x), max(x), min(y), max(y) FROM tiles WHERE " +
                     zoom + " BETWEEN 0 AND 30 GROUP BY z";
        insertSql_ = "INSERT OR REPLACE INTO tiles (x, y, z, s, image) VALUES (?2, ?3, " +
                     (bigPlanet_ ? top + " - ?1" : "?1") + ", 0, ?4)";
    }

    // A database with tables is taken only with the apps' tiles table.
    void CheckTables() {
        SqliteStatement tables = Db().Prepare(
            "SELECT count(*) FROM sqlite_master WHERE type IN ('table', 'view') AND name NOT "
            "LIKE 'sqlite\\_%' ESCAPE '\\'");
        tables.Step();
        if (tables.Integer(0) == 0) {
            return;
        }
        SqliteStatement columns = Db().Prepare(
            "SELECT count(*) FROM pragma_table_info('tiles') WHERE lower(name) IN ('x', 'y', "
            "'z', 's', 'image')");
        columns.Step();
        if (columns.Integer(0) != 5) {
            Refuse(
                " is not an OsmAnd SQLiteDB file that can be written: it has no tiles table of "
                "x, y, z, s and image.");
        }
    }

    // The format of the file's tiles by the first bytes of one; empty for
    // a file without tiles.
    std::string FormatInFile() {
        SqliteStatement tile = Db().Prepare("SELECT substr(image, 1, 16) FROM tiles LIMIT 1");
        return tile.Step() ? FormatOfKind(DetectImageKind(tile.Blob(0))) : std::string();
    }

    std::string_view InsertSql() const override { return insertSql_; }
    std::string_view ExtentSql() const override { return extentSql_; }

    void WriteMetadata(const std::vector<TaskReader>& projects,
                       const TileExportOptions& options) override {
        const std::vector<std::pair<int, TileRange>> ranges = RangesInFile(projects);
        // The apps read minzoom and maxzoom in the file's numbering: in the
        // inverted one, the least and most z of the rows.
        const int least = ranges.front().first;
        const int most = ranges.back().first;
        SqliteStatement name = Db().Prepare("SELECT name FROM info LIMIT 1");
        std::string kept = name.Step() ? name.Text(0) : std::string();
        if (!options.Name.empty()) {
            kept = options.Name;
        } else if (kept.empty()) {
            kept = RemoveFileExt(ExtractFileName(projects.front().ProjectPath()));
        }
        SqliteStatement rows = Db().Prepare("SELECT count(*) FROM info");
        rows.Step();
        SqliteStatement info = Db().Prepare(
            rows.Integer(0) == 0
                ? "INSERT INTO info (minzoom, maxzoom, tilenumbering, name) VALUES (?1, ?2, ?3, "
                  "?4)"
                : "UPDATE info SET minzoom = ?1, maxzoom = ?2, tilenumbering = "
                  "coalesce(tilenumbering, ?3), name = ?4");
        info.Bind(1, std::int64_t{bigPlanet_ ? kBigPlanetTop - most : least});
        info.Bind(2, std::int64_t{bigPlanet_ ? kBigPlanetTop - least : most});
        // A numbering the file declares stays as it is written.
        info.Bind(3, bigPlanet_ ? kBigPlanet : std::string_view("simple"));
        info.Bind(4, kept);
        info.Step();
    }

    bool bigPlanet_ = true;
    std::string extentSql_;
    std::string insertSql_;
};

}  // namespace

bool UsesBigPlanetZooms(SqliteDb& db) {
    if (!HasColumn(db, "info", "tilenumbering")) {
        return true;
    }
    SqliteStatement numbering = db.Prepare("SELECT tilenumbering FROM info LIMIT 1");
    return !numbering.Step() || Lower(numbering.Text(0)) == Lower(std::string(kBigPlanet));
}

std::unique_ptr<TileSink> MakeOsmandSink(const std::string& file, bool existed) {
    return std::make_unique<OsmandSink>(file, existed);
}

}  // namespace tessellon
