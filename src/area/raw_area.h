#pragma once
// What a reader of one file format hands on: the file's polygons and lines
// in degrees, in the file's order and as the file has them (closing points
// repeated, consecutive duplicates, points out of range), before any check.
// area_file.cpp checks and tidies them into an AreaGeometry, the same way
// whichever format they came from.

#include <vector>

#include "geo/geo_shape.h"

namespace tessellon {

struct RawPart {
    // A polygon's rings, the outer one first; or a line, as one ring.
    std::vector<std::vector<GeoPoint>> Rings;
    bool IsLine = false;

    bool operator==(const RawPart&) const = default;
};

using RawArea = std::vector<RawPart>;

}  // namespace tessellon
