// Cost of one call of each coordinate function. Target: at most 20 ns.

#include <benchmark/benchmark.h>

#include "geo/tile_math.h"

namespace {

using namespace tessellon;

void BM_LongitudeToTileX(benchmark::State& state) {
    double longitude = -179.5;
    for (auto _ : state) {
        benchmark::DoNotOptimize(LongitudeToTileX(longitude, 13));
        longitude = longitude < 179 ? longitude + 0.37 : -179.5;
    }
}

void BM_LatitudeToTileY(benchmark::State& state) {
    double latitude = -84.5;
    for (auto _ : state) {
        benchmark::DoNotOptimize(LatitudeToTileY(latitude, 13));
        latitude = latitude < 84 ? latitude + 0.17 : -84.5;
    }
}

void BM_TileXToLongitude(benchmark::State& state) {
    double x = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(TileXToLongitude(x, 13));
        x = x < 8191 ? x + 1 : 0;
    }
}

void BM_TileYToLatitude(benchmark::State& state) {
    double y = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(TileYToLatitude(y, 13));
        y = y < 8191 ? y + 1 : 0;
    }
}

}  // namespace

BENCHMARK(BM_LongitudeToTileX);
BENCHMARK(BM_LatitudeToTileY);
BENCHMARK(BM_TileXToLongitude);
BENCHMARK(BM_TileYToLatitude);
