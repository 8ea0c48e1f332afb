#pragma once
// Area files: what a user names as the area of a shaped task (GeoJSON, KML,
// KMZ, GPX, and GeoPackage or Shapefile besides), read through GDAL's OGR into
// polygons and lines in degrees, and made into the task's GeoShape with an
// optional buffer measured on the ground. Every refusal is an EAreaError whose
// message names the file and the reason; the messages are shown to users as
// they are.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "geo/geo_shape.h"
#include "geo/tile_math.h"

namespace tessellon {

class EAreaError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// How large an area file may be. A real one is far below both; a wrong or
// hostile one stops here before it fills the memory or keeps the buffer busy
// for minutes.
struct AreaLimits {
    // The file, or the KML document inside a KMZ archive.
    std::uint64_t FileBytes = 64 * 1024 * 1024;
    // The points of all the polygons and lines together.
    std::size_t Points = 5'000'000;
};

// A file's polygons and lines in degrees (EPSG:4326), as the file has them:
// transformed from the file's own coordinate system where it declares
// another, points left out (waypoints, placemarks: a point has no area).
// Every ring and line lies within longitudes -180..180 without crossing the
// antimeridian and within latitudes -90..90; a ring has three distinct points
// at least, without the closing repeat; a line two.
struct AreaGeometry {
    std::vector<GeoPolygon> Polygons;
    std::vector<std::vector<GeoPoint>> Lines;
};

// Throws EAreaError when the file cannot be read, is larger than `limits`,
// has no polygon or line, or crosses the antimeridian.
AreaGeometry ReadAreaGeometry(const std::string& path, const AreaLimits& limits = {});

// The task's area from a file's geometry: its polygons, and with a buffer
// everything within `bufferMetres` of its polygons and lines on the ground
// (see area_buffer.h), cut to the tile grid's latitudes. Lines need a buffer
// above 0. The result is canonical, so the same geometry and buffer always
// give the same shape: outer rings counter-clockwise and holes clockwise,
// each starting at its least point, and the polygons and holes in order.
// Throws EAreaError, naming `fileName`, for lines without a buffer and for an
// area that lies wholly beyond the grid or that the buffer takes across the
// antimeridian.
GeoShape ShapeOfArea(const AreaGeometry& geometry, std::optional<double> bufferMetres,
                     const std::string& fileName);

// ReadAreaGeometry and ShapeOfArea in one.
GeoShape ReadAreaShape(const std::string& path, std::optional<double> bufferMetres);

// The least rectangle that holds the shape; all zero for an empty shape.
GeoRect ShapeBounds(const GeoShape& shape);

}  // namespace tessellon
