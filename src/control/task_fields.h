#pragma once
// The texts of the main window's task fields, as a front end hands them to the
// download control and as opening a project fills them.

#include <optional>
#include <string>

#include "task/tile_cover.h"
#include "task/tile_layer.h"

namespace tessellon {

struct TaskFields {
    std::string TaskName = "newtask.tsln";  // EditTaskName
    int MapsTypeItem = kSatelliteItem;      // radio_mapstype, a TileLayer's WindowItem
    std::string LeftLongitude;              // Edit1
    std::string RightLongitude;             // Edit3
    std::string TopLatitude;                // Edit2
    std::string BottomLatitude;             // Edit4
    std::string Zoom = "13";                // Edit5, driven by its up-down control
    // The highest zoom; empty (or the same as Zoom) for a task of one zoom.
    std::string ZoomTo;
    std::string SavePath;  // Edit6
    // A shaped task: the file of its area (empty for the rectangle of the
    // four bounds) and the buffer around it ("2km", "500m"; empty for none).
    std::string AreaFile;
    std::string Buffer;
    // When set, the task downloads from this source and MapsTypeItem is
    // not read.
    std::optional<TileSource> Source;
};

}  // namespace tessellon
