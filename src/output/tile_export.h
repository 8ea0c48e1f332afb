#pragma once
// Exporting downloads into one tile container (MBTiles, GeoPackage, PMTiles,
// the phone apps' SQLiteDB): the tiles of one or more projects (every zoom of
// each, often several zooms of one area) into one file that map programs
// open. The loop over the projects' tiles is written here once; each
// container is a TileSink that takes the tiles and writes its own tables.

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "output/formats.h"
#include "platform/stop_signal.h"
#include "task/tile_cover.h"

namespace tessellon {

class TaskReader;

// A container that cannot take the tiles: it cannot be opened, is some other
// program's file, is locked, holds tiles of another format. The message
// names the file.
class ETileContainerError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TileExportOptions {
    // The map's name in the file; empty keeps the file's name, or names a
    // new file after its first project.
    std::string Name;
    // Blank tiles (the server had none) go in too.
    bool WithBlanks = false;
    // Where the blank images are, as TaskReader takes it.
    std::string BlankFolder;
    // Asked before each project, after each batch of tiles and before the
    // commit; none: the export runs to its end.
    const StopSignal* Stop = nullptr;
    // How many zooms below the projects' least to build from their tiles
    // (see LowerZoomBuilder); 0 for none.
    int BuildLower = 0;
};

// What became of one project's tiles.
struct ProjectExport {
    std::string Project;
    // The task's zooms, equal for a task of one zoom.
    int MinZoom = 0;
    int MaxZoom = 0;
    // Tiles put into the file, blank ones among them with WithBlanks.
    std::int64_t Written = 0;
    std::int64_t Blank = 0;
    std::int64_t Failed = 0;
    std::int64_t Missing = 0;
    // Tile files not read (a link, a special file, one too large), counted
    // among the missing ones: the first kSkipLinesKept, each "PATH: why".
    std::int64_t Skipped = 0;
    std::vector<std::string> SkipLines;
};

// A zoom built below the projects' least, and its tiles.
struct BuiltZoom {
    int Zoom = 0;
    std::int64_t Tiles = 0;
};

struct TileExport {
    std::vector<ProjectExport> Projects;
    // With BuildLower, the zooms built, ascending.
    std::vector<BuiltZoom> Built;
};

// Enough to show what is wrong with a folder; a folder of a million links
// tells the rest by their count.
inline constexpr std::size_t kSkipLinesKept = 100;

// The lines that tell of the skipped tile files: one per file kept, "Skipped
// PATH: why.", and a last one counting those not listed. None when no file
// was skipped.
std::vector<std::string> ExportSkipLines(const ProjectExport& result);

// The line that tells a person what became of a project's tiles, as the
// command line prints it and the export window shows it.
std::string ExportSummaryLine(const ProjectExport& result, bool withBlanks);
// The line that tells of the zooms built: "Zooms 9-11 built from zoom 12: 1,
// 3 and 12 tiles." Empty when none was.
std::string BuiltZoomsLine(const std::vector<BuiltZoom>& built);

// Tiles done so far of all the projects' tiles.
using ExportProgress = std::function<void(std::int64_t done, std::int64_t total)>;

// One container being filled. The export calls Begin, then Put for each
// tile, then Finish; a sink gone without Finish leaves the file as it was.
class TileSink {
public:
    virtual ~TileSink() = default;
    // Checks that the file can take the projects' tiles (their one format,
    // the file's own tables) and makes what it lacks. Throws
    // ETileContainerError.
    virtual void Begin(const std::vector<TaskReader>& projects) = 0;
    // Whether the tiles must come ordered by their place on the Hilbert
    // curve of each zoom, zooms ascending, rather than as the tasks list
    // them.
    virtual bool InHilbertOrder() const { return false; }
    // A tile, XYZ rows. A tile put again replaces the one before.
    virtual void Put(const TileId& tile, std::string_view bytes) = 0;
    // Writes what tells of the tiles (bounds, zooms, name, attribution) and
    // makes the file whole.
    virtual void Finish(const std::vector<TaskReader>& projects, const TileExportOptions& options,
                        const StopSignal* stop) = 0;
};

// The one format of all the projects' tiles ("png", "jpg", "pbf"...), and of
// `fileFormat` when it is not empty; throws ETileContainerError naming the
// projects (or the file) that differ.
std::string CommonTileFormat(const std::vector<TaskReader>& projects, const std::string& fileFormat,
                             const std::string& file, std::string_view title);

// The area every zoom of `ranges` (zoom, XYZ range) has tiles for: a viewer
// opens the deepest zoom at these bounds, and a zoom that covered less would
// show empty there. Zooms of places apart cover no area in common; it is
// then the area of them all, so none is cut off.
GeoRect CoveredAtEveryZoom(const std::vector<std::pair<int, TileRange>>& ranges);
// Widens `ranges` (zooms ascending) by `range` at `zoom`.
void AddZoomRange(std::vector<std::pair<int, TileRange>>& ranges, int zoom, const TileRange& range);
// Each zoom of the projects' covers, ascending.
std::vector<std::pair<int, TileRange>> CoverRanges(const std::vector<TaskReader>& projects);
// The attribution of the projects' sources, each once, joined by "; ", after
// `known` (the file's) where it does not hold them already.
std::string JoinedAttribution(const std::vector<TaskReader>& projects, std::string known);

// Writes the projects' tiles into `file` as `format`, made when it does not
// exist, all or nothing: on any error, and when options.Stop ends it
// (ECancelled), nothing in the file changes (and a file this call made is
// removed). Throws what TaskReader throws for a project, and
// ETileContainerError for a file that cannot take the tiles, for lower zooms
// asked of vector tiles or below zoom 0.
TileExport ExportTiles(ContainerFormat format, const std::vector<std::string>& projects,
                       const std::string& file, const TileExportOptions& options,
                       const ExportProgress& progress);

}  // namespace tessellon
