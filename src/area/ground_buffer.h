#pragma once
// Buffers measured on the ground: the area within a distance of polygons and
// lines on the sphere of the web Mercator projection (radius
// kEarthRadiusMetres), with an error under 1% of the distance at any latitude
// of the tile grid. Part of the geometry module (area_geometry.h).
//
// Segments and polygon edges are straight on the tile grid (in Mercator
// metres), as the tile cover draws them; the result's edges are too.

#include <vector>

#include "area/area_geometry.h"
#include "geo/geo_shape.h"

namespace tessellon {

// What the module refuses to make, thrown inside it and handed over as a
// GeometryResult's Failure.
struct GeometryRefusal {
    GeometryFailure Kind;
};

// Everything within `metres` (above 0) on the ground of the polygons (their
// insides included) and the lines, as polygons in degrees, not yet cut to the
// grid. Throws GeometryRefusal when the buffer reaches across the
// antimeridian or around a pole.
std::vector<GeoPolygon> BufferOnGround(const std::vector<GeoPolygon>& polygons,
                                       const std::vector<std::vector<GeoPoint>>& lines,
                                       double metres);

}  // namespace tessellon
