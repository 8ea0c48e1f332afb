#pragma once
// A small owner over GEOS's reentrant C API for the area code: one context
// per user, geometries freed with it, and a failed GEOS call turned into an
// exception with GEOS's own message. Coordinates are plain x, y pairs: the
// callers decide whether they are degrees or metres.

#include <geos_c.h>

#include <memory>
#include <string>
#include <vector>

namespace tessellon {

struct PlanePoint {
    double X = 0;
    double Y = 0;
};

// Without the closing repeat of the first point.
using PlaneRing = std::vector<PlanePoint>;
// The outer ring first, then the holes.
using PlanePolygon = std::vector<PlaneRing>;

class GeosContext {
public:
    struct Deleter {
        GEOSContextHandle_t Context = nullptr;
        void operator()(GEOSGeometry* geometry) const { GEOSGeom_destroy_r(Context, geometry); }
    };
    using Geometry = std::unique_ptr<GEOSGeometry, Deleter>;

    GeosContext();
    ~GeosContext();
    GeosContext(const GeosContext&) = delete;
    GeosContext& operator=(const GeosContext&) = delete;

    GEOSContextHandle_t Handle() const { return context_; }

    // Takes a geometry GEOS returned; throws std::runtime_error with GEOS's
    // message when it returned none.
    Geometry Own(GEOSGeometry* geometry) const;
    // Throws as Own() does when a GEOS predicate failed (returned 2).
    bool Check(char predicateResult) const;

    Geometry LineString(const std::vector<PlanePoint>& points) const;
    // Closes each ring.
    Geometry Polygon(const PlanePolygon& rings) const;
    // Takes the parts over.
    Geometry Collection(std::vector<Geometry> parts) const;

    // The geometry when it is valid, else GEOS's repair of it; either way
    // only its polygonal parts, as one collection.
    Geometry ValidPolygons(Geometry geometry) const;
    // The polygons of a polygonal geometry or collection; other parts are
    // left out.
    std::vector<PlanePolygon> Polygons(const GEOSGeometry& geometry) const;

private:
    [[noreturn]] void Fail() const;
    Geometry CopyPolygons(const GEOSGeometry& geometry) const;

    GEOSContextHandle_t context_;
    std::string lastError_;
};

}  // namespace tessellon
