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
    const ProjectContents project = ProjectFile(projectPath).Read();
    if (!project.HoldsTask()) {
        throw ENotAProjectError(projectPath);
    }
    const ProjectArea area = project.Area();
    fields.LeftLongitude = area.LeftLongitude;
    fields.RightLongitude = area.RightLongitude;
    fields.TopLatitude = area.TopLatitude;
    fields.BottomLatitude = area.BottomLatitude;
    fields.SavePath = ExtractFilePath(projectPath);
    fields.TaskName = ExtractFileName(projectPath);
    const int mapsType = project.Integer(project_keys::MapsTypeWhenOpening);
    if (const TileLayer* layer = FindTileLayer(&TileLayer::MapsType, mapsType)) {
        fields.MapsTypeItem = layer->WindowItem;
    }
    // The source comes from the project alone: the sources file may have
    // changed or gone since the task started. Its keys always hold the user
    // agent, so the version that would make a default one is never used.
    fields.Source.reset();
    if (mapsType == kMapsTypeSource) {
        fields.Source = TileSource::FromKeys(project.Source(), settings::Version.Default);
    }
    const int zoom = std::clamp(project.Integer(project_keys::ZoomWhenOpening), kMinZoom, kMaxZoom);
    fields.Zoom = std::to_string(zoom);
    fields.ZoomTo.clear();
    fields.AreaFile.clear();
    fields.Buffer.clear();
    if (const std::optional<ProjectCover> cover = project.Cover()) {
        fields.ZoomTo = std::to_string(std::clamp(cover->ZoomTo, zoom, kMaxZoom));
        // The copy has any buffer applied already.
        if (!cover->Area.empty()) {
            fields.AreaFile = fields.SavePath + cover->Area;
        }
    }
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
