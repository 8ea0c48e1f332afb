#pragma once
// The sample area: 116.3..116.5 east, 39.8..40.0 north, zoom 13, map layer
// (42 tiles: columns 6742..6747, rows 3101..3107), saved into `folder`, as
// the main window's fields and as a task's parameters.

#include <string>

#include "area/area_copy.h"
#include "area/area_file.h"
#include "control/task_fields.h"
#include "geo/tile_math.h"
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

// Makes `params` a task of zooms 13..zoomTo over a triangle in the sample
// area's first tiles: its west side runs down column 6742, its north side
// along row 3101, its third side leaves tile (6743, 3103) out at zoom 13. At
// zoom 13 it covers 5 tiles of columns 6742..6743 and rows 3101..3103; at
// zoom 14, 12 of columns 13485..13487 and rows 6202..6207.
inline void MakeSampleTriangle(TaskParameters& params, int zoomTo) {
    const auto at = [](double x, double y) {
        return GeoPoint{TileXToLongitude(x, 13), TileYToLatitude(y, 13)};
    };
    GeoShape triangle{{{{at(6742.6, 3101.3), at(6742.6, 3103.7), at(6743.7, 3101.3)}, {}}}};
    const GeoRect bounds = ShapeBounds(triangle);
    params.LeftLongitude = bounds.Left;
    params.RightLongitude = bounds.Right;
    params.TopLatitude = bounds.Top;
    params.BottomLatitude = bounds.Bottom;
    params.Zoom = 13;
    params.ZoomTo = zoomTo;
    const std::string copy = AreaCopyText(triangle);
    params.Shape = TaskShape{std::move(triangle), copy, 0};
}

}  // namespace tessellon::test
