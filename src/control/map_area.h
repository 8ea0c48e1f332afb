#pragma once
// The task's area as the map window draws it: the four coordinate fields
// read as a rectangle and written back from one, a place typed into "Go to",
// and the figures shown under the map, which are those the question before a
// huge task gives.

#include <optional>
#include <string>

#include "control/start_checks.h"
#include "control/task_fields.h"
#include "geo/geo_shape.h"
#include "geo/tile_math.h"

namespace tessellon {

// The rectangle the fields hold, read as a start reads them; nothing while a
// field holds no number or the rectangle is one a start refuses (a bound
// out of range, left east of right, top south of bottom).
std::optional<GeoRect> AreaOfFields(const TaskFields& fields);

// Writes `area` into the four fields in the general number format, each bound
// rounded to 6 decimals (a tenth of a metre) and held to the range a start
// takes, so that a rectangle drawn anywhere gives fields that start.
void WriteAreaToFields(const GeoRect& area, TaskFields& fields);

// "lat, lon" in decimal degrees ("39.9, 116.4") or in degrees, minutes and
// seconds read by the converter's rules, each with an optional hemisphere
// letter ("39 54 26 N, 116 23 29 E"; S and W are south and west). Nothing for
// anything else or a point off the map.
std::optional<GeoPoint> ParseGoTo(const std::string& text);

// A task of the fields' area, zoom and service; nothing while the area or the
// zoom is not one a start takes.
std::optional<TaskEstimate> EstimateFieldsTask(const TaskFields& fields);

// "42 tiles, under a minute at the service's pace, about 630 KiB on disk";
// from a minute on "about 2 minutes", "about 1 hour 5 minutes" and so on.
std::string EstimateText(const TaskEstimate& estimate);

}  // namespace tessellon
