#include "area/geos_geometry.h"

#include <stdexcept>

namespace tessellon {

namespace {

void KeepMessage(const char* message, void* userData) {
    *static_cast<std::string*>(userData) = message;
}

GEOSCoordSequence* Sequence(GEOSContextHandle_t context, const std::vector<PlanePoint>& points,
                            bool close) {
    std::vector<double> xy;
    xy.reserve(2 * points.size() + 2);
    for (const PlanePoint& point : points) {
        xy.push_back(point.X);
        xy.push_back(point.Y);
    }
    if (close && !points.empty()) {
        xy.push_back(points.front().X);
        xy.push_back(points.front().Y);
    }
    return GEOSCoordSeq_copyFromBuffer_r(context, xy.data(), xy.size() / 2, 0, 0);
}

void AppendPolygonParts(GEOSContextHandle_t context, const GEOSGeometry& geometry,
                        std::vector<const GEOSGeometry*>& parts) {
    switch (GEOSGeomTypeId_r(context, &geometry)) {
        case GEOS_POLYGON:
            if (!GEOSisEmpty_r(context, &geometry)) {
                parts.push_back(&geometry);
            }
            break;
        case GEOS_MULTIPOLYGON:
        case GEOS_GEOMETRYCOLLECTION:
            for (int i = 0, n = GEOSGetNumGeometries_r(context, &geometry); i < n; ++i) {
                AppendPolygonParts(context, *GEOSGetGeometryN_r(context, &geometry, i), parts);
            }
            break;
        default:
            break;
    }
}

}  // namespace

GeosContext::GeosContext() : context_(GEOS_init_r()) {
    GEOSContext_setErrorMessageHandler_r(context_, &KeepMessage, &lastError_);
}

GeosContext::~GeosContext() {
    GEOS_finish_r(context_);
}

void GeosContext::Fail() const {
    throw std::runtime_error("GEOS: " + (lastError_.empty() ? "unknown failure" : lastError_));
}

GeosContext::Geometry GeosContext::Own(GEOSGeometry* geometry) const {
    if (geometry == nullptr) {
        Fail();
    }
    return Geometry(geometry, Deleter{context_});
}

bool GeosContext::Check(char predicateResult) const {
    if (predicateResult == 2) {
        Fail();
    }
    return predicateResult == 1;
}

GeosContext::Geometry GeosContext::LineString(const std::vector<PlanePoint>& points) const {
    GEOSCoordSequence* sequence = Sequence(context_, points, false);
    if (sequence == nullptr) {
        Fail();
    }
    return Own(GEOSGeom_createLineString_r(context_, sequence));
}

GeosContext::Geometry GeosContext::Polygon(const PlanePolygon& rings) const {
    std::vector<Geometry> owned;
    for (const PlaneRing& ring : rings) {
        GEOSCoordSequence* sequence = Sequence(context_, ring, true);
        if (sequence == nullptr) {
            Fail();
        }
        owned.push_back(Own(GEOSGeom_createLinearRing_r(context_, sequence)));
    }
    if (owned.empty()) {
        return Own(GEOSGeom_createEmptyPolygon_r(context_));
    }
    std::vector<GEOSGeometry*> holes;
    for (std::size_t i = 1; i < owned.size(); ++i) {
        holes.push_back(owned[i].release());
    }
    // GEOS takes the rings over even when it fails.
    return Own(GEOSGeom_createPolygon_r(context_, owned.front().release(), holes.data(),
                                        static_cast<unsigned>(holes.size())));
}

GeosContext::Geometry GeosContext::Collection(std::vector<Geometry> parts) const {
    std::vector<GEOSGeometry*> raw;
    raw.reserve(parts.size());
    for (Geometry& part : parts) {
        raw.push_back(part.release());
    }
    return Own(GEOSGeom_createCollection_r(context_, GEOS_GEOMETRYCOLLECTION, raw.data(),
                                           static_cast<unsigned>(raw.size())));
}

GeosContext::Geometry GeosContext::CopyPolygons(const GEOSGeometry& geometry) const {
    std::vector<const GEOSGeometry*> parts;
    AppendPolygonParts(context_, geometry, parts);
    std::vector<Geometry> copies;
    copies.reserve(parts.size());
    for (const GEOSGeometry* part : parts) {
        copies.push_back(Own(GEOSGeom_clone_r(context_, part)));
    }
    return Collection(std::move(copies));
}

GeosContext::Geometry GeosContext::ValidPolygons(Geometry geometry) const {
    if (!Check(GEOSisValid_r(context_, geometry.get()))) {
        geometry = Own(GEOSMakeValid_r(context_, geometry.get()));
    }
    return CopyPolygons(*geometry);
}

std::vector<PlanePolygon> GeosContext::Polygons(const GEOSGeometry& geometry) const {
    std::vector<const GEOSGeometry*> parts;
    AppendPolygonParts(context_, geometry, parts);
    const auto ringPoints = [this](const GEOSGeometry* ring) {
        const GEOSCoordSequence* sequence = GEOSGeom_getCoordSeq_r(context_, ring);
        unsigned size = 0;
        if (sequence == nullptr || GEOSCoordSeq_getSize_r(context_, sequence, &size) == 0) {
            Fail();
        }
        std::vector<double> xy(2 * static_cast<std::size_t>(size));
        if (size > 0 && GEOSCoordSeq_copyToBuffer_r(context_, sequence, xy.data(), 0, 0) == 0) {
            Fail();
        }
        PlaneRing points;
        // The last point repeats the first.
        points.reserve(size > 0 ? size - 1 : 0);
        for (unsigned i = 0; i + 1 < size; ++i) {
            points.push_back({xy[2 * i], xy[2 * i + 1]});
        }
        return points;
    };
    std::vector<PlanePolygon> polygons;
    polygons.reserve(parts.size());
    for (const GEOSGeometry* part : parts) {
        PlanePolygon polygon;
        polygon.push_back(ringPoints(GEOSGetExteriorRing_r(context_, part)));
        for (int i = 0, n = GEOSGetNumInteriorRings_r(context_, part); i < n; ++i) {
            polygon.push_back(ringPoints(GEOSGetInteriorRingN_r(context_, part, i)));
        }
        polygons.push_back(std::move(polygon));
    }
    return polygons;
}

}  // namespace tessellon
