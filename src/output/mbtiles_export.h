#pragma once
// Exporting downloads into an MBTiles file: the tiles of one or more projects
// (every zoom of each, often several zooms of one area) into one file that map
// programs open. A second export into the same file replaces the tiles of the
// same place and widens the metadata to cover both.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "output/mbtiles.h"
#include "platform/stop_signal.h"

namespace tessellon {

struct MbtilesExportOptions {
    // The metadata "name"; empty keeps the file's name, or names a new file
    // after its first project.
    std::string Name;
    // Blank tiles (the server had none) go in too.
    bool WithBlanks = false;
    // Where the blank images are, as TaskReader takes it.
    std::string BlankFolder;
    // Asked before each project, after each batch of tiles and before the
    // commit; none: the export runs to its end.
    const StopSignal* Stop = nullptr;
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

// Tiles done so far of all the projects' tiles.
using ExportProgress = std::function<void(std::int64_t done, std::int64_t total)>;

// Writes the projects' tiles into `file`, made when it does not exist, in one
// transaction: on any error, and when options.Stop ends it (ECancelled),
// nothing in the file changes (and a file this call made is removed). Throws what TaskReader throws
// for a project, and EMbtilesError for a file that is no MBTiles file or is locked, and for
// projects whose tile formats differ from each other or from the file's.
std::vector<ProjectExport> ExportMbtiles(const std::vector<std::string>& projects,
                                         const std::string& file,
                                         const MbtilesExportOptions& options,
                                         const ExportProgress& progress);

}  // namespace tessellon
