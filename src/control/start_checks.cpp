#include "control/start_checks.h"

#include <algorithm>

#include "platform/files.h"
#include "platform/numbers.h"
#include "platform/paths.h"
#include "task/contract_texts.h"
#include "task/project_file.h"
#include "task/tile_layer.h"

namespace tessellon {

namespace {

constexpr const char* kTaskExtension = ".tsln";

// A typed coordinate: every "," is read as ".", then the atof rule.
double ReadCoordinate(std::string text) {
    std::replace(text.begin(), text.end(), ',', '.');
    return ParseLeadingDecimal(text);
}

bool Within(double value, double low, double high) {
    return value >= low && value <= high;
}

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

// The project file of that name describes the same task: map type, the four
// bounds exactly as typed, zoom, folder and name, and for a source task every
// key of the source as the task started with it.
bool IsSameTask(const std::string& projectPath, const TaskFields& fields, std::int32_t mapsType,
                std::int32_t zoom) {
    if (!FileExists(projectPath)) {
        return false;
    }
    const ProjectFile project(projectPath);
    const ProjectArea area = project.ReadArea();
    return project.Read(project_keys::MapsTypeWhenComparing) == mapsType &&
           (!fields.Source || project.ReadSource() == fields.Source->Keys()) &&
           area.LeftLongitude == fields.LeftLongitude &&
           area.RightLongitude == fields.RightLongitude && area.TopLatitude == fields.TopLatitude &&
           area.BottomLatitude == fields.BottomLatitude &&
           project.Read(project_keys::ZoomWhenComparing) == zoom &&
           ExtractFilePath(projectPath) == IncludeTrailingSeparator(fields.SavePath) &&
           ExtractFileName(projectPath) == fields.TaskName;
}

}  // namespace

std::string CompleteTaskName(const std::string& typed) {
    return ExtractFileExt(typed) == kTaskExtension ? typed : typed + kTaskExtension;
}

StartCheckResult CheckStartInput(const TaskFields& typed, const Configuration& config) {
    // The log head and the failed-tile records name the folder, so it is
    // whole: the same wherever the program was started from.
    TaskFields fields = typed;
    fields.SavePath = AbsolutePath(typed.SavePath);
    const ProxySettings proxy = config.ReadProxy();
    const TileServiceSettings service = config.ReadTileService();

    // The up-down control keeps the zoom within its range; a zoom from
    // elsewhere is held to the same range before it reaches the tile math.
    std::int32_t zoom = 0;
    if (!ParseWholeNumber(fields.Zoom, zoom) || zoom < kMinZoom || zoom > kMaxZoom) {
        return {"Zoom level should be between 1 and 19.", nullptr};
    }
    if (fields.Source && (zoom < fields.Source->MinZoom() || zoom > fields.Source->MaxZoom())) {
        return {"Zoom level should be between " + std::to_string(fields.Source->MinZoom()) +
                    " and " + std::to_string(fields.Source->MaxZoom()) + " for source " +
                    fields.Source->Name() + ".",
                nullptr};
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
    if (!DirectoryExists(fields.SavePath) && !CreateDirectoryOneLevel(fields.SavePath)) {
        return {"Create directory " + fields.SavePath + " Failed.", nullptr};
    }
    const std::string savePath = IncludeTrailingSeparator(fields.SavePath);

    auto params = std::make_unique<TaskParameters>();
    params->LeftLongitude = ReadCoordinate(fields.LeftLongitude);
    params->RightLongitude = ReadCoordinate(fields.RightLongitude);
    params->TopLatitude = ReadCoordinate(fields.TopLatitude);
    params->BottomLatitude = ReadCoordinate(fields.BottomLatitude);
    if (auto message = CheckBounds(*params)) {
        return {std::move(message), nullptr};
    }

    const std::string taskName = CompleteTaskName(fields.TaskName);
    params->Zoom = zoom;
    params->ThreadCount = fields.Source ? fields.Source->Workers() : kThreadSlots;
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
    params->ContinueTask = IsSameTask(savePath + taskName, fields, mapsType, zoom);
    return {std::nullopt, std::move(params)};
}

}  // namespace tessellon
