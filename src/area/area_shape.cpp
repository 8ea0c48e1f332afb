// ShapeOfArea: from a file's geometry to the task's canonical shape.

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <tuple>

#include "area/area_buffer.h"
#include "area/area_file.h"
#include "area/area_texts.h"
#include "area/geos_geometry.h"
#include "area/ring_area.h"
#include "geo/web_mercator.h"

namespace tessellon {

namespace {

bool PointBefore(const GeoPoint& a, const GeoPoint& b) {
    return std::tie(a.Longitude, a.Latitude) < std::tie(b.Longitude, b.Latitude);
}

bool RingBefore(const GeoRing& a, const GeoRing& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), PointBefore);
}

// The ring without repeated points, running the given way round from its
// least point; empty when fewer than three points remain.
GeoRing CanonicalRing(const GeoRing& ring, bool counterClockwise) {
    GeoRing points;
    points.reserve(ring.size());
    for (GeoPoint point : ring) {
        // -0 and 0 are one coordinate and must be one text.
        point.Longitude += 0.0;
        point.Latitude += 0.0;
        if (points.empty() || points.back() != point) {
            points.push_back(point);
        }
    }
    while (points.size() > 1 && points.front() == points.back()) {
        points.pop_back();
    }
    if (points.size() < 3) {
        return {};
    }
    if ((TwiceSignedArea(points) > 0) != counterClockwise) {
        std::reverse(points.begin(), points.end());
    }
    std::rotate(points.begin(), std::min_element(points.begin(), points.end(), PointBefore),
                points.end());
    return points;
}

GeoShape Canonical(const std::vector<GeoPolygon>& polygons) {
    GeoShape shape;
    for (const GeoPolygon& polygon : polygons) {
        GeoPolygon canonical{CanonicalRing(polygon.Outer, true), {}};
        if (canonical.Outer.empty()) {
            continue;
        }
        for (const GeoRing& hole : polygon.Holes) {
            GeoRing ring = CanonicalRing(hole, false);
            if (!ring.empty()) {
                canonical.Holes.push_back(std::move(ring));
            }
        }
        std::sort(canonical.Holes.begin(), canonical.Holes.end(), RingBefore);
        shape.Polygons.push_back(std::move(canonical));
    }
    std::sort(
        shape.Polygons.begin(), shape.Polygons.end(),
        [](const GeoPolygon& a, const GeoPolygon& b) { return RingBefore(a.Outer, b.Outer); });
    return shape;
}

PlanePolygon ToPlane(const GeoPolygon& polygon) {
    PlanePolygon rings;
    const auto add = [&rings](const GeoRing& ring) {
        PlaneRing points;
        points.reserve(ring.size());
        for (const GeoPoint& point : ring) {
            points.push_back({point.Longitude, point.Latitude});
        }
        rings.push_back(std::move(points));
    };
    add(polygon.Outer);
    for (const GeoRing& hole : polygon.Holes) {
        add(hole);
    }
    return rings;
}

GeoPolygon FromPlane(const PlanePolygon& rings) {
    GeoPolygon polygon;
    for (std::size_t i = 0; i < rings.size(); ++i) {
        GeoRing ring;
        ring.reserve(rings[i].size());
        for (const PlanePoint& point : rings[i]) {
            ring.push_back({point.X, point.Y});
        }
        if (i == 0) {
            polygon.Outer = std::move(ring);
        } else {
            polygon.Holes.push_back(std::move(ring));
        }
    }
    return polygon;
}

bool BeyondGrid(const GeoPolygon& polygon, double gridLatitude) {
    return std::any_of(polygon.Outer.begin(), polygon.Outer.end(), [&](const GeoPoint& point) {
        return std::abs(point.Latitude) > gridLatitude;
    });
}

// Each polygon valid (a ring that crosses itself is split where it does) and
// cut to the grid's latitudes: there are no tiles beyond them. Throws
// EAreaError when nothing is left.
std::vector<GeoPolygon> ValidOnGrid(const std::vector<GeoPolygon>& polygons,
                                    const std::string& fileName) {
    const double gridLatitude = MercatorYToLatitude(kHalfWorldMetres);
    const GeosContext geos;
    const GeosContext::Geometry grid =
        geos.Own(GEOSGeom_createRectangle_r(geos.Handle(), -180, -gridLatitude, 180, gridLatitude));
    std::vector<GeoPolygon> result;
    result.reserve(polygons.size());
    bool enclosesSome = false;
    for (const GeoPolygon& polygon : polygons) {
        GeosContext::Geometry valid = geos.ValidPolygons(geos.Polygon(ToPlane(polygon)));
        enclosesSome = enclosesSome || !geos.Check(GEOSisEmpty_r(geos.Handle(), valid.get()));
        if (BeyondGrid(polygon, gridLatitude)) {
            valid = geos.Own(GEOSIntersection_r(geos.Handle(), valid.get(), grid.get()));
        }
        for (const PlanePolygon& part : geos.Polygons(*valid)) {
            result.push_back(FromPlane(part));
        }
    }
    if (result.empty()) {
        throw EAreaError(enclosesSome ? AreaText::BeyondGrid(fileName)
                                      : AreaText::EnclosesNothing(fileName));
    }
    return result;
}

}  // namespace

GeoShape ShapeOfArea(const AreaGeometry& geometry, std::optional<double> bufferMetres,
                     const std::string& fileName) {
    const bool buffered = bufferMetres && *bufferMetres > 0;
    if (!geometry.Lines.empty() && !buffered) {
        throw EAreaError(bufferMetres ? AreaText::LinesNeedBufferAboveZero(fileName)
                                      : AreaText::LinesNeedBuffer(fileName));
    }
    try {
        const GeoShape shape = Canonical(ValidOnGrid(
            buffered ? BufferOnGround(geometry.Polygons, geometry.Lines, *bufferMetres, fileName)
                     : geometry.Polygons,
            fileName));
        return shape;
    } catch (const EAreaError&) {
        throw;
    } catch (const std::runtime_error& e) {
        throw EAreaError(AreaText::ShapeFailed(fileName, e.what()));
    }
}

GeoRect ShapeBounds(const GeoShape& shape) {
    GeoRect bounds;
    bool first = true;
    for (const GeoPolygon& polygon : shape.Polygons) {
        for (const GeoPoint& point : polygon.Outer) {
            if (first) {
                bounds = {point.Longitude, point.Longitude, point.Latitude, point.Latitude};
                first = false;
            }
            bounds.Left = std::min(bounds.Left, point.Longitude);
            bounds.Right = std::max(bounds.Right, point.Longitude);
            bounds.Top = std::max(bounds.Top, point.Latitude);
            bounds.Bottom = std::min(bounds.Bottom, point.Latitude);
        }
    }
    return bounds;
}

}  // namespace tessellon
