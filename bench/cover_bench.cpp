// The tiles of a shape at zoom 16, tessellon-cli estimate against the field's
// reference tile-cover module (@mapbox/tile-cover on Node.js), each run as a
// process on the same geometry, in turns: a country's outline of 10,000
// points, and the 2 km corridor of a 1,000 km GPS track as our estimate
// writes it (tile-cover does not buffer); then the track read, buffered and
// covered by our estimate alone. Targets: the outline within 0.5 s, the track
// within 1 s, at least 5x tile-cover's speed, the same tile set; the cover itself at most one bit
// per tile of its range plus the vertices.
//
// Usage: bench_cover BIN_DIR SCRATCH NODE_MODULES PEER_SCRIPT

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "area/area_file.h"
#include "area_samples.h"
#include "child_process.h"
#include "paired_runs.h"
#include "platform/files.h"
#include "task/tile_cover.h"

namespace {

using namespace tessellon;

constexpr int kZoom = 16;

std::vector<std::string> SortedLines(const std::string& path) {
    std::vector<std::string> lines;
    const std::string text = ReadFileBytes(path);
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

// "same tile set: yes (N tiles)" or how the two differ.
std::string Sameness(const std::string& ours, const std::string& peer) {
    const std::vector<std::string> a = SortedLines(ours);
    const std::vector<std::string> b = SortedLines(peer);
    std::vector<std::string> onlyOurs;
    std::vector<std::string> onlyPeer;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(onlyOurs));
    std::set_difference(b.begin(), b.end(), a.begin(), a.end(), std::back_inserter(onlyPeer));
    if (onlyOurs.empty() && onlyPeer.empty()) {
        return "same tile set: yes (" + std::to_string(a.size()) + " tiles)";
    }
    return "same tile set: no (" + std::to_string(a.size()) + " ours, " + std::to_string(b.size()) +
           " tile-cover; " + std::to_string(onlyOurs.size()) + " only ours, " +
           std::to_string(onlyPeer.size()) + " only tile-cover)";
}

// What the cover holds of `shape` at zoom 16, against one bit per tile of
// its range plus 16 bytes a vertex.
void PrintCoverMemory(const GeoShape& shape) {
    const TileCover cover = TileCover::OfShape(shape, kZoom, kZoom);
    const TileRange& range = cover.RangeAt(kZoom);
    std::size_t runs = 0;
    for (std::int32_t x = range.MinX; x <= range.MaxX; ++x) {
        runs += cover.ColumnRows(kZoom, x).size();
    }
    std::size_t vertices = 0;
    for (const GeoPolygon& polygon : shape.Polygons) {
        vertices += polygon.Outer.size();
        for (const GeoRing& hole : polygon.Holes) {
            vertices += hole.size();
        }
    }
    // A run and, per column, the count of the tiles west of it.
    const double held = static_cast<double>(runs * sizeof(RowSpan) +
                                            static_cast<std::size_t>(range.Columns()) * 8) /
                        1024;
    const double bound =
        (static_cast<double>(range.Count()) / 8 + static_cast<double>(vertices) * 16) / 1024;
    std::printf("cover: %lld tiles in %zu runs, %.0f KiB held (bound: %.0f KiB)\n",
                static_cast<long long>(cover.Count()), runs, held, bound);
}

void Compare(const std::string& title, const std::vector<std::string>& ours,
             const std::string& peerArea, const std::string& scratch, const std::string& modules,
             const std::string& script) {
    std::printf("-- %s\n", title.c_str());
    std::vector<std::string> listing = ours;
    listing.insert(listing.end(), {"--tiles", scratch + "ours.txt"});
    bench::RunChild(listing, true);
    const std::vector<std::string> peer = {"node", script, modules, peerArea,
                                           std::to_string(kZoom)};
    std::vector<std::string> peerListing = peer;
    peerListing.push_back(scratch + "peer.txt");
    bench::RunChild(peerListing, true);
    std::printf("%s\n", Sameness(scratch + "ours.txt", scratch + "peer.txt").c_str());
    PrintCoverMemory(ReadAreaShape(peerArea, std::nullopt));

    std::vector<double> ourSeconds;
    std::vector<double> peerSeconds;
    const bench::PairedFigures figures = bench::RunPairs(
        bench::kMinimumPairs,
        [&] {
            ourSeconds.push_back(bench::RunChild(ours, true).Seconds);
            return 1 / ourSeconds.back();
        },
        [&] {
            peerSeconds.push_back(bench::RunChild(peer, true).Seconds);
            return 1 / peerSeconds.back();
        });
    const bench::Spread us = bench::SpreadOf(ourSeconds);
    const bench::Spread them = bench::SpreadOf(peerSeconds);
    std::printf(
        "tessellon-cli estimate: median %.3f s (%.3f..%.3f); tile-cover: median %.3f s "
        "(%.3f..%.3f)\n",
        us.Median, us.Min, us.Max, them.Median, them.Min, them.Max);
    std::printf("speed against tile-cover: %s\n", bench::RatioText(figures).c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: bench_cover BIN_DIR SCRATCH NODE_MODULES PEER_SCRIPT\n");
        return 2;
    }
    const std::string bin = std::string(argv[1]) + "/";
    const std::string scratch = std::string(argv[2]) + "/";
    const std::string modules = argv[3];
    const std::string script = argv[4];
    const std::string cli = bin + "tessellon-cli";

    const std::string outline = scratch + "outline_10000.geojson";
    const std::string track = scratch + "track_1000km.gpx";
    const std::string corridor = scratch + "corridor.geojson";
    WriteFileAtomic(outline, bench::OutlineGeoJson(10'000));
    WriteFileAtomic(track, bench::TrackGpx(1000));

    Compare("A country's outline of 10,000 points at zoom 16 (target: at most 0.5 s)",
            {cli, "estimate", "--area", outline, "--zoom", std::to_string(kZoom)}, outline, scratch,
            modules, script);
    const std::vector<std::string> buffered = {
        cli, "estimate", "--area", track, "--buffer", "2km", "--zoom", std::to_string(kZoom)};
    std::vector<std::string> saving = buffered;
    saving.insert(saving.end(), {"--save-area", corridor});
    bench::RunChild(saving, true);
    Compare("The 2 km corridor of a 1,000 km track at zoom 16, both sides given the corridor",
            {cli, "estimate", "--area", corridor, "--zoom", std::to_string(kZoom)}, corridor,
            scratch, modules, script);
    std::vector<double> seconds;
    for (int i = 0; i < bench::kMinimumPairs; ++i) {
        seconds.push_back(bench::RunChild(buffered, true).Seconds);
    }
    const bench::Spread whole = bench::SpreadOf(seconds);
    std::printf(
        "-- The track read, buffered by 2 km and covered at zoom 16 (target: at most 1 s)\n"
        "tessellon-cli estimate: median %.3f s (%.3f..%.3f)\n",
        whole.Median, whole.Min, whole.Max);
    return 0;
}
