// What a download or refresh of 10,000 tiles spends on its tile store: a
// refresh's lookup of every tile's record as its walk comes to it, a
// download's first save, and a refresh's last save, which renews every row
// in the order the workers handed them over: every record when the tiles
// changed, only the fetch time when they were answered with 304.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

#include "task/tile_store.h"
#include "temp_dir.h"

namespace {

using namespace tessellon;

constexpr int kSide = 100;

std::vector<TileRecord> Records(std::int64_t fetchedAt, bool timeOnly = false) {
    std::vector<TileRecord> records;
    for (int x = 0; x < kSide; ++x) {
        for (int y = 0; y < kSide; ++y) {
            records.push_back({{14, 8704 + x, 5632 + y},
                               {"\"6475a1b2-5f4c\"", 1700000000, fetchedAt, 24576,
                                "3f786850e387550fdab836ed7e6dc881de23001b"},
                               timeOnly});
        }
    }
    // Eight workers hand their tiles over as they finish them.
    std::shuffle(records.begin(), records.end(), std::mt19937(7));
    return records;
}

void BM_ReadInKeyOrder(benchmark::State& state) {
    const test::TempDir dir;
    const TileStore store(dir.File("t_tiles.sqlite"));
    store.Write(Records(1));
    for (auto _ : state) {
        TileStoreReader reader(store.Path());
        for (int x = 0; x < kSide; ++x) {
            for (int y = 0; y < kSide; ++y) {
                benchmark::DoNotOptimize(reader.Find({14, 8704 + x, 5632 + y}));
            }
        }
    }
}

void BM_RenewEveryRow(benchmark::State& state) {
    const test::TempDir dir;
    const TileStore store(dir.File("t_tiles.sqlite"));
    store.Write(Records(1));
    const std::vector<TileRecord> renewed = Records(2);
    for (auto _ : state) {
        store.Write(renewed);
    }
}

void BM_FirstSave(benchmark::State& state) {
    const test::TempDir dir;
    const TileStore store(dir.File("t_tiles.sqlite"));
    const std::vector<TileRecord> records = Records(2);
    for (auto _ : state) {
        std::remove(store.Path().c_str());
        store.Write(records);
    }
}

void BM_RenewEveryTime(benchmark::State& state) {
    const test::TempDir dir;
    const TileStore store(dir.File("t_tiles.sqlite"));
    store.Write(Records(1));
    const std::vector<TileRecord> renewed = Records(2, true);
    for (auto _ : state) {
        store.Write(renewed);
    }
}

BENCHMARK(BM_FirstSave)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadInKeyOrder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenewEveryRow)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenewEveryTime)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
