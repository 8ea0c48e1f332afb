#include "control/start_checks.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <limits>

#include "area/area_buffer.h"
#include "area/area_copy.h"
#include "area/area_file.h"
#include "platform/files.h"
#include "platform/numbers.h"
#include "platform/paths.h"
#include "platform/text_format.h"
#include "task/contract_texts.h"
#include "task/md_task.h"
#include "task/project_file.h"
#include "task/tile_layer.h"

namespace tessellon {

namespace {

constexpr const char* kTaskExtension = ".tsln";

// A stored bound equals a typed one when it holds the number the project file
// would hold for it, whichever way either was written ("40" and "40.0").
bool SameBound(const std::string& stored, double typed, CoordinateAxis axis) {
    return ReadCoordinate(stored, axis) == ReadCoordinate(FormatGeneral(typed), axis);
}

bool Within(double value, double low, double high) {
    return value >= low && value <= high;
}

// The zooms and the shape of the stored task are those of the parameters: a
// task of one rectangle at one zoom has no cover section; any other has one
// with the same zooms and, for a shape, a copy of its area with the same
// bytes.
bool IsSameCover(const ProjectContents& project, const std::string& folder,
                 const TaskParameters& p) {
    const std::optional<ProjectCover> cover = project.Cover();
    if (p.LastZoom() == p.Zoom && !p.Shape) {
        return !cover;
    }
    if (!cover || cover->ZoomFrom != p.Zoom || cover->ZoomTo != p.LastZoom() ||
        cover->Area.empty() != !p.Shape) {
        return false;
    }
    if (!p.Shape) {
        return true;
    }
    try {
        return ExtractFileName(cover->Area) == cover->Area &&
               ReadInputFile(folder + cover->Area) == p.Shape->CopyText;
    } catch (const EFileError&) {
        return false;
    }
}

// The existing project file describes the task of these parameters: map
// type, the four bounds as numbers, zoom, for a source task every key of the
// source as the task started with it, and its cover. Folder and name match
// by the path. A file that cannot be read describes no task.
bool IsSameTask(const ProjectFile& project, const TaskParameters& p) {
    std::optional<ProjectContents> stored;
    try {
        stored = project.Read();
    } catch (const EFileError&) {
        return false;
    }
    const ProjectArea area = stored->Area();
    return stored->Integer(project_keys::MapsTypeWhenComparing) == p.MapsType &&
           (!p.Source || stored->Source() == p.Source->Keys()) &&
           SameBound(area.LeftLongitude, p.LeftLongitude, CoordinateAxis::Longitude) &&
           SameBound(area.RightLongitude, p.RightLongitude, CoordinateAxis::Longitude) &&
           SameBound(area.TopLatitude, p.TopLatitude, CoordinateAxis::Latitude) &&
           SameBound(area.BottomLatitude, p.BottomLatitude, CoordinateAxis::Latitude) &&
           stored->Integer(project_keys::ZoomWhenComparing) == p.Zoom &&
           IsSameCover(*stored, p.SavePath, p);
}

// A shaped task's area from its file and buffer, its bounding rectangle as
// the task's bounds; the message when the file or the buffer is refused.
std::optional<std::string> ReadShape(const TaskFields& fields, TaskParameters& params) {
    std::optional<double> buffer;
    if (!fields.Buffer.empty()) {
        std::string error;
        buffer = ParseBufferDistance(fields.Buffer, error);
        if (!buffer) {
            return error;
        }
    }
    try {
        GeoShape area = ReadAreaShape(AbsolutePath(fields.AreaFile), buffer);
        const GeoRect bounds = ShapeBounds(area);
        params.LeftLongitude = bounds.Left;
        params.RightLongitude = bounds.Right;
        params.TopLatitude = bounds.Top;
        params.BottomLatitude = bounds.Bottom;
        std::string copy = AreaCopyText(area);
        params.Shape = TaskShape{std::move(area), std::move(copy), buffer.value_or(0)};
    } catch (const EAreaError& e) {
        return e.what();
    }
    return std::nullopt;
}

// "1 day", "3 hours".
std::string Amount(std::int64_t count, const char* unit) {
    return std::to_string(count) + " " + unit + (count == 1 ? "" : "s");
}

}  // namespace

std::optional<std::string> CheckBounds(const TaskParameters& p) {
    if (!Within(p.LeftLongitude, -180, 180)) {
        return "Left Longitude should be between -180 and 180.";
    }
    if (!Within(p.RightLongitude, -180, 180)) {
        return "Right Longitude should be between -180 and 180.";
    }
    if (!Within(p.TopLatitude, -85, 85)) {
        return "Top Latitude should be between -85 and 85.";
    }
    if (!Within(p.BottomLatitude, -85, 85)) {
        return "Bottom Latitude should be between -85 and 85.";
    }
    if (p.LeftLongitude > p.RightLongitude) {
        return kLeftNotLessThanRight;
    }
    if (p.TopLatitude < p.BottomLatitude) {
        return kBottomNotLessThanTop;
    }
    return std::nullopt;
}

double ReadCoordinate(const std::string& text, CoordinateAxis axis) {
    return ParseCoordinate(text, axis).value_or(std::numeric_limits<double>::quiet_NaN());
}

std::string DurationText(std::chrono::seconds duration) {
    if (duration.count() < 30) {
        return Amount(duration.count(), "second");
    }
    const std::int64_t minutes = (duration.count() + 30) / 60;
    const std::int64_t hours = minutes / 60;
    const std::int64_t days = hours / 24;
    const auto joined = [](std::string major, std::int64_t minorCount, const char* unit) {
        return minorCount == 0 ? major : major + " " + Amount(minorCount, unit);
    };
    if (days > 0) {
        return joined(Amount(days, "day"), hours % 24, "hour");
    }
    if (hours > 0) {
        return joined(Amount(hours, "hour"), minutes % 60, "minute");
    }
    return Amount(minutes, "minute");
}

std::string SizeText(std::int64_t kibibytes) {
    constexpr std::array<const char*, 4> kUnits{"KiB", "MiB", "GiB", "TiB"};
    if (kibibytes < 1024) {
        return std::to_string(kibibytes) + " KiB";
    }
    double amount = static_cast<double>(kibibytes);
    std::size_t unit = 0;
    while (amount >= 1024 && unit + 1 < kUnits.size()) {
        amount /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", amount, kUnits[unit]);
    return text;
}

std::chrono::milliseconds PauseAfterTile(const std::optional<TileSource>& source,
                                         const Pacing& pace) {
    if (!source) {
        return pace.AfterTile;
    }
    return std::chrono::milliseconds(source->PauseMs()) * pace.AfterTile.count() /
           Pacing::kProgramScale.count();
}

Pacing TaskPacing(const std::optional<TileSource>& source, const Pacing& pace) {
    Pacing task = pace;
    task.AfterTile = PauseAfterTile(source, pace);
    if (source && source->PauseMs() == 0) {
        task.StartOffset = std::chrono::milliseconds(0);
    }
    return task;
}

std::int32_t WorkersOf(const std::optional<TileSource>& source) {
    return source ? source->Workers() : kThreadSlots;
}

TaskEstimate EstimateTask(std::int64_t tiles, std::int32_t workers,
                          std::chrono::milliseconds pauseAfterTile) {
    constexpr std::int64_t kKibibytesPerTile = 15;
    const std::int64_t tilesPerWorker = (tiles + workers - 1) / workers;
    return {tiles,
            std::chrono::duration_cast<std::chrono::seconds>(pauseAfterTile * tilesPerWorker),
            tiles * kKibibytesPerTile};
}

std::string CompleteTaskName(const std::string& typed) {
    return ExtractFileExt(typed) == kTaskExtension ? typed : typed + kTaskExtension;
}

std::string ReplaceTaskQuestion(const std::string& taskName) {
    return "A task named " + taskName +
           " already exists in this folder with other settings. Replace it?";
}

std::optional<std::string> HugeTaskQuestion(const TaskEstimate& estimate) {
    if (estimate.Tiles <= kHugeTaskTiles) {
        return std::nullopt;
    }
    // The fetches take time too, however short the pauses.
    const std::chrono::seconds duration = std::max(estimate.Duration, std::chrono::seconds(30));
    return "This task has " + std::to_string(estimate.Tiles) + " tiles: about " +
           DurationText(duration) + " at the service's pace and about " +
           SizeText(estimate.Kibibytes) + " on disk. Start it?";
}

std::optional<std::string> ReadZooms(const TaskFields& fields, TaskParameters& params) {
    // The up-down control keeps the zoom within its range; a zoom from
    // elsewhere is held to the same range before it reaches the tile math.
    std::int32_t zoom = 0;
    if (!ParseWholeNumber(fields.Zoom, zoom) || zoom < kMinZoom || zoom > kMaxZoom) {
        return "Zoom level should be between 1 and 19.";
    }
    std::int32_t zoomTo = zoom;
    if (!fields.ZoomTo.empty() &&
        (!ParseWholeNumber(fields.ZoomTo, zoomTo) || zoomTo < kMinZoom || zoomTo > kMaxZoom)) {
        return "Zoom level should be between 1 and 19.";
    }
    if (zoomTo < zoom) {
        return "The highest zoom level should not be lower than the lowest.";
    }
    if (fields.Source && (zoom < fields.Source->MinZoom() || zoomTo > fields.Source->MaxZoom())) {
        return "Zoom level should be between " + std::to_string(fields.Source->MinZoom()) +
               " and " + std::to_string(fields.Source->MaxZoom()) + " for source " +
               fields.Source->Name() + ".";
    }
    params.Zoom = zoom;
    params.ZoomTo = zoomTo;
    return std::nullopt;
}

std::optional<std::string> ReadArea(const TaskFields& fields, TaskParameters& params) {
    if (!fields.AreaFile.empty()) {
        return ReadShape(fields, params);
    }
    params.LeftLongitude = ReadCoordinate(fields.LeftLongitude, CoordinateAxis::Longitude);
    params.RightLongitude = ReadCoordinate(fields.RightLongitude, CoordinateAxis::Longitude);
    params.TopLatitude = ReadCoordinate(fields.TopLatitude, CoordinateAxis::Latitude);
    params.BottomLatitude = ReadCoordinate(fields.BottomLatitude, CoordinateAxis::Latitude);
    return CheckBounds(params);
}

FolderTakeBack::~FolderTakeBack() {
    for (auto folder = folders_.rbegin(); folder != folders_.rend(); ++folder) {
        RemoveEmptyDirectory(*folder);
    }
}

StartCheckResult CheckStartInput(const TaskFields& typed, const Configuration& config,
                                 SaveFolderMaking making) {
    // The log head and the failed-tile records name the folder, so it is
    // whole: the same wherever the program was started from.
    TaskFields fields = typed;
    fields.SavePath = AbsolutePath(typed.SavePath);
    const ProxySettings proxy = config.ReadProxy();
    const TileServiceSettings service = config.ReadTileService();

    // Without a name the task's files would be hidden ones (".tsln",
    // "_log.txt") that no dialog offers; nothing is written before this.
    const std::string taskName = CompleteTaskName(fields.TaskName);
    if (taskName == kTaskExtension) {
        return {"Please enter a task name.", nullptr};
    }

    auto params = std::make_unique<TaskParameters>();
    if (auto message = ReadZooms(fields, *params)) {
        return {std::move(message), nullptr};
    }
    // A choice that no layer has (no button checked) is taken as the window's
    // initial one, Satellite.
    const TileLayer* layer = FindTileLayer(&TileLayer::WindowItem, fields.MapsTypeItem);
    const std::int32_t mapsType = fields.Source      ? kMapsTypeSource
                                  : layer != nullptr ? layer->MapsType
                                                     : kMapsTypeSatellite;

    if (fields.SavePath.empty()) {
        return {"Please select a path to save the images.", nullptr};
    }
    // A name too long for the folder would fail only once files were made;
    // a rewrite's temporary name must fit as well.
    const std::size_t nameRoom = LongestFileNameIn(fields.SavePath) - kTemporaryNameExtra;
    const bool shaped = !fields.AreaFile.empty();
    if (LongestTaskFileName(taskName, shaped) > nameRoom) {
        const std::size_t suffixes =
            LongestTaskFileName(taskName, shaped) - RemoveFileExt(taskName).size();
        return {"Please enter a shorter task name: at most " + std::to_string(nameRoom - suffixes) +
                    " characters before .tsln.",
                nullptr};
    }
    const std::string failed = "Create directory " + fields.SavePath + " Failed.";
    std::vector<std::string> made;
    if (making == SaveFolderMaking::OneLevel) {
        if (!DirectoryExists(fields.SavePath) && !CreateDirectoryOneLevel(fields.SavePath)) {
            return {failed, nullptr};
        }
    } else if (std::string reason; !MakeFolders(fields.SavePath, made, reason)) {
        const FolderTakeBack takeBack(std::move(made));
        return {failed + " " + reason + ".", nullptr};
    }
    FolderTakeBack takeBack(made);
    const std::string savePath = IncludeTrailingSeparator(fields.SavePath);

    if (auto message = ReadArea(fields, *params)) {
        return {std::move(message), nullptr};
    }
    takeBack.Keep();

    params->ThreadCount = WorkersOf(fields.Source);
    params->ThreadSlots = kThreadSlots;
    params->MapsType = mapsType;
    params->SavePath = savePath;
    params->TaskName = taskName;
    params->UseProxy = proxy.UseProxy;
    params->ProxyServer = proxy.ProxyServer;
    params->ProxyPort = proxy.ProxyPort;
    params->ProxyUsername = proxy.ProxyUsername;
    params->ProxyPassword = proxy.ProxyPassword;
    params->MapHost = service.MapHost;
    params->SatelliteHost = service.SatelliteHost;
    params->Source = fields.Source;
    bool replacesOtherTask = false;
    if (const std::string projectPath = savePath + taskName; FileExists(projectPath)) {
        params->ContinueTask = IsSameTask(ProjectFile(projectPath), *params);
        replacesOtherTask = !params->ContinueTask;
    }
    return {std::nullopt, std::move(params), replacesOtherTask, std::move(made)};
}

}  // namespace tessellon
