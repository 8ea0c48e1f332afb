#pragma once
// The command line of tessellon-cli.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "control/task_fields.h"
#include "output/formats.h"

namespace tessellon::cli {

enum class Command {
    Help,
    Version,
    Download,
    Estimate,
    Open,
    Redownload,
    Refresh,
    Convert,
    Sources,
    Export
};

struct Arguments {
    Command command = Command::Help;
    TaskFields fields;                      // download, estimate
    bool replace = false;                   // download: replace another task's project
    bool yes = false;                       // download: start a huge task
    bool retryFailed = false;               // download, open: listed blank tiles first
    bool quiet = false;                     // download, open, refresh: no log lines, no progress
    std::string file;                       // open, redownload, refresh
    std::optional<std::int64_t> olderThan;  // refresh: --older-than, in seconds
    std::string degrees, minutes, seconds;  // convert
    std::optional<std::string> configFile;
    // sources, and download from a tile source instead of --type: a section
    // of the sources file, or a template given on the command line.
    std::optional<std::string> sourcesFile;
    bool check = false;  // sources
    // sources --import: the service's description, the layer and the name.
    std::optional<std::string> importAddress;
    std::string importLayer;
    std::string importName;
    std::optional<std::string> sourceName;
    std::optional<std::string> urlTemplate;
    std::vector<std::string> projects;  // export
    std::string exportFile;             // export: --mbtiles, --gpkg, --pmtiles, --osmand
    ContainerFormat container = ContainerFormat::Mbtiles;  // export
    std::string mapName;                                   // export: --name
    bool withBlanks = false;                               // export
    int buildLower = 0;                                    // export: --build-lower
    std::string tilesFile;     // estimate: --tiles, "-" for standard output
    std::string areaCopyFile;  // estimate: --save-area
};

// The parsed arguments, or the reason they cannot be parsed.
struct ParseResult {
    std::optional<Arguments> arguments;
    std::string error;
};

ParseResult ParseArguments(const std::vector<std::string>& args);

extern const char* const kUsage;

}  // namespace tessellon::cli
