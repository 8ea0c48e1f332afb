#include "area/ground_buffer.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "area/geos_geometry.h"
#include "geo/web_mercator.h"

namespace tessellon {

namespace {

constexpr double kRadians = std::numbers::pi / 180.0;

// The buffer's error on the ground, as fractions of its distance r, and
// where each part of it comes from (the tests measure it, at most 0.43%):
// - the round joins and caps are 16 chords per quarter circle, at most
//   0.12% inside the circle;
// - edges are cut short enough that a straight edge on the grid and a
//   straight edge in the local plane part by less than kBendTolerance;
// - each piece of a line is buffered in a local azimuthal equidistant plane
//   about its middle, which measures distances up to (L^2 + r^2) / (6 R^2)
//   too long for a piece of half-length L: 0.07% for L = 400 km and a small
//   buffer, 0.48% for the largest; that only pulls the outline inward;
// - the line is simplified before buffering by what the budget of 0.85%
//   leaves of the above, 0.35% at most: a GPS track's jitter of a few
//   metres would otherwise make GEOS's offset curves cross each other
//   thousands of times, and the buffer take seconds. GEOS leaves out bends
//   of its own only where that moves the outline inward.
constexpr int kQuadrantSegments = 16;
constexpr double kBendTolerance = 0.0005;
constexpr double kErrorBudget = 0.0085;
constexpr double kChordError = 0.0012;
constexpr double kMostSimplified = 0.0035;
constexpr double kPieceHalfLength = 400'000;
// Long edges are cut at least this often even where they are straight in
// every plane.
constexpr double kLongestStep = 100'000;
// Near the poles the grid's metres grow without bound; the parts there are
// cut off later, and this keeps their coordinates finite meanwhile.
constexpr double kFarthestLatitude = 89.9999;

double GroundDistance(const GeoPoint& a, const GeoPoint& b) {
    const double sinLatitude = std::sin((b.Latitude - a.Latitude) * kRadians / 2);
    const double sinLongitude = std::sin((b.Longitude - a.Longitude) * kRadians / 2);
    const double h = sinLatitude * sinLatitude + std::cos(a.Latitude * kRadians) *
                                                     std::cos(b.Latitude * kRadians) *
                                                     sinLongitude * sinLongitude;
    return 2 * kEarthRadiusMetres * std::asin(std::min(1.0, std::sqrt(h)));
}

// How long an edge may be at `latitude` for a buffer of `metres`: a line
// straight on the grid bends, against a straight line in any local plane,
// with a curvature of at most (tan(latitude) + 0.2) / R, so its middle lies
// s^2 * curvature / 8 off the other's.
double BendStep(double metres, double latitude) {
    const double gridLatitude = MercatorYToLatitude(kHalfWorldMetres);
    const double slope = std::tan(std::min(std::abs(latitude), gridLatitude) * kRadians) + 0.2;
    return std::min(kLongestStep,
                    std::sqrt(8 * kBendTolerance * metres * kEarthRadiusMetres / slope));
}

// How far the line may move when it is simplified before buffering, in
// metres.
double SimplifyTolerance(double metres) {
    const double planeError = (kPieceHalfLength * kPieceHalfLength + metres * metres) /
                              (6 * kEarthRadiusMetres * kEarthRadiusMetres);
    return metres *
           std::min(kMostSimplified, kErrorBudget - kChordError - kBendTolerance - planeError);
}

PlanePoint ToGrid(const GeoPoint& point) {
    return {LongitudeToMercatorX(point.Longitude),
            LatitudeToMercatorY(std::clamp(point.Latitude, -kFarthestLatitude, kFarthestLatitude))};
}

GeoPoint FromGrid(const PlanePoint& point) {
    return {MercatorXToLongitude(point.X), MercatorYToLatitude(point.Y)};
}

// The azimuthal equidistant projection of the sphere about a centre:
// distances and directions from the centre are true, others grow slowly with
// the distance from it.
class LocalPlane {
public:
    explicit LocalPlane(const GeoPoint& centre)
        : longitude_(centre.Longitude),
          latitude_(centre.Latitude * kRadians),
          sinLatitude_(std::sin(latitude_)),
          cosLatitude_(std::cos(latitude_)) {}

    PlanePoint Forward(const GeoPoint& point) const {
        const double latitude = point.Latitude * kRadians;
        const double longitude = (point.Longitude - longitude_) * kRadians;
        const double sinHalfLatitude = std::sin((latitude - latitude_) / 2);
        const double sinHalfLongitude = std::sin(longitude / 2);
        const double h = sinHalfLatitude * sinHalfLatitude +
                         cosLatitude_ * std::cos(latitude) * sinHalfLongitude * sinHalfLongitude;
        const double distance = 2 * kEarthRadiusMetres * std::asin(std::min(1.0, std::sqrt(h)));
        const double azimuth =
            std::atan2(std::sin(longitude) * std::cos(latitude),
                       cosLatitude_ * std::sin(latitude) -
                           sinLatitude_ * std::cos(latitude) * std::cos(longitude));
        return {distance * std::sin(azimuth), distance * std::cos(azimuth)};
    }

    // The longitude is the centre's plus at most half a turn, so it may lie
    // beyond 180 degrees: the caller tells such points.
    GeoPoint Inverse(const PlanePoint& point) const {
        const double angle = std::hypot(point.X, point.Y) / kEarthRadiusMetres;
        const double azimuth = std::atan2(point.X, point.Y);
        const double sinLatitude =
            sinLatitude_ * std::cos(angle) + cosLatitude_ * std::sin(angle) * std::cos(azimuth);
        const double longitude = std::atan2(std::sin(azimuth) * std::sin(angle) * cosLatitude_,
                                            std::cos(angle) - sinLatitude_ * sinLatitude);
        return {longitude_ + longitude / kRadians,
                std::asin(std::clamp(sinLatitude, -1.0, 1.0)) / kRadians};
    }

private:
    double longitude_;
    // In radians.
    double latitude_;
    double sinLatitude_;
    double cosLatitude_;
};

// The path with its long segments cut into pieces along the grid, so that
// they keep their shape in any local plane.
std::vector<GeoPoint> CutAlongGrid(const std::vector<GeoPoint>& path, double metres) {
    std::vector<GeoPoint> cut;
    cut.reserve(path.size());
    cut.push_back(path.front());
    for (std::size_t i = 1; i < path.size(); ++i) {
        const GeoPoint& a = path[i - 1];
        const GeoPoint& b = path[i];
        const double step = BendStep(metres, std::max(std::abs(a.Latitude), std::abs(b.Latitude)));
        const double parts = std::ceil(GroundDistance(a, b) / step);
        if (parts > 1) {
            const PlanePoint from = ToGrid(a);
            const PlanePoint to = ToGrid(b);
            for (double k = 1; k < parts; ++k) {
                const double t = k / parts;
                cut.push_back(
                    FromGrid({from.X + t * (to.X - from.X), from.Y + t * (to.Y - from.Y)}));
            }
        }
        cut.push_back(b);
    }
    return cut;
}

// Buffers lines piece by piece, each in its own local plane, and gathers
// the pieces' outlines on the grid.
class GroundBuffer {
public:
    GroundBuffer(const GeosContext& geos, double metres) : geos_(geos), metres_(metres) {
        parameters_ = GEOSBufferParams_create_r(geos_.Handle());
        GEOSBufferParams_setQuadrantSegments_r(geos_.Handle(), parameters_, kQuadrantSegments);
    }
    ~GroundBuffer() { GEOSBufferParams_destroy_r(geos_.Handle(), parameters_); }
    GroundBuffer(const GroundBuffer&) = delete;
    GroundBuffer& operator=(const GroundBuffer&) = delete;

    void AddPath(const std::vector<GeoPoint>& path) {
        const std::vector<GeoPoint> points = CutAlongGrid(path, metres_);
        std::vector<double> along(points.size(), 0.0);
        for (std::size_t i = 1; i < points.size(); ++i) {
            along[i] = along[i - 1] + GroundDistance(points[i - 1], points[i]);
        }
        std::size_t first = 0;
        for (std::size_t i = 1; i < points.size(); ++i) {
            if (i + 1 == points.size() || along[i] - along[first] >= 2 * kPieceHalfLength) {
                AddPiece(points, along, first, i);
                first = i;
            }
        }
    }

    std::vector<GeosContext::Geometry> TakeParts() { return std::move(parts_); }

private:
    void AddPiece(const std::vector<GeoPoint>& points, const std::vector<double>& along,
                  std::size_t first, std::size_t last) {
        const double middleAlong = (along[first] + along[last]) / 2;
        const auto middle =
            std::lower_bound(along.begin() + static_cast<std::ptrdiff_t>(first),
                             along.begin() + static_cast<std::ptrdiff_t>(last), middleAlong);
        GeoPoint centre = points[static_cast<std::size_t>(middle - along.begin())];
        centre.Latitude = std::clamp(centre.Latitude, -89.0, 89.0);
        const LocalPlane plane(centre);

        std::vector<PlanePoint> local;
        local.reserve(last - first + 1);
        double farthestLatitude = 0;
        for (std::size_t i = first; i <= last; ++i) {
            local.push_back(plane.Forward(points[i]));
            farthestLatitude = std::max(farthestLatitude, std::abs(points[i].Latitude));
        }
        const GEOSContextHandle_t handle = geos_.Handle();
        const GeosContext::Geometry line = geos_.Own(
            GEOSSimplify_r(handle, geos_.LineString(local).get(), SimplifyTolerance(metres_)));
        const GeosContext::Geometry buffered =
            geos_.Own(GEOSBufferWithParams_r(handle, line.get(), parameters_, metres_));

        const double step =
            BendStep(metres_, farthestLatitude + metres_ / kEarthRadiusMetres / kRadians);
        for (const PlanePolygon& polygon : geos_.Polygons(*buffered)) {
            PlanePolygon onGrid;
            onGrid.reserve(polygon.size());
            for (const PlaneRing& ring : polygon) {
                onGrid.push_back(RingOnGrid(plane, ring, step));
            }
            parts_.push_back(geos_.Polygon(onGrid));
        }
    }

    // A ring of the local plane on the grid, its edges cut to `step`.
    PlaneRing RingOnGrid(const LocalPlane& plane, const PlaneRing& ring, double step) const {
        PlaneRing onGrid;
        onGrid.reserve(ring.size());
        double lastLongitude = 0;
        const auto add = [&](const PlanePoint& local) {
            const GeoPoint point = plane.Inverse(local);
            if (point.Longitude < -180 || point.Longitude > 180 ||
                (!onGrid.empty() && std::abs(point.Longitude - lastLongitude) > 180)) {
                throw GeometryRefusal{GeometryFailure::BufferCrossesAntimeridian};
            }
            lastLongitude = point.Longitude;
            onGrid.push_back(ToGrid(point));
        };
        for (std::size_t i = 0; i < ring.size(); ++i) {
            const PlanePoint& a = ring[i];
            const PlanePoint& b = ring[(i + 1) % ring.size()];
            add(a);
            const double parts = std::ceil(std::hypot(b.X - a.X, b.Y - a.Y) / step);
            for (double k = 1; k < parts; ++k) {
                const double t = k / parts;
                add({a.X + t * (b.X - a.X), a.Y + t * (b.Y - a.Y)});
            }
        }
        if (std::abs(plane.Inverse(ring.front()).Longitude - lastLongitude) > 180) {
            throw GeometryRefusal{GeometryFailure::BufferCrossesAntimeridian};
        }
        return onGrid;
    }

    const GeosContext& geos_;
    double metres_;
    GEOSBufferParams* parameters_;
    std::vector<GeosContext::Geometry> parts_;
};

}  // namespace

std::vector<GeoPolygon> BufferOnGround(const std::vector<GeoPolygon>& polygons,
                                       const std::vector<std::vector<GeoPoint>>& lines,
                                       double metres) {
    const GeosContext geos;
    GroundBuffer buffer(geos, metres);
    std::vector<GeosContext::Geometry> parts;
    for (const GeoPolygon& polygon : polygons) {
        PlanePolygon onGrid;
        const auto addRing = [&](const GeoRing& ring) {
            PlaneRing points;
            points.reserve(ring.size());
            for (const GeoPoint& point : ring) {
                points.push_back(ToGrid(point));
            }
            onGrid.push_back(std::move(points));
            // The ring's outline buffered makes the polygon grow outward and
            // its holes shrink.
            std::vector<GeoPoint> closed = ring;
            closed.push_back(ring.front());
            buffer.AddPath(closed);
        };
        addRing(polygon.Outer);
        for (const GeoRing& hole : polygon.Holes) {
            addRing(hole);
        }
        parts.push_back(geos.ValidPolygons(geos.Polygon(onGrid)));
    }
    for (const std::vector<GeoPoint>& line : lines) {
        buffer.AddPath(line);
    }
    for (GeosContext::Geometry& part : buffer.TakeParts()) {
        parts.push_back(std::move(part));
    }
    const GeosContext::Geometry all = geos.Collection(std::move(parts));
    const GeosContext::Geometry merged = geos.Own(GEOSUnaryUnion_r(geos.Handle(), all.get()));

    std::vector<GeoPolygon> result;
    for (const PlanePolygon& polygon : geos.Polygons(*merged)) {
        GeoPolygon inDegrees;
        for (std::size_t i = 0; i < polygon.size(); ++i) {
            GeoRing ring;
            ring.reserve(polygon[i].size());
            for (const PlanePoint& point : polygon[i]) {
                ring.push_back(FromGrid(point));
            }
            if (i == 0) {
                inDegrees.Outer = std::move(ring);
            } else {
                inDegrees.Holes.push_back(std::move(ring));
            }
        }
        result.push_back(std::move(inDegrees));
    }
    return result;
}

}  // namespace tessellon
