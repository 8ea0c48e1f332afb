#include "control/project_opening.h"

#include <algorithm>

#include "platform/files.h"
#include "platform/ini_file.h"
#include "platform/paths.h"
#include "task/contract_texts.h"
#include "task/md_task.h"

namespace tessellon {

void LoadProjectIntoFields(const std::string& projectPath, TaskFields& fields) {
    const IniFile project(projectPath);
    fields.LeftLongitude = project.ReadString("AREA", "LeftLongitude", "");
    fields.RightLongitude = project.ReadString("AREA", "RightLongitude", "");
    fields.TopLatitude = project.ReadString("AREA", "TopLatitude", "");
    fields.BottomLatitude = project.ReadString("AREA", "BottomLatitude", "");
    fields.SavePath = ExtractFilePath(projectPath);
    fields.TaskName = ExtractFileName(projectPath);
    switch (project.ReadInteger("MapsType", "MapsType", 0)) {
        case kMapsTypeMap:
            fields.MapsTypeItem = kMapItem;
            break;
        case kMapsTypeSatellite:
            fields.MapsTypeItem = kSatelliteItem;
            break;
        default:
            break;
    }
    const int zoom = std::clamp(project.ReadInteger("Zoom", "Zoom", 0), kMinZoom, kMaxZoom);
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
