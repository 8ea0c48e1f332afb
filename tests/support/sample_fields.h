#pragma once
// The sample area: 116.3..116.5 east, 39.8..40.0 north, zoom 13, map layer
// (42 tiles: columns 6742..6747, rows 3101..3107), saved into `folder`, as
// the main window's fields and as a task's parameters.

#include <string>

#include "control/task_fields.h"
#include "task/task_parameters.h"

namespace tessellon::test {

inline TaskFields SampleTaskFields(const std::string& folder) {
    TaskFields fields;
    fields.TaskName = "newtask.tsln";
    fields.MapsTypeItem = kMapItem;
    fields.LeftLongitude = "116.3";
    fields.RightLongitude = "116.5";
    fields.TopLatitude = "40";
    fields.BottomLatitude = "39.8";
    fields.Zoom = "13";
    fields.SavePath = folder;
    return fields;
}

inline TaskParameters SampleTaskParameters(const std::string& folder,
                                           const std::string& taskName = "newtask.tsln") {
    TaskParameters params;
    params.LeftLongitude = 116.3;
    params.RightLongitude = 116.5;
    params.TopLatitude = 40.0;
    params.BottomLatitude = 39.8;
    params.Zoom = 13;
    params.MapsType = kMapsTypeMap;
    params.SavePath = folder;
    params.TaskName = taskName;
    return params;
}

}  // namespace tessellon::test
