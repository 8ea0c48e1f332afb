#pragma once
// The main window's fields for the sample area: 116.3..116.5 east,
// 39.8..40.0 north, zoom 13, map layer (42 tiles), saved into `folder`.

#include <string>

#include "control/task_fields.h"

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

}  // namespace tessellon::test
