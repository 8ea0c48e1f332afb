#pragma once
// MBTiles files: the single-file tile sets that map programs open. The reader
// here shows a file's metadata and tiles by XYZ rows, whatever rows the file
// keeps (MBTiles keeps TMS rows, counted from the south).

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "geo/tile_math.h"
#include "output/tile_export.h"

namespace tessellon {

// An MBTiles file that cannot be used: it cannot be opened, is no SQLite
// database, lacks the tables of an MBTiles file, is locked by another
// program, or holds tiles of another format. The message names the file.
class EMbtilesError : public ETileContainerError {
public:
    using ETileContainerError::ETileContainerError;
};

// The XYZ row of TMS row `row` at `zoom`, and back: the same flip both ways.
std::int32_t FlipRow(int zoom, std::int32_t row);

// The MBTiles words for a failure of the SQLite file: throws EMbtilesError.
struct SqliteFailure;
[[noreturn]] void ThrowMbtilesError(const SqliteFailure& failure);

class SqliteDb;

// Throws EMbtilesError when the file's tiles or metadata table is a view, or
// carries a trigger (see ActiveTablesRefusal).
void RefuseActiveTables(SqliteDb& db);

// Opens the file read-only and never changes it, as a file from elsewhere
// (ForeignContainerGuard). Calls may come from several threads; each runs its
// own statement on the one connection.
class MbtilesReader {
public:
    // Throws EMbtilesError when the file cannot be opened, is no SQLite
    // database, has no tiles or metadata table, or is locked, and as
    // RefuseActiveTables does.
    explicit MbtilesReader(const std::string& path);
    ~MbtilesReader();

    std::map<std::string, std::string> Metadata() const;
    // The zooms that have tiles, ascending.
    std::vector<int> Zooms() const;
    // The tiles' extent at `zoom`, in XYZ rows (0 at the north); throws
    // EMbtilesError when it has none.
    TileRange Range(int zoom) const;
    // The tile's bytes, if the file has it. A tile larger than a download
    // takes (kDefaultMaxTileBytes) is not read, its length looked at
    // first: nothing, as for a tile the file lacks.
    std::optional<std::string> Tile(int zoom, std::int32_t x, std::int32_t y) const;

private:
    std::unique_ptr<SqliteDb> db_;
};

}  // namespace tessellon
