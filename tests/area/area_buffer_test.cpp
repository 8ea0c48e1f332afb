#include "area/area_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "area/area_file.h"
#include "geo/web_mercator.h"

namespace tessellon {
namespace {

constexpr double kRadians = std::numbers::pi / 180;

// The distance on the ground: the haversine on the projection's sphere.
double Haversine(const GeoPoint& a, const GeoPoint& b) {
    const double dLat = (b.Latitude - a.Latitude) * kRadians;
    const double dLon = (b.Longitude - a.Longitude) * kRadians;
    const double h = std::pow(std::sin(dLat / 2), 2) + std::cos(a.Latitude * kRadians) *
                                                           std::cos(b.Latitude * kRadians) *
                                                           std::pow(std::sin(dLon / 2), 2);
    return 2 * kEarthRadiusMetres * std::asin(std::sqrt(h));
}

// Points along a path at most `step` metres apart, its edges straight on the
// tile grid as the cover draws them.
std::vector<GeoPoint> AlongGrid(const std::vector<GeoPoint>& path, double step) {
    std::vector<GeoPoint> points;
    for (std::size_t i = 0; i + 1 < path.size(); ++i) {
        const GeoPoint& a = path[i];
        const GeoPoint& b = path[i + 1];
        const int parts = std::max(1, static_cast<int>(std::ceil(Haversine(a, b) / step)));
        const double ax = LongitudeToMercatorX(a.Longitude);
        const double ay = LatitudeToMercatorY(a.Latitude);
        const double bx = LongitudeToMercatorX(b.Longitude);
        const double by = LatitudeToMercatorY(b.Latitude);
        for (int k = 0; k < parts; ++k) {
            const double t = static_cast<double>(k) / parts;
            points.push_back({MercatorXToLongitude(ax + t * (bx - ax)),
                              MercatorYToLatitude(ay + t * (by - ay))});
        }
    }
    points.push_back(path.back());
    return points;
}

std::vector<GeoPoint> Closed(GeoRing ring) {
    ring.push_back(ring.front());
    return ring;
}

// The largest error, as a fraction of `metres`, of the outline's distance on
// the ground from the paths: every point of the outline (its edges sampled
// along the grid) should lie `metres` from the nearest path.
double WorstOutlineError(const GeoShape& shape, const std::vector<std::vector<GeoPoint>>& paths,
                         double metres) {
    std::vector<GeoPoint> path;
    for (const auto& p : paths) {
        const std::vector<GeoPoint> dense = AlongGrid(p, metres / 100);
        path.insert(path.end(), dense.begin(), dense.end());
    }
    double worst = 0;
    const auto measure = [&](const GeoRing& ring) {
        for (const GeoPoint& point : AlongGrid(Closed(ring), metres / 4)) {
            double nearest = INFINITY;
            for (const GeoPoint& on : path) {
                nearest = std::min(nearest, Haversine(point, on));
            }
            worst = std::max(worst, std::abs(nearest - metres) / metres);
        }
    };
    for (const GeoPolygon& polygon : shape.Polygons) {
        measure(polygon.Outer);
        std::for_each(polygon.Holes.begin(), polygon.Holes.end(), measure);
    }
    return worst;
}

// A path of about `size` metres across, reaching from `latitude` south: a
// loop that leaves a hole, sharp turns both ways, and a gentle curve whose
// inner side GEOS simplifies.
std::vector<GeoPoint> TestPath(double latitude, double size) {
    const double north = size / kEarthRadiusMetres / kRadians;
    const double east = north / std::cos(latitude * kRadians);
    std::vector<std::pair<double, double>> corners = {
        {0, 0}, {0.5, 0}, {0.5, -0.5}, {0.1, -0.5}, {0.1, 0.2}, {0.6, 0.3}, {0.2, 0.35}};
    // An eighth of a circle of radius 0.5 in 40 steps.
    for (int k = 1; k <= 40; ++k) {
        const double angle = k * std::numbers::pi / 160;
        corners.push_back({0.2 - 0.5 * std::sin(angle), 0.85 - 0.5 * std::cos(angle)});
    }
    std::vector<GeoPoint> path;
    for (const auto& [x, y] : corners) {
        path.push_back({10 + x * east, latitude - (y + 0.5) * north});
    }
    return path;
}

TEST(AreaBuffer, TheOutlineLiesTheBufferDistanceFromALineOnTheGroundAtAnyLatitude) {
    struct Case {
        double Latitude;
        double Metres;
        // The path's length in buffer distances: 10 make a loop with a hole.
        double Length = 10;
    };
    const Case cases[] = {{0, 2000},  {45, 2000},   {70, 2000},    {85, 2000},
                          {-60, 500}, {45, 50'000}, {70, 150'000}, {20, 1'000'000, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "latitude " << c.Latitude << ", " << c.Metres << " m");
        const std::vector<GeoPoint> path = TestPath(c.Latitude, c.Length * c.Metres);
        const GeoShape shape = ShapeOfArea({{}, {path}}, c.Metres, "test");
        ASSERT_FALSE(shape.Polygons.empty());
        bool hole = false;
        for (const GeoPolygon& polygon : shape.Polygons) {
            hole = hole || !polygon.Holes.empty();
        }
        EXPECT_EQ(hole, c.Length == 10);
        const double error = WorstOutlineError(shape, {path}, c.Metres);
        EXPECT_LT(error, 0.01);
    }
}

TEST(AreaBuffer, AJitteryGpsTrackKeepsTheBound) {
    // A point every 100 m along a gentle curve, each off by up to 20 m either
    // side: the jitter is left out before buffering, within the bound.
    std::vector<GeoPoint> track;
    unsigned seed = 1;
    for (int k = 0; k < 400; ++k) {
        const double angle = k * 100.0 / 8000;
        seed = seed * 1103515245u + 12345u;
        const double radius = 8000 + ((seed >> 16) % 1001 / 1000.0 - 0.5) * 40;
        track.push_back({10 + radius * std::sin(angle) / kEarthRadiusMetres / kRadians /
                                  std::cos(70 * kRadians),
                         70 + radius * std::cos(angle) / kEarthRadiusMetres / kRadians});
    }
    const GeoShape shape = ShapeOfArea({{}, {track}}, 2000.0, "test");
    EXPECT_LT(WorstOutlineError(shape, {track}, 2000), 0.01);
}

TEST(AreaBuffer, APolygonGrowsByTheDistanceAndItsHolesShrink) {
    // A square of 20 km with a lake of 8 km at 60 degrees north; 2 km around.
    const double north = 20'000 / kEarthRadiusMetres / kRadians;
    const double east = north / std::cos(60 * kRadians);
    const GeoRing square = {{5, 60}, {5 + east, 60}, {5 + east, 60 + north}, {5, 60 + north}};
    const GeoRing lake = {{5 + 0.3 * east, 60 + 0.3 * north},
                          {5 + 0.3 * east, 60 + 0.7 * north},
                          {5 + 0.7 * east, 60 + 0.7 * north},
                          {5 + 0.7 * east, 60 + 0.3 * north}};
    const GeoShape shape = ShapeOfArea({{{square, {lake}}}, {}}, 2000, "test");
    ASSERT_EQ(shape.Polygons.size(), 1u);
    ASSERT_EQ(shape.Polygons[0].Holes.size(), 1u);
    EXPECT_LT(WorstOutlineError(shape, {Closed(square), Closed(lake)}, 2000), 0.01);
    // The lake keeps its corners' quarter: 8 km less 2 km each side.
    const GeoRect bounds = ShapeBounds({{{shape.Polygons[0].Holes[0], {}}}});
    EXPECT_NEAR(Haversine({bounds.Left, bounds.Bottom}, {bounds.Left, bounds.Top}), 4000, 40);
}

TEST(AreaBuffer, ALineNeedsABufferAbove0) {
    const AreaGeometry track{{}, {{{11, 47}, {11.1, 47.1}}}};
    try {
        ShapeOfArea(track, std::nullopt, "hike.gpx");
        FAIL();
    } catch (const EAreaError& e) {
        EXPECT_STREQ(e.what(),
                     "hike.gpx: the area holds lines (a track or route); give a buffer distance "
                     "with --buffer, e.g. --buffer 1km.");
    }
    EXPECT_THROW(ShapeOfArea(track, 0.0, "hike.gpx"), EAreaError);
    // A polygon needs none, and with 0 stays as it was.
    const GeoRing square = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    EXPECT_EQ(ShapeOfArea({{{square, {}}}, {}}, 0.0, "x").Polygons[0].Outer, square);
}

TEST(AreaBuffer, ABufferAcrossTheAntimeridianIsRefused) {
    const AreaGeometry track{{}, {{{179.99, 65}, {179.99, 65.1}}}};
    try {
        ShapeOfArea(track, 2000.0, "far.gpx");
        FAIL();
    } catch (const EAreaError& e) {
        EXPECT_STREQ(e.what(),
                     "far.gpx: with a buffer of 2 km the area reaches across the antimeridian "
                     "(180 degrees longitude) or around a pole; keep it farther away or give a "
                     "smaller buffer.");
    }
    // Around the pole.
    EXPECT_THROW(ShapeOfArea({{}, {{{0, 84}, {1, 84}}}}, 1'000'000.0, "x"), EAreaError);
    // 1 km short of the antimeridian is fine.
    EXPECT_NO_THROW(ShapeOfArea(track, 100.0, "far.gpx"));
}

TEST(AreaBuffer, ReadsTheDistanceAUserTypes) {
    struct Row {
        const char* Text;
        double Metres;
    };
    const Row good[] = {{"2km", 2000},      {"500m", 500}, {"1.5km", 1500}, {"0", 0},
                        {" 1.5 km ", 1500}, {"2KM", 2000}, {"0m", 0},       {".5km", 500},
                        {"1000km", 1e6},    {"1m", 1}};
    for (const Row& row : good) {
        SCOPED_TRACE(row.Text);
        std::string error;
        EXPECT_EQ(ParseBufferDistance(row.Text, error), std::optional<double>(row.Metres));
        EXPECT_EQ(error, "");
    }
    struct Bad {
        const char* Text;
        const char* Error;
    };
    const Bad bad[] = {
        {"",
         "The buffer distance \"\" is not a distance: give a number and its unit, e.g. 500m, "
         "2km or 1.5km."},
        {"500",
         "The buffer distance \"500\" is not a distance: give a number and its unit, e.g. "
         "500m, 2km or 1.5km."},
        {"1,5km", "The buffer distance \"1,5km\" is not a distance"},
        {"2 miles", "is not a distance"},
        {"1e3m", "is not a distance"},
        {"infm", "is not a distance"},
        {"1.2.3km", "is not a distance"},
        {"km", "is not a distance"},
        {"-1km", "The buffer distance \"-1km\" is negative."},
        {"1000.001km",
         "The buffer distance \"1000.001km\" is larger than 1000 km, the largest "
         "buffer."},
        {"0.5m", "The buffer distance \"0.5m\" is below 1 m; give 0 for no buffer."},
    };
    for (const Bad& row : bad) {
        SCOPED_TRACE(row.Text);
        std::string error;
        EXPECT_EQ(ParseBufferDistance(row.Text, error), std::nullopt);
        EXPECT_NE(error.find(row.Error), std::string::npos) << error;
    }
    EXPECT_EQ(FormatBufferDistance(1500), "1.5 km");
    EXPECT_EQ(FormatBufferDistance(500), "500 m");
}

}  // namespace
}  // namespace tessellon
