#pragma once
// The task's copy of its area, NAME_area.geojson beside the project: what
// the task, its outputs and the viewer use once the task has started, so the
// user's own file is never needed again. A GeoJSON FeatureCollection with one
// MultiPolygon feature in EPSG:4326, each number in the shortest text that
// reads back as the same double. The bytes follow from the shape alone, so
// two copies of one shape are equal byte for byte: comparing them tells
// whether two starts name the same area.

#include <string>

#include "geo/geo_shape.h"

namespace tessellon {

// The copy's bytes. Rings are closed as GeoJSON wants them, outer rings
// counter-clockwise and holes clockwise as RFC 7946 has them; a shape from
// ShapeOfArea already runs that way, so it reads back equal.
std::string AreaCopyText(const GeoShape& shape);

// Writes the copy atomically: the file at `path` is the old one or the new
// one, never a part. Throws EFileError when it cannot be written.
void WriteAreaCopy(const std::string& path, const GeoShape& shape);

// Reads a copy (or any GeoJSON of polygons) back as it is. Throws EAreaError
// naming the file when it cannot be read or holds anything but polygons.
GeoShape ReadAreaCopy(const std::string& path);

}  // namespace tessellon
