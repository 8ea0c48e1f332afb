#pragma once
// Shapes made valid, buffered on the ground and cut to the tile grid through
// GEOS, in a module of their own: binding GEOS's C++ library costs every
// start of a program that links it about 4 ms, longer than a small download
// takes to fetch its first tiles, while only tasks drawn from an area file
// need it. The module is loaded the first time a shape is made. Nothing
// crosses its edge but the plain types below; a failure comes back as a kind
// and GEOS's own words, never as an exception.

#include <string>
#include <vector>

#include "geo/geo_shape.h"

namespace tessellon {

enum class GeometryFailure {
    None,
    BufferCrossesAntimeridian,
    // Every polygon lies beyond the tile grid's latitudes.
    BeyondGrid,
    // No polygon encloses any area.
    EnclosesNothing,
    // GEOS failed; Detail holds its message.
    GeosFailed,
};

struct GeometryResult {
    std::vector<GeoPolygon> Polygons;
    GeometryFailure Failure = GeometryFailure::None;
    std::string Detail;
};

// The module's one entry, and its file name beside the program.
inline constexpr const char* kAreaGeometryEntry = "TessellonShapeOnGrid";
inline constexpr const char* kAreaGeometryModule = "tessellon-area-geometry.so";

// The polygons, and with `bufferMetres` above 0 everything within that
// distance on the ground of them and of the lines, made valid and cut to the
// grid's latitudes, in degrees.
using ShapeOnGrid = void (*)(const std::vector<GeoPolygon>* polygons,
                             const std::vector<std::vector<GeoPoint>>* lines, double bufferMetres,
                             GeometryResult* out);

}  // namespace tessellon
