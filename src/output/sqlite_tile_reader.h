#pragma once
// Reads the tile containers kept in SQLite by XYZ tiles, whatever rows and
// zoom numbering each keeps: MBTiles (TMS rows, counted from the south), a
// GeoPackage of tiles on the web map grid, and the OsmAnd / Locus SQLiteDB
// (its zooms numbered directly or "BigPlanet"). A file from elsewhere: it is
// opened read-only and defensively, and its tile tables are refused when
// they are views or carry triggers that do more than abort.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "output/formats.h"
#include "output/sqlite_db.h"
#include "output/tile_export.h"

namespace tessellon {

// The XYZ row of TMS row `row` at `zoom`, and back: the same flip both ways.
std::int32_t FlipRow(int zoom, std::int32_t row);

// Throws the error of `message` in the caller's class; never returns.
using ContainerRefusal = void (*)(const std::string& message);
// Throws ETileContainerError.
[[noreturn]] void ThrowContainerError(const std::string& message);

class SqliteTileReader {
public:
    // Opens `path` and finds its tiles: a container of `expected` only when
    // given, else the one its tables show. Throws through `refuse`, or
    // `onFailure` for SQLite's failures (the words of the format the
    // extension names when not given), when the file cannot be opened, is
    // no SQLite database, is locked, holds no tile table of these formats,
    // or has views or triggers in their place. Reads may come from several
    // threads; each runs its own statement on the one connection.
    explicit SqliteTileReader(const std::string& path,
                              std::optional<ContainerFormat> expected = std::nullopt,
                              ContainerRefusal refuse = ThrowContainerError,
                              SqliteFailureHandler onFailure = nullptr);
    ~SqliteTileReader();

    ContainerFormat Format() const { return format_; }
    // The zooms that have tiles, ascending.
    std::vector<int> Zooms() const;
    // The tiles' extent at `zoom`, in XYZ rows (0 at the north); refused
    // when it has none.
    TileRange Range(int zoom) const;
    // The tile's bytes, if the file has it. A tile larger than a download
    // takes (kDefaultMaxTileBytes) is not read, its length looked at
    // first: nothing, as for a tile the file lacks.
    std::optional<std::string> Tile(int zoom, std::int32_t x, std::int32_t y) const;

protected:
    SqliteDb& Db() const { return *db_; }

private:
    // Finds the tile table of `format`; false when the file has none.
    bool FindMbtiles();
    bool FindGeoPackage();
    bool FindOsmand();
    // Throws `refusal` through refuse_ when there is one.
    void RefuseIf(const std::string& refusal) const;
    // Reads `table` (an SQL name) as `format`, by its columns of the zoom,
    // the column, the row and the bytes.
    void Take(ContainerFormat format, std::string table, const std::array<const char*, 4>& columns);
    // The zoom of a row, as SQL, and the condition on a row's zoom ?1.
    std::string ZoomOfRow() const;
    std::string RowAtZoom() const;

    std::unique_ptr<SqliteDb> db_;
    ContainerRefusal refuse_;
    ContainerFormat format_ = ContainerFormat::Mbtiles;
    // The table and columns, quoted as SQL names.
    std::string table_;
    std::string zoom_;
    std::string column_;
    std::string row_;
    std::string data_;
    bool tmsRows_ = false;
    bool bigPlanet_ = false;
};

}  // namespace tessellon
