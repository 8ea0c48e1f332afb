#pragma once
// The parameters of one download task, filled by the download start from the
// main window's fields and the configuration. The task reads them and never
// changes them.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

#include "geo/geo_shape.h"
#include "task/tile_source.h"

namespace tessellon {

inline constexpr std::int32_t kMapsTypeMap = 3;
inline constexpr std::int32_t kMapsTypeSatellite = 4;
// A task that downloads from a tile source rather than a built-in layer.
inline constexpr std::int32_t kMapsTypeSource = 5;
inline constexpr std::int32_t kThreadSlots = 8;

// The area of a shaped task: its polygons, any buffer applied, and the text
// of the copy the task keeps beside its project.
struct TaskShape {
    GeoShape Area;
    std::string CopyText;
    // The buffer that was applied, in metres on the ground.
    double BufferMetres = 0;
};

struct TaskParameters {
    double LeftLongitude = 0;
    double RightLongitude = 0;
    double TopLatitude = 0;
    double BottomLatitude = 0;
    // The lowest zoom of the task, and its highest (0 when it has one zoom).
    std::int32_t Zoom = 0;
    std::int32_t ZoomTo = 0;
    // Set for a shaped task; its bounding rectangle is then in the four
    // bounds above.
    std::optional<TaskShape> Shape;
    // Number of workers; lowered to the number of tiles when that is smaller.
    std::int32_t ThreadCount = kThreadSlots;
    // Worker slots kept in the project file.
    std::int32_t ThreadSlots = kThreadSlots;
    std::int32_t MapsType = kMapsTypeSatellite;
    // Folder of all the task's files, ending in "/".
    std::string SavePath;
    // File name of the project file, with its ".tsln" extension.
    std::string TaskName;
    bool UseProxy = false;
    std::string ProxyServer;
    std::string ProxyPort;
    std::string ProxyUsername;
    std::string ProxyPassword;
    // Host (or host:port) of the map and of the satellite tile server.
    std::string MapHost;
    std::string SatelliteHost;
    // Set for a task of MapsType kMapsTypeSource: its tiles, their files and
    // the workers' manners come from it, and the hosts above are not used.
    std::optional<TileSource> Source;
    // This start continues an earlier run of the same task.
    bool ContinueTask = false;

    std::int32_t LastZoom() const { return std::max(Zoom, ZoomTo); }
};

}  // namespace tessellon
