#pragma once
// A task as its files show it, for the programs that use a download (the
// combiner, the viewer, the MBTiles export): its tile cover, its shape if it
// has one, the area as it was typed, where each tile's file lies and what
// became of each tile. Only reads; never creates or changes a file, so it may
// look at a task that is still running.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_set>

#include "geo/tile_math.h"
#include "task/md_task.h"
#include "task/project_file.h"
#include "task/tile_cover.h"
#include "task/tile_source.h"

namespace tessellon {

// A project that names no tiles the reader can find: its tile folder is gone,
// or its tile range or zoom is none a task has. The message says which.
class ETaskReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class TileState {
    // A tile file that is not the blank image.
    Present,
    // Byte for byte the blank image the download put where the server had no
    // tile.
    Blank,
    // In the failed-tile list, and its file is still blank or missing.
    Failed,
    // No file, and no record of a failure.
    Missing,
};

struct TileCounts {
    std::int64_t Present = 0;
    std::int64_t Blank = 0;
    std::int64_t Failed = 0;
    std::int64_t Missing = 0;
};

class TaskReader {
public:
    // Reads the project file at `projectPath` and the failed-tile list beside
    // it. `blankFolder` holds the blank images ("blank.png", ...), as the
    // program's blankimg/ does; without one no tile counts as blank. Throws
    // EFileError when the project cannot be read or is too large,
    // ENotAProjectError when it is no task's project, ETaskReadError as
    // described there, and EFileError when the failed-tile list exists but
    // cannot be read.
    TaskReader(const std::string& projectPath, const std::string& blankFolder);

    const std::string& ProjectPath() const { return projectPath_; }
    std::int32_t MapsType() const { return mapsType_; }
    // Set for a task that downloads from a tile source.
    const std::optional<TileSource>& Source() const { return source_; }
    // Every tile of the task, in the order its download walked them.
    const TileCover& Cover() const { return cover_; }
    // A shaped task's area, from the copy beside its project.
    const std::optional<GeoShape>& Shape() const { return shape_; }

    // The area as it was typed, for a shape its bounding rectangle; a bound
    // that is no number reads 0.
    const GeoRect& TypedArea() const { return typedArea_; }

    // Ending in "/".
    const std::string& ImageFolder() const { return imageFolder_; }
    const TileNaming& Naming() const { return naming_; }
    const std::string& FailedFileName() const { return failedFileName_; }
    std::string TilePath(const TileId& tile) const;

    // What became of a tile of the cover. Reads the file only when it has
    // the blank image's size.
    TileState State(const TileId& tile) const;
    // The same, and the file's bytes into `bytes` for a tile that has a file
    // (emptied otherwise). Only a regular file of at most the download's
    // limit of a tile (kDefaultMaxTileBytes) is read, never through a symbolic link: a task folder
    // may come from elsewhere, and a link in it to a secret must not reach an output. A file
    // refused so, or one that cannot be read, counts as missing, and `refusal` (when given) says
    // why; it is emptied otherwise.
    TileState Read(const TileId& tile, std::string& bytes, std::string* refusal = nullptr) const;
    // Every tile of the cover.
    TileCounts Count() const;

private:
    TileCover ReadCover(const ProjectContents& project, const std::string& projectPath, int zoom,
                        const TileRange& stored);
    TileState StateOfFile(const TileId& tile, bool hasFile, bool isBlank) const;
    void ReadFailedList();

    std::string projectPath_;
    std::int32_t mapsType_ = 0;
    std::optional<TileSource> source_;
    TileCover cover_;
    std::optional<GeoShape> shape_;
    GeoRect typedArea_;
    std::string imageFolder_;
    std::string failedFileName_;
    TileNaming naming_;
    std::string blank_;
    // Tiles with a record in the failed-tile list, by their order number.
    std::unordered_set<std::int64_t> failed_;
};

}  // namespace tessellon
