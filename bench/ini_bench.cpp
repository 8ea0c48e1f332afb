// Cost of reading the INI files a user may grow without bound, each at the
// 1 MiB size limit: a sources.ini of about 150,000 keys, mostly notes in
// sources of a hundred keys each,
// and a project whose SOURCE section holds 115,000 lines. Target: each well
// within 0.1 s, so no window waits on them.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/ini_file.h"
#include "task/sources_file.h"

namespace {

using namespace tessellon;

std::string ManySources() {
    std::string text;
    for (int section = 0; text.size() < kInputFileLimit - 200; ++section) {
        text += "[Source " + std::to_string(section) + "]\n";
        text += "Url=https://example.org/{z}/{x}/{y}.png\n";
        for (int key = 0; key < 99; ++key) {
            // Appended piece by piece: GCC 12 takes a chain of + for an
            // overlapping copy (-Wrestrict).
            text += ';';
            text += std::to_string(key);
            text += "=\n";
        }
    }
    return text;
}

void BM_SourcesOf150000Keys(benchmark::State& state) {
    const std::string text = ManySources();
    state.counters["keys"] = static_cast<double>(std::count(text.begin(), text.end(), '='));
    for (auto _ : state) {
        benchmark::DoNotOptimize(ParseSources(text, "5.23"));
    }
}

// The refusal comes at the limit's key, whatever follows it.
void BM_GrownProjectSection(benchmark::State& state) {
    std::string text = "[SOURCE]\r\nUrl=https://example.org/{z}/{x}/{y}.png\r\n";
    for (int i = 0; i < 115000; ++i) {
        text += std::to_string(i) + "=\n";
    }
    const std::vector<std::string> lines = SplitTextLines(text);
    for (auto _ : state) {
        try {
            benchmark::DoNotOptimize(ReadIniSections(lines));
        } catch (const EIniLimitError&) {
        }
    }
}

}  // namespace

BENCHMARK(BM_SourcesOf150000Keys)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GrownProjectSection)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
