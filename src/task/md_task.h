#pragma once
// One download task: the tile range that covers the rectangle, the exact
// edges of that range, the names of the task's files, the URL, name and path
// of every tile, and the writers of the task's files. Built on the main
// thread before any worker starts; read-only afterwards, so the workers share
// it without a lock.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "platform/message_sink.h"
#include "task/project_file.h"
#include "task/task_parameters.h"
#include "task/tile_cover.h"
#include "task/tile_layer.h"

namespace tessellon {

// The tile folder could not be created; the user has been told which folder.
class ECreateTaskError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The area holds more tiles than a task can count; refused before anything is
// written to disk.
class ETooManyTilesError : public std::runtime_error {
public:
    ETooManyTilesError();
};

// A start was called off (Ctrl-C or SIGTERM) before the task's files were
// complete; no project file of the new task exists.
class EStartCancelled : public std::runtime_error {
public:
    EStartCancelled();
};

// Asked during a start; true calls it off.
using StartCancelCheck = std::function<bool()>;

inline constexpr std::int64_t kMaxTileCount = 2147483647;

// A tile list of more tiles than this takes longer to write than a user
// should wait for the first tile (about 0.15 s a million): it is written
// beside the download instead of before it.
inline constexpr std::int64_t kTileListAtStartLimit = 1'000'000;

// What follows the task name (without ".tsln") in the names of the task's
// files beside its project file.
inline constexpr std::string_view kLogFileSuffix = "_log.txt";
inline constexpr std::string_view kFailedFileSuffix = "_failed.ftl";
inline constexpr std::string_view kListFileSuffix = "_list.txt";
// The copy of a shaped task's area.
inline constexpr std::string_view kAreaFileSuffix = "_area.geojson";

// The longest name among the files of the task whose project file is
// `taskName` (ending in ".tsln"), the copy of its area too when `shaped`:
// the tile folder and the tiles in it are shorter.
std::size_t LongestTaskFileName(const std::string& taskName, bool shaped);

// How the tiles of a task are named: PREFIX_X_Y_Z.EXTENSION in its image
// folder.
struct TileNaming {
    std::string Prefix;
    // Without the dot.
    std::string Extension;

    std::string FileName(std::int32_t x, std::int32_t y, int zoom) const;
};

// The naming of a task of `mapsType`; a source task (`source` set) has the
// prefix every source shares and the source's format. A map type no layer
// has gives an empty prefix and extension.
TileNaming TileNamingOf(std::int32_t mapsType, const std::optional<TileSource>& source);

// The parts of a name of the form "PREFIX_X_Y_Z.EXT", X, Y and Z being
// decimal digits that an int holds.
struct TileFileName {
    std::string_view Prefix;
    std::int32_t X = 0;
    std::int32_t Y = 0;
    int Zoom = 0;
    std::string_view Extension;
};
std::optional<TileFileName> ParseTileFileName(std::string_view fileName);

// The URL of tile (x, y) at `zoom` of a built-in layer served by `host`.
std::string LayerTileUrl(const TileLayer& layer, std::string_view host, std::int32_t x,
                         std::int32_t y, int zoom);

// True when `fileName` has the form of a tile file some task writes:
// "PREFIX_X_Y_Z.EXT" with a layer's prefix and extension, or "tl" and a
// source's format, X, Y and Z decimal digits.
bool IsTileFileName(std::string_view fileName);

// The tiles of the task `p` describes: its shape or rectangle over its zooms.
TileCover CoverOfTask(const TaskParameters& p);

class MDTask {
public:
    // Keeps `params`, which must outlive the task. Creates the tile folder
    // (one level) and, when continuing, reads the saved worker positions.
    MDTask(const TaskParameters* params, MessageSink& messages);
    MDTask(const MDTask&) = delete;
    MDTask& operator=(const MDTask&) = delete;

    std::string GetTileUrl(const TileId& tile) const;
    std::string GetTileFileName(const TileId& tile) const;
    std::string GetTilePath(const TileId& tile) const;
    // "png" or "jpg" for a built-in layer, the source's Format for a source
    // task; without the dot.
    std::string GetTileExtension() const { return Naming().Extension; }

    // Everything a start writes, asking `cancelled` (may be empty) between
    // the steps and along the tile list. First the temporary files a killed
    // earlier start left are removed. A new task then loses the project file
    // it replaces and gets tile list, log head and failed-tile list, and its
    // project file last: only a start that wrote everything leaves a project
    // that a later start continues. A continued task keeps its project file,
    // tile list and failed-tile list and adds continuation lines to its log;
    // a log or failed-tile list it lost is made anew. Throws EStartCancelled
    // when called off, EFileError when a file cannot be written.
    void WriteTaskFiles(const StartCancelCheck& cancelled) const;

    // The steps of WriteTaskFiles, each writing its file with `options`. The
    // project file is written whole, for a continued task too.
    void WriteProjectFile(FileWriteOptions options = {}) const;
    // The tile list; nothing for a continued task that has one.
    void WriteTileList(const StartCancelCheck& cancelled = {}, FileWriteOptions options = {}) const;
    // Whether WriteTaskFiles leaves the tile list to be written beside the
    // download: for a new task of more than kTileListAtStartLimit tiles, and
    // for a continued task whose list is missing (its writing was stopped).
    bool TileListWrittenBeside() const;
    // The COVER section of the project; nothing for one rectangle at one
    // zoom.
    std::optional<ProjectCover> CoverKeys() const;
    void WriteLogHeader(FileWriteOptions options = {}) const;
    // The lines a new log starts with.
    std::vector<std::string> LogHeadLines() const;
    // The lines a continued task's start adds to its log.
    std::vector<std::string> LogContinueLines() const;
    void CreateFailedList(FileWriteOptions options = {}) const;
    // The copy of a shaped task's area; nothing for a rectangle.
    void WriteAreaCopy(FileWriteOptions options = {}) const;

    // Last tile each worker slot finished in an earlier run; 0 = none. Its
    // zoom is the task's lowest unless the project says another.
    std::array<std::int32_t, 16> SavedX{};
    std::array<std::int32_t, 16> SavedY{};
    std::array<std::int32_t, 16> SavedZ{};
    const TaskParameters* Params;
    // Every tile of the task, in the order the workers take them.
    TileCover Cover;
    // The tile range of the lowest zoom and its edges: what the project
    // file, the log head and the tools of the previous version read.
    std::int32_t MinX = 0;
    std::int32_t MinY = 0;
    std::int32_t MaxX = 0;
    std::int32_t MaxY = 0;
    double DownloadLeftLongitude = 0;
    double DownloadRightLongitude = 0;
    double DownloadTopLatitude = 0;
    double DownloadBottomLatitude = 0;
    std::int64_t TotalCount = 0;
    std::string LogFileName;
    std::string FailedFileName;
    std::string ListFileName;
    std::string AreaFileName;
    // Folder of the tile images, ending in "/".
    std::string ImageFolder;

    // Of the parameters as they are now.
    TileNaming Naming() const { return TileNamingOf(Params->MapsType, Params->Source); }

    std::string ProjectFileName() const { return Params->SavePath + Params->TaskName; }
    ProjectFile Project() const { return ProjectFile(ProjectFileName()); }

    // The order number in the cover of the tile worker slot `index` (from
    // 0) finished last in an earlier run; 0 when it has none or the tile is
    // not the task's. The worker skips the positions up to it.
    std::int64_t ResumeNumber(std::int32_t index) const;

    // For a start that ends before its download: removes the tile folder
    // when this task made it and it is still empty. The files of a start
    // called off are gone already (they take their names only together).
    void RemoveMadeImageFolder() const;

private:
    void ReadSavedPositions();
    void WriteTileListZoom(AtomicFileWriter& writer, int zoom,
                           const StartCancelCheck& cancelled) const;

    bool madeImageFolder_ = false;
};

}  // namespace tessellon
