// Cost of a tile source's URL template: parsing one, and expanding one URL
// per tile as a download does. Target: at most 200 ns per URL.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "task/url_template.h"

namespace {

using namespace tessellon;

const std::string kXyz = "https://{s}.tile.example.org/{z}/{x}/{y}.png?key=0123456789abcdef";
const std::string kWms =
    "https://example.org/wms?SERVICE=WMS&REQUEST=GetMap&LAYERS=topo&SRS=EPSG:3857"
    "&BBOX={bbox}&WIDTH=256&HEIGHT=256&FORMAT=image/png";
const std::vector<std::string> kSubdomains{"a", "b", "c"};

void BM_ParseTemplate(benchmark::State& state) {
    for (auto _ : state) {
        UrlTemplate url(kXyz);
        benchmark::DoNotOptimize(url);
    }
}

// One URL per tile along a row of zoom 13, as a worker walks its range.
void Expand(benchmark::State& state, const std::string& text) {
    const UrlTemplate url(text);
    std::int32_t x = 4000;
    for (auto _ : state) {
        benchmark::DoNotOptimize(url.Url(x, 2730, 13, kSubdomains));
        x = x < 5000 ? x + 1 : 4000;
    }
}

void BM_ExpandXyz(benchmark::State& state) {
    Expand(state, kXyz);
}
void BM_ExpandQuadkey(benchmark::State& state) {
    Expand(state, "https://t{s}.example.org/tiles/a{q}.jpeg?g=1");
}
void BM_ExpandTms(benchmark::State& state) {
    Expand(state, "https://example.org/{z}/{x}/{-y}.png");
}
void BM_ExpandWmsBbox(benchmark::State& state) {
    Expand(state, kWms);
}

}  // namespace

BENCHMARK(BM_ParseTemplate);
BENCHMARK(BM_ExpandXyz);
BENCHMARK(BM_ExpandQuadkey);
BENCHMARK(BM_ExpandTms);
BENCHMARK(BM_ExpandWmsBbox);
