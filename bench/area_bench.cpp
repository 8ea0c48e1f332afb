// Reading area files and buffering them on the ground, on generated files.
// Targets: a 1,000 km GPX track read and buffered by 2 km well within 0.5 s
// (the whole cover, rasterising included, within 1 s); a 10,000-point
// polygon read within 0.1 s.

#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <random>
#include <string>

#include "area/area_file.h"
#include "geo/web_mercator.h"
#include "platform/files.h"
#include "temp_dir.h"

namespace {

using namespace tessellon;

constexpr double kRadians = std::numbers::pi / 180;

// A walk of `kilometres` from the Alps north-east, a point every 20 m as a
// GPS logs it: the heading wanders, and each point is off by up to 3 m.
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

// A country's outline of `count` points about 300 km across: a ring around
// one centre, wavy at every scale down to a few hundred metres.
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

struct Files {
    test::TempDir Dir;
    std::string Track = Dir.File("track_1000km.gpx");
    std::string Outline = Dir.File("outline_10000.geojson");

    Files() {
        WriteFileAtomic(Track, TrackGpx(1000));
        WriteFileAtomic(Outline, OutlineGeoJson(10'000));
    }
};

const Files& Generated() {
    static const Files files;
    return files;
}

void BM_ReadTrack1000km(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(ReadAreaGeometry(Generated().Track));
    }
}

void BM_ReadAndBufferTrack1000kmBy2km(benchmark::State& state) {
    std::size_t points = 0;
    for (auto _ : state) {
        const GeoShape shape = ReadAreaShape(Generated().Track, 2000.0);
        points = 0;
        for (const GeoPolygon& polygon : shape.Polygons) {
            points += polygon.Outer.size();
            for (const GeoRing& hole : polygon.Holes) {
                points += hole.size();
            }
        }
    }
    state.counters["shape_points"] = static_cast<double>(points);
}

void BM_ReadOutline10000(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(ReadAreaShape(Generated().Outline, std::nullopt));
    }
}

void BM_ReadAndBufferOutline10000By2km(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(ReadAreaShape(Generated().Outline, 2000.0));
    }
}

}  // namespace

BENCHMARK(BM_ReadTrack1000km)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadAndBufferTrack1000kmBy2km)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadOutline10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadAndBufferOutline10000By2km)->Unit(benchmark::kMillisecond);
