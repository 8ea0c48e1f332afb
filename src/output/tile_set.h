#pragma once
// What the map viewer shows, whatever holds the tiles: a task (its project
// file), a folder of tile files or a tile container (MBTiles, GeoPackage,
// PMTiles, the OsmAnd SQLiteDB). Each offers the zooms it
// holds, the columns and rows of each, and per tile its state and bytes. A set
// only reads, and its reads may run on any thread at once.

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "output/pmtiles.h"
#include "output/sqlite_tile_reader.h"
#include "output/task_reader.h"

namespace tessellon {

// A path that names no tile set: nothing there, or a folder without a tile
// file. The message says which.
class ETileSetError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Columns MinX..MaxX and rows MinY..MaxY, XYZ rows (row 0 at the north).

class TileSet {
public:
    virtual ~TileSet() = default;

    // Ascending, never empty.
    virtual std::vector<int> Zooms() const = 0;
    // The zoom to show first.
    virtual int FirstZoom() const = 0;
    // The columns and rows that hold tiles at `zoom`, one of Zooms().
    virtual TileRange Bounds(int zoom) const = 0;
    // The area the user typed, for a task.
    virtual std::optional<GeoRect> TypedArea() const { return std::nullopt; }
    // A shaped task's area.
    virtual const std::optional<GeoShape>& Shape() const;
    // Whether tile (x, y) at `zoom` is one the set is meant to hold, so that
    // its absence counts as missing: for a task, a tile of its cover.
    virtual bool Holds(int zoom, std::int32_t x, std::int32_t y) const {
        return Bounds(zoom).Contains(x, y);
    }
    // What became of tile (x, y) at `zoom`, and its bytes into `bytes` when it
    // has some (emptied otherwise). A tile outside the bounds is missing.
    virtual TileState Read(int zoom, std::int32_t x, std::int32_t y, std::string& bytes) const = 0;
};

// A task's tiles, through its project file.
class TaskTileSet final : public TileSet {
public:
    // Throws as TaskReader does.
    TaskTileSet(const std::string& projectPath, const std::string& blankFolder);

    // Every zoom of the task; it opens at the deepest, as the combiner does.
    std::vector<int> Zooms() const override;
    int FirstZoom() const override { return reader_.Cover().MaxZoom(); }
    TileRange Bounds(int zoom) const override;
    std::optional<GeoRect> TypedArea() const override { return reader_.TypedArea(); }
    const std::optional<GeoShape>& Shape() const override { return reader_.Shape(); }
    bool Holds(int zoom, std::int32_t x, std::int32_t y) const override {
        return reader_.Cover().Contains({zoom, x, y});
    }
    TileState Read(int zoom, std::int32_t x, std::int32_t y, std::string& bytes) const override;

private:
    TaskReader reader_;
};

// The tile files of one folder, found by their names ("PREFIX_X_Y_Z.EXT").
// A folder may hold several zooms; it opens at the one with the most tiles,
// the deepest of equals. Where a zoom holds tiles of several layers, those of
// the layer with the most tiles are shown.
class FolderTileSet final : public TileSet {
public:
    // Throws ETileSetError when the folder is gone or holds no tile file.
    explicit FolderTileSet(const std::string& folder);

    std::vector<int> Zooms() const override;
    int FirstZoom() const override { return firstZoom_; }
    TileRange Bounds(int zoom) const override;
    TileState Read(int zoom, std::int32_t x, std::int32_t y, std::string& bytes) const override;

private:
    struct Level {
        TileRange Bounds;
        // The layer shown: prefix and extension of its file names.
        std::string Prefix;
        std::string Extension;
        std::int64_t Count = 0;
    };
    const Level* LevelAt(int zoom) const;

    std::string folder_;
    std::vector<std::pair<int, Level>> levels_;
    int firstZoom_ = 0;
};

// The tiles of a container, opened at its deepest zoom.
class ContainerTileSet : public TileSet {
public:
    std::vector<int> Zooms() const override;
    int FirstZoom() const override { return levels_.back().first; }
    TileRange Bounds(int zoom) const override;

protected:
    // Keeps the zooms 0..30 of `levels` (zoom, bounds) with their bounds held
    // to the grid: rows and columns past it are no tiles of a map. Throws
    // ETileSetError "The TITLE file PATH holds no tiles." when none is left.
    void KeepLevels(const std::vector<std::pair<int, TileRange>>& levels, std::string_view title,
                    const std::string& path);
    // `tile` as the set's Read gives it.
    static TileState Answer(std::optional<std::string> tile, std::string& bytes);

private:
    std::vector<std::pair<int, TileRange>> levels_;
};

// The tiles of a container kept in SQLite: MBTiles, GeoPackage, OsmAnd.
class SqliteContainerTileSet final : public ContainerTileSet {
public:
    // Throws as SqliteTileReader does, ETileSetError when the file holds no
    // tile a map shows.
    explicit SqliteContainerTileSet(const std::string& path);

    TileState Read(int zoom, std::int32_t x, std::int32_t y, std::string& bytes) const override;

private:
    SqliteTileReader reader_;
};

// The tiles of a PMTiles archive; each zoom's bounds those of the header.
class PmtilesTileSet final : public ContainerTileSet {
public:
    // Throws as PmtilesReader does.
    explicit PmtilesTileSet(const std::string& path);

    TileState Read(int zoom, std::int32_t x, std::int32_t y, std::string& bytes) const override;

private:
    PmtilesReader reader_;
};

// The set at `path`: a folder of tiles, a container (an SQLite database, a
// PMTiles archive, or a file named as either) or a task's project file.
// Throws ETileSetError (for an image: which sets the viewer shows), or what
// the set of that kind throws.
std::unique_ptr<TileSet> OpenTileSet(const std::string& path, const std::string& blankFolder);
// Why the viewer does not open the image at `path`, naming what it opens.
std::string ViewerRefusalOfImage(const std::string& path);

}  // namespace tessellon
