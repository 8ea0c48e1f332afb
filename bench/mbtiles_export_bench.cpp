// Exporting a task of 100,000 small real PNG tiles to a tile container, in
// turns with a peer. MBTiles and GeoPackage: a small Python script that
// inserts the same tile files into the same tables with the standard sqlite3
// module in one transaction; target at least 1.5x the script's rate.
// PMTiles: our own MBTiles export of the same task; target at least as fast.
//
// Usage: bench_mbtiles_export FOLDER PEER_SCRIPT [mbtiles|gpkg|pmtiles]

#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "geo/tile_math.h"
#include "output/mbtiles.h"
#include "output/tile_export.h"
#include "paired_runs.h"
#include "platform/files.h"
#include "platform/message_sink.h"
#include "task/md_task.h"

namespace {

using namespace tessellon;

class StderrMessages : public MessageSink {
public:
    void ShowMessage(const std::string& text) override {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
};

void AppendBigEndian(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<char>((value >> shift) & 0xff));
    }
}

void AppendChunk(std::string& png, const char* type, const std::string& data) {
    AppendBigEndian(png, static_cast<std::uint32_t>(data.size()));
    const std::string typed = type + data;
    png += typed;
    AppendBigEndian(png, static_cast<std::uint32_t>(
                             crc32(0, reinterpret_cast<const Bytef*>(typed.data()), typed.size())));
}

// A 256 x 256 PNG of one colour, about 100 bytes; each `index` its own.
std::string TilePng(std::uint32_t index) {
    static const std::string pixels = [] {
        const std::string rows(256 * 33, '\0');
        uLongf size = compressBound(rows.size());
        std::string packed(size, '\0');
        compress2(reinterpret_cast<Bytef*>(packed.data()), &size,
                  reinterpret_cast<const Bytef*>(rows.data()), rows.size(), 9);
        packed.resize(size);
        return packed;
    }();
    std::string png("\x89PNG\r\n\x1a\n", 8);
    std::string header;
    AppendBigEndian(header, 256);
    AppendBigEndian(header, 256);
    header += std::string("\x01\x03\x00\x00\x00", 5);
    AppendChunk(png, "IHDR", header);
    AppendChunk(png, "PLTE",
                std::string{static_cast<char>(index >> 16), static_cast<char>(index >> 8),
                            static_cast<char>(index)});
    AppendChunk(png, "IDAT", pixels);
    AppendChunk(png, "IEND", "");
    return png;
}

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const std::string container = argc == 4 ? argv[3] : "mbtiles";
    if (argc < 3 || argc > 4 ||
        (container != "mbtiles" && container != "gpkg" && container != "pmtiles")) {
        std::fprintf(stderr, "usage: %s FOLDER PEER_SCRIPT [mbtiles|gpkg|pmtiles]\n", argv[0]);
        return 2;
    }
    const ContainerFormat format = container == "gpkg"      ? ContainerFormat::GeoPackage
                                   : container == "pmtiles" ? ContainerFormat::Pmtiles
                                                            : ContainerFormat::Mbtiles;
    const std::string folder = std::string(argv[1]) + "/";
    const std::string script = argv[2];
    TaskParameters params;
    // 400 columns by 250 rows at zoom 13, each bound inside its tile.
    params.Zoom = 13;
    params.LeftLongitude = TileXToLongitude(6500.5, params.Zoom);
    params.RightLongitude = TileXToLongitude(6899.5, params.Zoom);
    params.TopLatitude = TileYToLatitude(3000.5, params.Zoom);
    params.BottomLatitude = TileYToLatitude(3249.5, params.Zoom);
    params.MapsType = kMapsTypeMap;
    params.SavePath = folder;
    params.TaskName = "bench.tsln";
    StderrMessages messages;
    const MDTask task(&params, messages);
    task.WriteTaskFiles({});
    std::uint32_t index = 0;
    for (std::int32_t x = task.MinX; x <= task.MaxX; ++x) {
        for (std::int32_t y = task.MinY; y <= task.MaxY; ++y) {
            WriteFileAtomic(task.GetTilePath({task.Params->Zoom, x, y}), TilePng(++index),
                            {0666, false});
        }
    }
    std::printf("tiles=%u, %zu bytes each\n", index, TilePng(1).size());

    const std::string ours = folder + "ours." + container;
    const std::string peer = folder + "peer." + (container == "gpkg" ? "gpkg" : "mbtiles");
    TileExportOptions options;
    options.BlankFolder = folder + "no-blanks/";
    const auto runOurs = [&] {
        std::filesystem::remove(ours);
        const auto start = std::chrono::steady_clock::now();
        ExportTiles(format, {folder + "bench.tsln"}, ours, options, {});
        return index / Seconds(start);
    };
    const std::string command =
        "python3 '" + script + "' '" + task.ImageFolder + "' '" + peer + "' " + container;
    const auto runPeer = [&] {
        std::filesystem::remove(peer);
        if (format == ContainerFormat::Pmtiles) {
            const auto start = std::chrono::steady_clock::now();
            ExportTiles(ContainerFormat::Mbtiles, {folder + "bench.tsln"}, peer, options, {});
            return index / Seconds(start);
        }
        std::FILE* pipe = popen(command.c_str(), "r");
        unsigned tiles = 0;
        double seconds = 0;
        const int read = std::fscanf(pipe, "tiles=%u seconds=%lf", &tiles, &seconds);
        if (pclose(pipe) != 0 || read != 2 || tiles != index) {
            std::fprintf(stderr, "the peer failed\n");
            std::exit(1);
        }
        return tiles / seconds;
    };
    // Both read the tile files from the page cache from here on.
    runOurs();
    runPeer();
    const bench::PairedFigures figures = bench::RunPairs(bench::kMinimumPairs, runOurs, runPeer);
    const bench::Spread oursRate = bench::SpreadOf(figures.Ours);
    const bench::Spread peerRate = bench::SpreadOf(figures.Peer);
    const char* peerName =
        format == ContainerFormat::Pmtiles ? "our MBTiles export" : "python sqlite3";
    std::printf(
        "ours (%s): %.0f tiles/s (median, %.0f..%.0f), %s: %.0f tiles/s (median, "
        "%.0f..%.0f)\n",
        container.c_str(), oursRate.Median, oursRate.Min, oursRate.Max, peerName, peerRate.Median,
        peerRate.Min, peerRate.Max);
    std::printf("ratio ours/peer: %s\n", bench::RatioText(figures).c_str());
    if (format != ContainerFormat::Mbtiles) {
        return 0;
    }

    // The corners and the middle, in both files, as the task has them.
    const MbtilesReader oursRead(ours);
    const MbtilesReader peerRead(peer);
    bool sameTiles = true;
    for (const auto& [x, y] :
         {std::pair{task.MinX, task.MinY}, std::pair{task.MaxX, task.MaxY},
          std::pair{task.MinX, task.MaxY}, std::pair{task.MaxX, task.MinY},
          std::pair{(task.MinX + task.MaxX) / 2, (task.MinY + task.MaxY) / 2}}) {
        const auto tile = oursRead.Tile(13, x, y);
        sameTiles = sameTiles &&
                    tile == ReadFileBytes(task.GetTilePath({task.Params->Zoom, x, y})) &&
                    tile == peerRead.Tile(13, x, y);
    }
    std::printf("same tiles in both files: %s\n", sameTiles ? "yes" : "no");
    return 0;
}
