#include "cli_arguments.h"

#include <algorithm>
#include <array>
#include <map>
#include <set>

#include "control/start_checks.h"
#include "control/task_fields.h"
#include "download/refresh_job.h"
#include "platform/numbers.h"
#include "platform/paths.h"
#include "task/tile_cover.h"
#include "task/tile_layer.h"

namespace tessellon::cli {

const char* const kUsage = R"(Usage:
  tessellon-cli download --name NAME --type map|satellite --left L --right R
                         --top T --bottom B --zoom Z --path DIR [--config FILE]
                         [--replace] [--yes] [--retry-failed] [--quiet]
  tessellon-cli download ... --source NAME [--sources FILE] | --url TEMPLATE
                         (in place of --type)
  tessellon-cli download ... --zoom Z1-Z2
                         (every zoom from Z1 to Z2 in one task)
  tessellon-cli download ... --area FILE [--buffer D]
                         (in place of --left, --right, --top and --bottom)
  tessellon-cli estimate --left L --right R --top T --bottom B | --area FILE
                         [--buffer D] --zoom Z[-Z2] [--type map|satellite |
                         --source NAME [--sources FILE] | --url TEMPLATE]
                         [--tiles FILE] [--save-area FILE]
  tessellon-cli export PROJECT.tsln... --mbtiles FILE | --gpkg FILE |
                       --pmtiles FILE | --osmand FILE [--name TEXT] [--with-blanks]
                       [--build-lower N]
  tessellon-cli open PROJECT.tsln [--retry-failed] [--quiet] [--config FILE]
  tessellon-cli redownload FILE.ftl
  tessellon-cli refresh PROJECT.tsln [--older-than AGE] [--quiet] [--config FILE]
  tessellon-cli convert DEGREES MINUTES SECONDS
  tessellon-cli sources [--sources FILE] [--check] [--config FILE]
  tessellon-cli sources --import URL [--layer ID] [--name NAME]
                        [--sources FILE] [--config FILE]
  tessellon-cli --help
  tessellon-cli --version

Downloads the map tiles of a rectangle over one zoom level or a range of
them, as the desktop program's main window does, without a window.

download    Acts exactly like typing the texts into the main window and
            pressing Start: the same checks and messages, the same files, and
            a task of the same name, area, zoom, type and folder continues
            where it stopped. Longitudes -180..180 and latitudes -85..85 in
            decimal degrees ("116,5" reads as 116.5), zoom 1..19; NAME gets
            ".tsln" unless it ends in it.
            A relative DIR is taken from the current folder; "~" is home.
            Every missing folder of DIR is made; a refused start takes them
            back.
            Where the window would ask, a terminal is asked ("[y/N]");
            elsewhere the question goes to standard error and the download
            ends with status 1 unless answered beforehand: --replace lets the
            task replace another task's project of the same name in that
            folder; --yes starts a task of more than 100,000 tiles.
            --source NAME downloads from the tile source NAME (in any case)
            of the sources file (sources.ini, or --sources FILE);
            --url TEMPLATE from a source with that URL template and the
            default keys, named "url". The task keeps the source, so open
            and continue need no sources file.
            --zoom Z1-Z2 downloads every zoom from Z1 to Z2 as one task: one
            project, one tile list, log and failed-tile list, one tile folder,
            the lowest zoom first; it stops and continues as a whole, and
            ends with a line per zoom that says how far it got.
            --area FILE downloads only the tiles of a shape: the polygons of
            a GeoJSON, KML, KMZ or GPX file (or GeoPackage, Shapefile), and
            with --buffer D (such as 2km or 500m, measured on the ground)
            everything within D of its polygons, tracks and routes; lines
            need a buffer. The task keeps a copy of the area beside its
            project (NAME_area.geojson), so open and continue need no file.
            --retry-failed first fetches again the tiles listed in the
            task's failed-tile list (NAME_failed.ftl) that are still blank,
            as the task fetches its tiles, then continues the task. A tile
            that fails again is listed again.
estimate    Counts the tiles a download of that area and those zooms would
            fetch, zoom by zoom, and prints what the task would cost at the
            service's pace, as the desktop program shows it under the map.
            Nothing is downloaded. --tiles FILE writes every tile as Z/X/Y, a
            line each in the order a download fetches them ("-": standard
            output); --save-area FILE writes the area as a download keeps it
            (GeoJSON, the buffer applied).
open        Opens a saved project as "Open task ..." does, then starts it: an
            interrupted task continues. --retry-failed as for download.
redownload  Fetches the tiles of a failed-tile list again and prints a line
            for each record, and last how many listed tiles are still blank.
            The list is not changed.
refresh     Asks every tile of a downloaded task again, at the task's pace:
            where the server sent an ETag or Last-Modified for a tile, the
            question is "changed since?", and an unchanged tile costs no
            transfer. A changed tile replaces its file; one the server no
            longer has (404) keeps its file. Blank and failed tiles are
            fetched again. With --older-than AGE (30d, 12h, 45m or 90s) tiles
            fetched within AGE are skipped without a request. Ctrl-C stops
            it, and the same command continues it. It ends with a line that
            counts changed, unchanged and kept tiles.
export      Puts the tiles of the projects (several zooms of one area, say)
            into one MBTiles file, made when it does not exist; or into a
            GeoPackage (--gpkg, image tiles only, which QGIS and GDAL open
            with every zoom as an overview) the same way; or into a new
            PMTiles archive (--pmtiles, for web maps; an existing file is
            refused, not rewritten); or into the .sqlitedb tile store of
            the phone apps OsmAnd and Locus (--osmand, image tiles only;
            a new file numbers zooms as both apps read them, an existing
            one keeps its own numbering). Tiles already
            there at the same zoom and place are replaced, and the file's
            bounds and zooms widened. Blank tiles are left out unless
            --with-blanks; missing and failed tiles are left out and counted
            in the line printed for each project. --name names the map (by
            default the file keeps its name, a new one takes the first
            project's). --build-lower N makes the N zooms below the
            projects' least from their tiles, each tile the average of the
            four below it, without asking the server (image tiles only;
            not below zoom 0). Projects of other tile formats than each other or
            the file are refused, as is a file that is no MBTiles file or is
            locked; the file is then left as it was.
convert     Degrees, minutes and seconds to decimal degrees, or "Input Error.".
sources     Lists the tile sources of the sources file: name, URL template,
            zooms, workers and pause; why a source is refused goes to
            standard error. --check fetches tile 0/0 at each source's least
            zoom and shows its status, time, size and whether it is an image
            of the source's kind.
            --import URL reads a map service's description, a WMTS
            capabilities document (RESTful WMTSCapabilities.xml or a KVP
            GetCapabilities address) or a TileJSON file, lists its layers
            (title, formats, styles, tile matrix sets, or why a layer cannot
            be downloaded) and adds the layer --layer ID (needed when more
            than one can be downloaded) to the sources file as a new source
            named NAME (by default the layer's title). A layer must have a
            tile matrix set in the Web Mercator grid.

--config FILE  Reads the settings (proxy, tile servers) from FILE instead of
               config.ini: ini/config.ini beside the program when that folder
               can be written, else $XDG_CONFIG_HOME/tessellon/config.ini
               (~/.config/tessellon/config.ini by default).
--sources FILE Reads the tile sources from FILE instead of sources.ini, which
               lives where config.ini does.

Output: log lines on standard output as they reach the log (a continued task
prints only the lines this run adds; the log file keeps all); messages on
standard error, the last one "Task stoped!" and a line that says how the
download ended; on a terminal, standard error also shows a progress line
(tiles done of total, failed tiles, tiles per second, time left), erased
before any message. --quiet prints no log lines and no progress line.
Ctrl-C stops the download like the Stop button: the workers finish their
current tile, progress, log and failed-tile list are saved, and the same
command continues the task later. A second Ctrl-C ends the program at once,
saved, without waiting for a worker that a stop cannot reach.

Exit status:
  0  every worker walked to the end and no tile of the failed-tile list is
     still blank
     (redownload: every record fetched; convert: a result; sources: every
     source read and checked; export: every tile of the projects exported)
  1  the input was refused or the task could not start (sources: the file
     cannot be read or a source in it was refused, or --import added none; export: a project or the
     MBTiles file was refused)
  2  tiles are still blank after failures, listed in the failed-tile list
     (this run's or an earlier one's; refresh: tiles failed; redownload:
     some records failed;
     sources: a check failed; export: missing or failed tiles left out)
  3  stopped, or a worker was ended by the failure policy

Environment:
  TESSELLON_PACE_MS  the pause after each tile in milliseconds (default 1000;
                     the other pauses and the save timer scale with it). For
                     tests against a local tile server only.
)";

namespace {

const std::map<std::string, std::string TaskFields::*> kDownloadOptions = {
    {"--name", &TaskFields::TaskName},         {"--left", &TaskFields::LeftLongitude},
    {"--right", &TaskFields::RightLongitude},  {"--top", &TaskFields::TopLatitude},
    {"--bottom", &TaskFields::BottomLatitude}, {"--zoom", &TaskFields::Zoom},
    {"--path", &TaskFields::SavePath},         {"--area", &TaskFields::AreaFile},
    {"--buffer", &TaskFields::Buffer},
};

// The options a download needs that an estimate does without.
const std::set<std::string> kTaskOnlyOptions = {"--name", "--path"};

// The options of the rectangle, which --area takes the place of.
constexpr std::array<const char*, 4> kBoundsOptions = {"--left", "--right", "--top", "--bottom"};

ParseResult Error(std::string text) {
    return {std::nullopt, std::move(text)};
}

constexpr const char* kZoomRangeForm =
    "--zoom takes a zoom or a range such as 12-15, lowest first, within 1-19";

// "Z1-Z2" as the lowest and the highest zoom of the fields; a text with no
// "-" after its first character is one zoom, for the start to check as it
// always has, unless it is a number followed by more ("12..13", "12:13",
// "12 to 13"), a range written another way, which is refused with the form
// the command takes.
bool ReadZoomRange(TaskFields& fields) {
    const std::size_t dash = fields.Zoom.find('-', 1);
    if (dash == std::string::npos) {
        const std::size_t start = fields.Zoom.find_first_not_of(' ');
        const std::size_t after = fields.Zoom.find_first_not_of("0123456789", start);
        return start == std::string::npos || after == start || after == std::string::npos ||
               fields.Zoom.find_first_not_of(' ', after) == std::string::npos;
    }
    std::int32_t first = 0;
    std::int32_t last = 0;
    if (!ParseWholeNumber(std::string_view(fields.Zoom).substr(0, dash), first) ||
        !ParseWholeNumber(std::string_view(fields.Zoom).substr(dash + 1), last) ||
        first < kMinZoom || last > kMaxZoom || first >= last) {
        return false;
    }
    fields.Zoom = std::to_string(first);
    fields.ZoomTo = std::to_string(last);
    return true;
}

}  // namespace

ParseResult ParseArguments(const std::vector<std::string>& args) {
    Arguments result;
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        return {result, ""};
    }
    if (args[0] == "--version") {
        if (args.size() > 1) {
            return Error("--version takes nothing else");
        }
        result.command = Command::Version;
        return {result, ""};
    }
    const std::string& command = args[0];
    std::vector<std::string> positional;
    bool typeGiven = false;
    std::map<std::string, bool> seen;
    // An estimate reads the area, zooms and service as a download does.
    const bool takesTask = command == "download" || command == "estimate";
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            return {Arguments{}, ""};
        }
        if (arg.rfind("--", 0) != 0) {
            positional.push_back(arg);
            continue;
        }
        if (command == "sources" && arg == "--check") {
            result.check = true;
            continue;
        }
        if (command == "download" && (arg == "--replace" || arg == "--yes")) {
            (arg == "--replace" ? result.replace : result.yes) = true;
            continue;
        }
        if ((command == "download" || command == "open" || command == "refresh") &&
            arg == "--quiet") {
            result.quiet = true;
            continue;
        }
        if ((command == "download" || command == "open") && arg == "--retry-failed") {
            result.retryFailed = true;
            continue;
        }
        if (command == "export" && arg == "--with-blanks") {
            result.withBlanks = true;
            continue;
        }
        if (i + 1 >= args.size()) {
            return Error(arg + " needs a value");
        }
        const std::string& value = args[++i];
        if (arg == "--config") {
            result.configFile = value;
        } else if (command == "refresh" && arg == "--older-than") {
            result.olderThan = ParseAge(value);
            if (!result.olderThan) {
                return Error("--older-than takes an age such as 30d, 12h, 45m or 90s");
            }
        } else if (command == "export" && (arg == "--mbtiles" || arg == "--gpkg" ||
                                           arg == "--pmtiles" || arg == "--osmand")) {
            if (!result.exportFile.empty()) {
                return Error(
                    "export writes one file: name one of --mbtiles, --gpkg, --pmtiles and "
                    "--osmand");
            }
            result.exportFile = value;
            result.container = arg == "--gpkg"      ? ContainerFormat::GeoPackage
                               : arg == "--pmtiles" ? ContainerFormat::Pmtiles
                               : arg == "--osmand"  ? ContainerFormat::Osmand
                                                    : ContainerFormat::Mbtiles;
        } else if (command == "export" && arg == "--name") {
            result.mapName = value;
        } else if (command == "export" && arg == "--build-lower") {
            std::int32_t levels = 0;
            if (!ParseWholeNumber(value, levels) || levels < 1 || levels > kMaxZoom) {
                return Error("--build-lower takes a number of zooms from 1 to " +
                             std::to_string(kMaxZoom));
            }
            result.buildLower = levels;
        } else if (command == "estimate" && arg == "--tiles") {
            result.tilesFile = value;
        } else if (command == "estimate" && arg == "--save-area") {
            result.areaCopyFile = value;
        } else if (command == "sources" && arg == "--import") {
            result.importAddress = value;
        } else if (command == "sources" && arg == "--layer") {
            result.importLayer = value;
            seen[arg] = true;
        } else if (command == "sources" && arg == "--name") {
            result.importName = value;
            seen[arg] = true;
        } else if ((command == "sources" || takesTask) && arg == "--sources") {
            result.sourcesFile = value;
        } else if (takesTask && arg == "--type") {
            const TileLayer* layer = FindTileLayer(&TileLayer::CliType, value);
            if (layer == nullptr) {
                return Error("--type must be map or satellite");
            }
            result.fields.MapsTypeItem = layer->WindowItem;
            typeGiven = true;
        } else if (takesTask && arg == "--source") {
            result.sourceName = value;
        } else if (takesTask && arg == "--url") {
            result.urlTemplate = value;
        } else if (const auto field = kDownloadOptions.find(arg);
                   takesTask && field != kDownloadOptions.end() &&
                   (command == "download" || !kTaskOnlyOptions.contains(arg))) {
            result.fields.*(field->second) = value;
            seen[arg] = true;
        } else {
            return Error("unknown option " + arg + " for " + command);
        }
    }

    if (takesTask) {
        result.command = command == "download" ? Command::Download : Command::Estimate;
        const bool shaped = seen["--area"];
        for (const auto& [option, member] : kDownloadOptions) {
            const bool bound = std::find(kBoundsOptions.begin(), kBoundsOptions.end(), option) !=
                               kBoundsOptions.end();
            if (shaped && bound && seen[option]) {
                return Error("--area takes the place of --left, --right, --top and --bottom");
            }
            const bool needed = option != "--area" && option != "--buffer" && !(shaped && bound) &&
                                (command == "download" || !kTaskOnlyOptions.contains(option));
            if (!seen[option] && needed) {
                return Error(command + " needs " + option);
            }
        }
        if (seen["--buffer"] && !shaped) {
            return Error("--buffer goes with --area");
        }
        if (!result.areaCopyFile.empty() && !shaped) {
            return Error("--save-area goes with --area");
        }
        const int layerChoices =
            (typeGiven ? 1 : 0) + (result.sourceName ? 1 : 0) + (result.urlTemplate ? 1 : 0);
        if (layerChoices == 0 && command == "download") {
            return Error("download needs --type");
        }
        if (layerChoices > 1) {
            return Error(command + " takes one of --type, --source and --url");
        }
        if (result.sourcesFile && !result.sourceName) {
            return Error("--sources goes with --source");
        }
        if (!positional.empty()) {
            return Error("unexpected argument " + positional[0]);
        }
        if (!ReadZoomRange(result.fields)) {
            return Error(kZoomRangeForm);
        }
        return {result, ""};
    }
    if (command == "export") {
        result.command = Command::Export;
        if (positional.empty()) {
            return Error("export needs a project file");
        }
        if (result.exportFile.empty()) {
            return Error("export needs --mbtiles, --gpkg, --pmtiles or --osmand");
        }
        if (result.configFile) {
            return Error("export takes no --config");
        }
        result.projects = positional;
        return {result, ""};
    }
    if (command == "open" || command == "redownload" || command == "refresh") {
        result.command = command == "open"         ? Command::Open
                         : command == "redownload" ? Command::Redownload
                                                   : Command::Refresh;
        if (positional.size() != 1) {
            return Error(command + " needs one file");
        }
        if (result.command == Command::Redownload && result.configFile) {
            return Error("redownload takes no --config: it never uses the proxy");
        }
        result.file = positional[0];
        return {result, ""};
    }
    if (command == "convert") {
        result.command = Command::Convert;
        if (positional.size() != 3 || result.configFile) {
            return Error("convert needs DEGREES MINUTES SECONDS");
        }
        result.degrees = positional[0];
        result.minutes = positional[1];
        result.seconds = positional[2];
        return {result, ""};
    }
    if (command == "sources") {
        result.command = Command::Sources;
        if (!positional.empty()) {
            return Error("unexpected argument " + positional[0]);
        }
        if ((seen["--layer"] || seen["--name"]) && !result.importAddress) {
            return Error("--layer and --name go with --import");
        }
        if (result.check && result.importAddress) {
            return Error("--check and --import are two commands");
        }
        return {result, ""};
    }
    return Error("unknown command " + command);
}

}  // namespace tessellon::cli
