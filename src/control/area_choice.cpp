#include "control/area_choice.h"

#include <algorithm>
#include <cmath>

#include "area/area_copy.h"
#include "area/area_file.h"
#include "area/ring_area.h"
#include "control/start_checks.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "task/md_task.h"

namespace tessellon {

namespace {

constexpr const char* kDrawnSuffix = "_drawn.geojson";

}  // namespace

std::string DrawnAreaFileName(const TaskFields& fields) {
    const std::string name = ExtractFileName(CompleteTaskName(fields.TaskName));
    const std::string folder = fields.SavePath.empty()
                                   ? UserConfigFolder() + "tessellon/"
                                   : IncludeTrailingSeparator(AbsolutePath(fields.SavePath));
    return folder + RemoveFileExt(name) + kDrawnSuffix;
}

std::optional<std::string> WriteDrawnArea(const std::vector<GeoPoint>& corners,
                                          const std::string& path) {
    GeoRing ring;
    for (const GeoPoint& corner : corners) {
        if (ring.empty() || !(ring.back() == corner)) {
            ring.push_back(corner);
        }
    }
    // The ring closes by itself; a last click on the first corner adds none.
    while (ring.size() > 1 && ring.back() == ring.front()) {
        ring.pop_back();
    }
    if (ring.size() < 3) {
        return "Click at least three corners to draw an area.";
    }
    const double twiceArea = TwiceSignedArea(ring);
    if (std::abs(twiceArea) < 1e-18) {
        return "The corners lie on one line: they enclose no area.";
    }
    if (twiceArea < 0) {
        std::reverse(ring.begin(), ring.end());
    }
    const std::string folder = ExtractFilePath(path);
    if (!folder.empty() && !CreateDirectories(folder)) {
        return "Cannot create the folder " + folder + ".";
    }
    try {
        WriteAreaCopy(path, GeoShape{{GeoPolygon{std::move(ring), {}}}});
        // What a start will read of it, so that a drawing it would refuse
        // is refused now.
        ReadAreaShape(path, std::nullopt);
    } catch (const EFileError& e) {
        return e.what();
    } catch (const EAreaError& e) {
        RemoveFile(path);
        return e.what();
    }
    return std::nullopt;
}

std::optional<ShownArea> ShowFieldsArea(const TaskFields& fields, int zoom, std::string& problem) {
    problem.clear();
    if (zoom < kMinZoom || zoom > kMaxZoom) {
        return std::nullopt;
    }
    TaskParameters params;
    params.Zoom = zoom;
    params.ZoomTo = zoom;
    if (std::optional<std::string> refusal = ReadArea(fields, params)) {
        if (!fields.AreaFile.empty()) {
            problem = std::move(*refusal);
        }
        return std::nullopt;
    }
    ShownArea shown;
    shown.Tiles = CoverOfTask(params);
    shown.Bounds = {params.LeftLongitude, params.RightLongitude, params.TopLatitude,
                    params.BottomLatitude};
    if (params.Shape) {
        shown.Shape = std::move(params.Shape->Area);
    }
    return shown;
}

std::optional<std::string> CheckAreaChoice(bool shapeChosen, const TaskFields& fields) {
    if (shapeChosen && fields.AreaFile.empty()) {
        return "Please choose the area file, or draw the area on the map.";
    }
    return std::nullopt;
}

int ZoomToAfter(int from, int newFrom, int to) {
    return to == from ? newFrom : std::max(to, newFrom);
}

std::string ZoomToText(int from, int to) {
    return to == from ? std::string() : std::to_string(to);
}

}  // namespace tessellon
