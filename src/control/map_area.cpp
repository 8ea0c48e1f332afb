#include "control/map_area.h"

#include <algorithm>
#include <cmath>

#include "geo/coordinate_text.h"
#include "platform/numbers.h"
#include "platform/text_format.h"
#include "task/md_task.h"

namespace tessellon {

namespace {

// The ranges a start takes.
constexpr double kMaxLongitude = 180;
constexpr double kMaxLatitude = 85;

std::string BoundText(double value, double limit) {
    const double rounded = std::round(std::clamp(value, -limit, limit) * 1e6) / 1e6;
    // Rounding may leave -0, which would read "-0".
    return FormatGeneral(rounded == 0 ? 0.0 : rounded);
}

}  // namespace

std::optional<GeoRect> AreaOfFields(const TaskFields& fields) {
    const GeoRect area{ReadCoordinate(fields.LeftLongitude, CoordinateAxis::Longitude),
                       ReadCoordinate(fields.RightLongitude, CoordinateAxis::Longitude),
                       ReadCoordinate(fields.TopLatitude, CoordinateAxis::Latitude),
                       ReadCoordinate(fields.BottomLatitude, CoordinateAxis::Latitude)};
    TaskParameters bounds;
    bounds.LeftLongitude = area.Left;
    bounds.RightLongitude = area.Right;
    bounds.TopLatitude = area.Top;
    bounds.BottomLatitude = area.Bottom;
    if (CheckBounds(bounds)) {
        return std::nullopt;
    }
    return area;
}

void WriteAreaToFields(const GeoRect& area, TaskFields& fields) {
    fields.LeftLongitude = BoundText(std::min(area.Left, area.Right), kMaxLongitude);
    fields.RightLongitude = BoundText(std::max(area.Left, area.Right), kMaxLongitude);
    fields.TopLatitude = BoundText(std::max(area.Top, area.Bottom), kMaxLatitude);
    fields.BottomLatitude = BoundText(std::min(area.Top, area.Bottom), kMaxLatitude);
}

std::optional<GeoPoint> ParseGoTo(const std::string& text) {
    const std::size_t comma = text.find(',');
    if (comma == std::string::npos || text.find(',', comma + 1) != std::string::npos) {
        return std::nullopt;
    }
    const auto latitude =
        ParseCoordinate(std::string_view(text).substr(0, comma), CoordinateAxis::Latitude);
    const auto longitude =
        ParseCoordinate(std::string_view(text).substr(comma + 1), CoordinateAxis::Longitude);
    if (!latitude || !longitude || std::abs(*latitude) > kMaxLatitude ||
        std::abs(*longitude) > kMaxLongitude) {
        return std::nullopt;
    }
    return GeoPoint{*longitude, *latitude};
}

std::optional<TaskEstimate> EstimateFieldsTask(const TaskFields& fields) {
    TaskParameters params;
    if (ReadZooms(fields, params) || ReadArea(fields, params)) {
        return std::nullopt;
    }
    return EstimateTask(CoverOfTask(params).Count(), WorkersOf(fields.Source),
                        PauseAfterTile(fields.Source));
}

std::string EstimateText(const TaskEstimate& estimate) {
    // Below a minute the pauses say little: the fetches themselves take
    // their share, and "about 0 seconds" would promise what no run keeps.
    const std::string duration = estimate.Duration < std::chrono::minutes(1)
                                     ? "under a minute"
                                     : "about " + DurationText(estimate.Duration);
    return std::to_string(estimate.Tiles) + (estimate.Tiles == 1 ? " tile" : " tiles") + ", " +
           duration + " at the service's pace, about " + SizeText(estimate.Kibibytes) + " on disk";
}

}  // namespace tessellon
