// Reading area files and buffering them on the ground, on generated files.
// Targets: a 1,000 km GPX track read and buffered by 2 km well within 0.5 s
// (the whole cover, rasterising included, within 1 s); a 10,000-point
// polygon read within 0.1 s.

#include <benchmark/benchmark.h>

#include <string>

#include "area/area_file.h"
#include "area_samples.h"
#include "platform/files.h"
#include "temp_dir.h"

namespace {

using namespace tessellon;
using bench::OutlineGeoJson;
using bench::TrackGpx;

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
