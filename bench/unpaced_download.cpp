// An unpaced download as a user runs it: the tessellon-cli process, timed
// from its start to its exit, downloads a task from a tile source of
// Workers=8 and PauseMs=0 (a sources.ini written here; no TESSELLON_PACE_MS,
// so every other pause is the program's own), against curl fetching the same
// URLs into files with `--parallel --parallel-max 8`. Tasks of 100, 500,
// 2,000 and 5,000 tiles of about 20 KiB, over plain HTTP and over HTTPS from
// tessellon-tileserver on loopback; both clients verify the server's
// certificate against the same authority file (ours through SSL_CERT_FILE,
// curl through --cacert). The tiles are one real PNG served from a tile
// folder, so the task's image check passes. The sides run in turns, each run
// into a fresh folder. Reports per size and protocol each side's median
// tiles per second and the median of our per-pair share of curl's rate with
// its spread. Target: at least 1.0x curl at every size.
//
// Usage: bench_unpaced_download BIN_DIR [http|https] [TILES]...
// (one protocol, or some of the sizes only; by default all of them)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "certificate_files.h"
#include "child_process.h"
#include "geo/tile_math.h"
#include "image_encoding.h"
#include "paired_runs.h"
#include "platform/files.h"
#include "server_process.h"
#include "temp_dir.h"

namespace {

using namespace tessellon;
namespace fs = std::filesystem;

constexpr int kPairs = 11;
static_assert(kPairs >= bench::kMinimumPairs);

constexpr int kZoom = 14;
constexpr int kFirstColumn = 13000;
constexpr int kFirstRow = 6000;

// Columns by rows; every task starts at the same tile.
struct TaskSize {
    int Columns;
    int Rows;
    int Tiles() const { return Columns * Rows; }
};
constexpr TaskSize kSizes[] = {{10, 10}, {20, 25}, {40, 50}, {50, 100}};
constexpr TaskSize kLargest = kSizes[std::size(kSizes) - 1];

std::string TileName(int x, int y) {
    return "tl_" + std::to_string(x) + "_" + std::to_string(y) + "_" + std::to_string(kZoom) +
           ".png";
}

// A 256 x 256 PNG of grey noise in three levels down to row 224, white
// below: about 20 KiB that deflate cannot shrink, like a detailed map tile.
std::string NoiseTile() {
    tileserver::RgbImage image(256, 256, {255, 255, 255});
    std::uint32_t state = 12345;
    for (int y = 0; y < 224; ++y) {
        for (int x = 0; x < 256; ++x) {
            state = state * 1103515245u + 12345u;
            const auto level = static_cast<std::uint8_t>((state >> 16) % 3 * 127);
            image.Set(x, y, {level, level, level});
        }
    }
    return tileserver::EncodePng(image);
}

// The served folder: the one tile under the name of every tile of the
// largest task.
void FillTileFolder(const std::string& folder) {
    fs::create_directory(folder);
    const std::string first = folder + "tile.png";
    WriteFileAtomic(first, NoiseTile());
    for (int x = kFirstColumn; x < kFirstColumn + kLargest.Columns; ++x) {
        for (int y = kFirstRow; y < kFirstRow + kLargest.Rows; ++y) {
            fs::create_hard_link(first, folder + TileName(x, y));
        }
    }
}

// The texts a user types for the area: the centres of the corner tiles,
// which the task covers with exactly the wanted range.
std::vector<std::string> AreaOptions(const TaskSize& size) {
    const auto degrees = [](double value) {
        char text[32];
        std::snprintf(text, sizeof text, "%.9f", value);
        return std::string(text);
    };
    const double left = TileXToLongitude(kFirstColumn + 0.5, kZoom);
    const double right = TileXToLongitude(kFirstColumn + size.Columns - 0.5, kZoom);
    const double top = TileYToLatitude(kFirstRow + 0.5, kZoom);
    const double bottom = TileYToLatitude(kFirstRow + size.Rows - 0.5, kZoom);
    const TileRange range = CoveringTiles({left, right, top, bottom}, kZoom);
    if (range.MinX != kFirstColumn || range.MinY != kFirstRow || range.Count() != size.Tiles()) {
        throw std::logic_error("the area does not cover the wanted tiles");
    }
    return {"--left",     degrees(left), "--right",       degrees(right), "--top",
            degrees(top), "--bottom",    degrees(bottom), "--zoom",       std::to_string(kZoom)};
}

// One protocol's server, with the sources file that names it and the curl
// options that reach it.
struct Service {
    std::string Scheme;
    std::string Host;
    std::string SourcesFile;
    std::vector<std::string> CurlOptions;
};

class Comparison {
public:
    // `tileBytes`: the size of the served tile, which every file must have.
    Comparison(std::string binFolder, const Service& service, const TaskSize& size,
               const std::string& scratch, std::uintmax_t tileBytes)
        : bin_(std::move(binFolder)),
          service_(service),
          size_(size),
          scratch_(scratch),
          tileBytes_(tileBytes) {
        ourArgs_ = {bin_ + "/tessellon-cli",
                    "download",
                    "--name",
                    "bench",
                    "--source",
                    "Bench",
                    "--sources",
                    service_.SourcesFile};
        for (const std::string& option : AreaOptions(size_)) {
            ourArgs_.push_back(option);
        }
        // The output names are relative: each run names its own folder.
        curlConfig_ = scratch_ + "curl.txt";
        std::ofstream out(curlConfig_);
        for (int x = kFirstColumn; x < kFirstColumn + size_.Columns; ++x) {
            for (int y = kFirstRow; y < kFirstRow + size_.Rows; ++y) {
                out << "url = \"" << service_.Scheme << "://" << service_.Host << "/" << kZoom
                    << "/" << x << "/" << y << ".png\"\noutput = \"" << TileName(x, y) << "\"\n";
            }
        }
    }

    // Tiles per second of one whole task of ours in a fresh folder.
    double Ours() {
        const std::string folder = NewFolder();
        std::vector<std::string> args = ourArgs_;
        args.push_back("--path");
        args.push_back(folder);
        const bench::ChildRun run = bench::RunChild(args, true);
        CheckTiles(folder + "bench/");
        EmptyFiles(folder);
        return size_.Tiles() / run.Seconds;
    }

    double Curl() {
        const std::string folder = NewFolder();
        std::vector<std::string> args = {
            "curl", "--no-progress-meter", "--fail", "--parallel", "--parallel-max",
            "8",    "--output-dir",        folder,   "--config",   curlConfig_};
        args.insert(args.end(), service_.CurlOptions.begin(), service_.CurlOptions.end());
        const bench::ChildRun run = bench::RunChild(args);
        CheckTiles(folder);
        EmptyFiles(folder);
        return size_.Tiles() / run.Seconds;
    }

private:
    std::string NewFolder() {
        const std::string folder = scratch_ + "run" + std::to_string(runs_++) + "/";
        fs::create_directory(folder);
        return folder;
    }

    // Every tile arrived whole, on either side.
    void CheckTiles(const std::string& folder) const {
        int count = 0;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
            if (entry.path().extension() == ".png") {
                if (entry.file_size() != tileBytes_) {
                    throw std::runtime_error(entry.path().string() + " is not the served tile");
                }
                ++count;
            }
        }
        if (count != size_.Tiles()) {
            throw std::runtime_error(folder + " holds " + std::to_string(count) + " tiles, not " +
                                     std::to_string(size_.Tiles()));
        }
    }

    // A run's files stay until the end, emptied: ext4 passes over the inodes
    // freed in the last minutes when it looks for a free one, so removing
    // them would make file creation in the runs after it, on either side,
    // cost more than anything measured here, while the emptied files take
    // no room but their inodes.
    static void EmptyFiles(const std::string& folder) {
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
            if (entry.is_regular_file()) {
                fs::resize_file(entry.path(), 0);
            }
        }
    }

    std::string bin_;
    const Service& service_;
    TaskSize size_;
    std::string scratch_;
    std::uintmax_t tileBytes_;
    std::vector<std::string> ourArgs_;
    std::string curlConfig_;
    int runs_ = 0;
};

void WriteSourcesFile(const Service& service) {
    std::ofstream(service.SourcesFile) << "[Bench]\nUrl=" << service.Scheme << "://" << service.Host
                                       << "/{z}/{x}/{y}.png\nWorkers=8\nPauseMs=0\n";
}

// What the command line asks for: protocols and sizes, all when it names none.
struct Selection {
    std::vector<std::string> Schemes;
    std::vector<int> Tiles;

    bool Wants(const std::string& scheme) const {
        return Schemes.empty() ||
               std::find(Schemes.begin(), Schemes.end(), scheme) != Schemes.end();
    }
    bool Wants(const TaskSize& size) const {
        return Tiles.empty() || std::find(Tiles.begin(), Tiles.end(), size.Tiles()) != Tiles.end();
    }
};

void CompareSizes(const std::string& bin, const Service& service, const std::string& scratch,
                  std::uintmax_t tileBytes, const Selection& selection) {
    WriteSourcesFile(service);
    for (const TaskSize& size : kSizes) {
        if (!selection.Wants(size)) {
            continue;
        }
        const std::string folder = scratch + service.Scheme + std::to_string(size.Tiles()) + "/";
        fs::create_directory(folder);
        Comparison comparison(bin, service, size, folder, tileBytes);
        // A first run of each side warms the caches.
        comparison.Ours();
        comparison.Curl();
        const bench::PairedFigures figures = bench::RunPairs(
            kPairs, [&] { return comparison.Ours(); }, [&] { return comparison.Curl(); });
        std::printf(
            "%-5s tiles=%-4d | tessellon-cli %5.0f tiles/s | curl %5.0f tiles/s | ratio %s\n",
            service.Scheme.c_str(), size.Tiles(), bench::SpreadOf(figures.Ours).Median,
            bench::SpreadOf(figures.Peer).Median, bench::RatioText(figures).c_str());
        std::fflush(stdout);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s BIN_DIR [http|https] [TILES]...\n", argv[0]);
        return 2;
    }
    const std::string bin = argv[1];
    Selection selection;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "http" || arg == "https") {
            selection.Schemes.push_back(arg);
        } else {
            selection.Tiles.push_back(std::atoi(arg.c_str()));
        }
    }
    try {
        // The program's own pace, as a user has it.
        ::unsetenv("TESSELLON_PACE_MS");
        const test::TempDir dir;
        const std::string tiles = dir.File("tiles/");
        FillTileFolder(tiles);
        const std::string certificateFile = dir.File("server.pem");
        const std::string keyFile = dir.File("server.key");
        bench::WriteCertificate(certificateFile, keyFile);
        ::setenv("SSL_CERT_FILE", certificateFile.c_str(), 1);
        const std::uintmax_t tileBytes = fs::file_size(tiles + "tile.png");
        std::printf("tile %ju bytes, %d pairs per figure\n", tileBytes, kPairs);
        if (selection.Wants("http")) {
            const bench::ServerProcess server(bin, {"--root", tiles});
            CompareSizes(bin, {"http", server.Host(), dir.File("http.ini"), {}}, dir.Path(),
                         tileBytes, selection);
        }
        if (selection.Wants("https")) {
            const bench::ServerProcess server(
                bin, {"--root", tiles, "--cert", certificateFile, "--key", keyFile});
            CompareSizes(
                bin, {"https", server.Host(), dir.File("https.ini"), {"--cacert", certificateFile}},
                dir.Path(), tileBytes, selection);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_unpaced_download: %s\n", e.what());
        return 1;
    }
    return 0;
}
