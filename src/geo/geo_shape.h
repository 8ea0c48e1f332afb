#pragma once
// An area of the earth as polygons in decimal degrees (EPSG:4326, east and
// north positive): what a shaped task covers. A shape is the union of its
// polygons; each polygon is an outer ring with holes. Rings are closed
// implicitly (the last point need not repeat the first) and may run either
// way round. Lines never reach this type: they are buffered into polygons
// first.

#include <vector>

namespace tessellon {

struct GeoPoint {
    double Longitude = 0;
    double Latitude = 0;

    bool operator==(const GeoPoint&) const = default;
};

using GeoRing = std::vector<GeoPoint>;

struct GeoPolygon {
    GeoRing Outer;
    std::vector<GeoRing> Holes;

    bool operator==(const GeoPolygon&) const = default;
};

struct GeoShape {
    std::vector<GeoPolygon> Polygons;

    bool operator==(const GeoShape&) const = default;
};

}  // namespace tessellon
