// The geometry module: GEOS behind the one entry of area_geometry.h.

#include "area/area_geometry.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "area/geos_geometry.h"
#include "area/ground_buffer.h"
#include "geo/web_mercator.h"

namespace tessellon {

namespace {

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
// GeometryRefusal when nothing is left.
std::vector<GeoPolygon> ValidOnGrid(const std::vector<GeoPolygon>& polygons) {
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
        throw GeometryRefusal{enclosesSome ? GeometryFailure::BeyondGrid
                                           : GeometryFailure::EnclosesNothing};
    }
    return result;
}

}  // namespace

}  // namespace tessellon

extern "C" __attribute__((visibility("default"))) void TessellonShapeOnGrid(
    const std::vector<tessellon::GeoPolygon>* polygons,
    const std::vector<std::vector<tessellon::GeoPoint>>* lines, double bufferMetres,
    tessellon::GeometryResult* out) {
    using namespace tessellon;
    try {
        out->Polygons = ValidOnGrid(
            bufferMetres > 0 ? BufferOnGround(*polygons, *lines, bufferMetres) : *polygons);
    } catch (const GeometryRefusal& refusal) {
        out->Failure = refusal.Kind;
    } catch (const std::exception& e) {
        out->Failure = GeometryFailure::GeosFailed;
        out->Detail = e.what();
    }
}
