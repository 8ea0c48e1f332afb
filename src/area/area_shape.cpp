// ShapeOfArea: from a file's geometry to the task's canonical shape.

#include <algorithm>
#include <tuple>

#include "area/area_file.h"
#include "area/area_geometry.h"
#include "area/area_texts.h"
#include "area/ring_area.h"
#include "platform/files.h"
#include "platform/shared_module.h"

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

}  // namespace

GeoShape ShapeOfArea(const AreaGeometry& geometry, std::optional<double> bufferMetres,
                     const std::string& fileName) {
    const bool buffered = bufferMetres && *bufferMetres > 0;
    if (!geometry.Lines.empty() && !buffered) {
        throw EAreaError(bufferMetres ? AreaText::LinesNeedBufferAboveZero(fileName)
                                      : AreaText::LinesNeedBuffer(fileName));
    }
    ShapeOnGrid shapeOnGrid = nullptr;
    try {
        shapeOnGrid = reinterpret_cast<ShapeOnGrid>(
            ModuleFunction(ProgramFolder() + kAreaGeometryModule, kAreaGeometryEntry));
    } catch (const EModuleError& e) {
        throw EAreaError(AreaText::ShapeFailed(fileName, e.what()));
    }
    GeometryResult result;
    shapeOnGrid(&geometry.Polygons, &geometry.Lines, buffered ? *bufferMetres : 0.0, &result);
    switch (result.Failure) {
        case GeometryFailure::None:
            return Canonical(result.Polygons);
        case GeometryFailure::BufferCrossesAntimeridian:
            throw EAreaError(AreaText::BufferCrossesAntimeridian(fileName, *bufferMetres));
        case GeometryFailure::BeyondGrid:
            throw EAreaError(AreaText::BeyondGrid(fileName));
        case GeometryFailure::EnclosesNothing:
            throw EAreaError(AreaText::EnclosesNothing(fileName));
        case GeometryFailure::GeosFailed:
            break;
    }
    throw EAreaError(AreaText::ShapeFailed(fileName, result.Detail));
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
