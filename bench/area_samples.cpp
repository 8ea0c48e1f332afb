#include "area_samples.h"

#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>

#include "geo/web_mercator.h"

namespace tessellon::bench {

namespace {

constexpr double kRadians = std::numbers::pi / 180;

}  // namespace

// The heading wanders, and each point is off by up to 3 m.
std::string TrackGpx(double kilometres) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> turn(-0.08, 0.08);
    std::uniform_real_distribution<double> jitter(-3, 3);
    std::string text =
        "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"bench\" "
        "xmlns=\"http://www.topografix.com/GPX/1/1\">\n<trk><trkseg>\n";
    double latitude = 46.5;
    double longitude = 7.5;
    double heading = 45 * kRadians;
    const int points = static_cast<int>(kilometres * 50);
    for (int i = 0; i < points; ++i) {
        heading += turn(random);
        // Keep going north-east on the whole.
        heading += (45 * kRadians - heading) * 0.01;
        const double north = 20 * std::cos(heading) + jitter(random);
        const double east = 20 * std::sin(heading) + jitter(random);
        latitude += north / kEarthRadiusMetres / kRadians;
        longitude += east / kEarthRadiusMetres / kRadians / std::cos(latitude * kRadians);
        char line[96];
        std::snprintf(line, sizeof line, "<trkpt lat=\"%.7f\" lon=\"%.7f\"/>\n", latitude,
                      longitude);
        text += line;
    }
    text += "</trkseg></trk>\n</gpx>\n";
    return text;
}

// A ring around one centre.
std::string OutlineGeoJson(int count) {
    std::mt19937 random(11);
    // Surveyed points are off by up to 20 m.
    std::uniform_real_distribution<double> ragged(-20, 20);
    std::string text = R"({"type":"Polygon","coordinates":[[)";
    for (int i = 0; i <= count; ++i) {
        const double angle = 2 * std::numbers::pi * (i % count) / count;
        const double radius =
            150'000 * (1 + 0.2 * std::sin(5 * angle) + 0.05 * std::sin(37 * angle) +
                       0.01 * std::sin(211 * angle) + 0.003 * std::sin(1009 * angle)) +
            ragged(random);
        const double latitude = 50 + radius * std::cos(angle) / kEarthRadiusMetres / kRadians;
        const double longitude =
            10 + radius * std::sin(angle) / kEarthRadiusMetres / kRadians / std::cos(50 * kRadians);
        char point[64];
        std::snprintf(point, sizeof point, "%s[%.7f,%.7f]", i == 0 ? "" : ",", longitude, latitude);
        text += point;
    }
    text += "]]}\n";
    return text;
}

}  // namespace tessellon::bench
