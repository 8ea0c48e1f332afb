#include "control/project_opening.h"

#include <algorithm>

#include "control/configuration.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "task/contract_texts.h"
#include "task/md_task.h"
#include "task/project_file.h"
#include "task/tile_layer.h"

namespace tessellon {

void LoadProjectIntoFields(const std::string& projectPath, TaskFields& fields) {
    // The INI reads take a file they cannot read for an empty one.
    CheckInputFile(projectPath);
    const ProjectFile project(projectPath);
    if (!project.HoldsTask()) {
        throw ENotAProjectError(projectPath);
    }
    const ProjectArea area = project.ReadArea();
    fields.LeftLongitude = area.LeftLongitude;
    fields.RightLongitude = area.RightLongitude;
    fields.TopLatitude = area.TopLatitude;
    fields.BottomLatitude = area.BottomLatitude;
    fields.SavePath = ExtractFilePath(projectPath);
    fields.TaskName = ExtractFileName(projectPath);
    const int mapsType = project.Read(project_keys::MapsTypeWhenOpening);
    if (const TileLayer* layer = FindTileLayer(&TileLayer::MapsType, mapsType)) {
        fields.MapsTypeItem = layer->WindowItem;
    }
    // The source comes from the project alone: the sources file may have
    // changed or gone since the task started. Its keys always hold the user
    // agent, so the version that would make a default one is never used.
    fields.Source.reset();
    if (mapsType == kMapsTypeSource) {
        fields.Source = TileSource::FromKeys(project.ReadSource(), settings::Version.Default);
    }
    const int zoom = std::clamp(project.Read(project_keys::ZoomWhenOpening), kMinZoom, kMaxZoom);
    fields.Zoom = std::to_string(zoom);
}

ViewLogAction DecideViewLog(const MDTask* currentTask) {
    if (currentTask == nullptr) {
        return {"", NoTaskRunningMessage()};
    }
    if (FileExists(currentTask->LogFileName)) {
        return {currentTask->LogFileName, ""};
    }
    return {"", NoLogFileMessage()};
}

}  // namespace tessellon
