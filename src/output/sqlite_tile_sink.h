#pragma once
// What the tile containers kept in SQLite (MBTiles, GeoPackage, the phone
// apps' SQLiteDB) share: a file from elsewhere opened defensively, refused
// when its tile tables are views or carry triggers, every tile inserted in
// one transaction with a bounded page cache, and the words for a file that
// cannot be used. Each container names its tables, its insert and its
// metadata; the SQLite wrapper below knows no format.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "output/sqlite_db.h"
#include "output/tile_export.h"

namespace tessellon {

// How a container that this run did not make is opened: defensively, no
// statement longer than kForeignStatementMillis, no value past the limit of
// a tile.
inline constexpr int kForeignStatementMillis = 20000;
SqliteGuard ForeignContainerGuard();

// `text` between `quote`s, those within doubled: a literal ('), a name (").
std::string QuotedSql(std::string_view text, char quote);

// The words for a failure of the SQLite file of a `title` container
// ("MBTiles"): "The MBTiles file F is locked by another program." and the
// like.
std::string SqliteFailureText(std::string_view title, const SqliteFailure& failure);

// Why the file is refused when one of `tables` (any case) is a view or
// carries a trigger: either runs the file author's statements inside ours (a
// trigger that empties the table on each insert, a view whose query never
// ends). Empty when none is. On the `checkedTables` a trigger whose body
// only aborts a statement (SELECT RAISE(ABORT, ...), as a format's own
// checks are written) is let be; any other is refused as well. On the
// `readTables`, which are only read (no trigger fires then), only a view is
// refused.
std::string ActiveTablesRefusal(SqliteDb& db, std::string_view title,
                                const std::vector<std::string>& tables,
                                const std::vector<std::string>& checkedTables = {},
                                const std::vector<std::string>& readTables = {});

class SqliteTileSink : public TileSink {
public:
    void Begin(const std::vector<TaskReader>& projects) final;
    void Put(const TileId& tile, std::string_view bytes) final;
    void Finish(const std::vector<TaskReader>& projects, const TileExportOptions& options,
                const StopSignal* stop) final;

protected:
    // Opens (or makes) `file`; a file that `existed` comes from anywhere and
    // is opened with the foreign guard, a new one is never made behind a
    // symbolic link. `tables` are the ones whose views and triggers refuse
    // the file before anything is written (see ActiveTablesRefusal). Throws ETileContainerError (or
    // what `onFailure` throws).
    SqliteTileSink(const std::string& file, bool existed, std::string_view title,
                   SqliteFailureHandler onFailure, const std::vector<std::string>& tables,
                   const std::vector<std::string>& checkedTables = {});

    SqliteDb& Db() { return db_; }
    std::string_view Title() const { return title_; }
    // Throws the container's refusal of the file, "The file F" then `why`.
    [[noreturn]] void Refuse(std::string_view why) const;

    // Inside the transaction: checks the file's tables (another program's
    // database is refused) and the tiles' format, and makes the schema.
    virtual void Prepare(const std::vector<TaskReader>& projects) = 0;
    // The insert of one tile, replacing one at the same place: ?1 zoom, ?2
    // column, ?3 row as StoredRow gives it, ?4 the bytes.
    virtual std::string_view InsertSql() const = 0;
    // The row a tile's XYZ row is stored as, and back: the same turn both
    // ways.
    virtual std::int64_t StoredRow(int /*zoom*/, std::int64_t row) const { return row; }
    // The stored extent of each zoom from 0 to 30: zoom, least and most
    // column, least and most stored row.
    virtual std::string_view ExtentSql() const {
        return "SELECT zoom_level, min(tile_column), max(tile_column), min(tile_row), "
               "max(tile_row) FROM tiles WHERE zoom_level BETWEEN 0 AND 30 GROUP BY zoom_level";
    }
    // Each zoom's tiles in the file, XYZ rows, zooms ascending, with the
    // covers of the projects just exported: their blank and missing edge
    // tiles are part of their area. Rows of a file from elsewhere outside the
    // grid are held to it.
    std::vector<std::pair<int, TileRange>> RangesInFile(const std::vector<TaskReader>& projects);
    // Inside the transaction, after the last tile.
    virtual void WriteMetadata(const std::vector<TaskReader>& projects,
                               const TileExportOptions& options) = 0;

private:
    SqliteDb db_;
    std::string title_;
    std::optional<SqliteTransaction> transaction_;
    std::optional<SqliteStatement> insert_;
};

}  // namespace tessellon
