// Combines a task of 100 x 100 tiles (25,600 x 25,600 pixels) into a PNG and
// into a GeoTIFF with the combiner program, and the same tiles with
// ImageMagick's montage in the same run, each a child process measured for
// wall time and peak resident memory.
// Targets: the combiner at most 64 MiB, and at least 3x faster than montage.
//
// Usage: bench_combine BIN_FOLDER SCRATCH_FOLDER

#include <png.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "child_process.h"
#include "geo/tile_math.h"
#include "platform/files.h"
#include "platform/message_sink.h"
#include "task/md_task.h"

namespace {

using namespace tessellon;

constexpr int kZoom = 13;
constexpr int kSide = 100;
constexpr int kMinX = 6700;
constexpr int kMinY = 3000;

class StderrMessages : public MessageSink {
public:
    void ShowMessage(const std::string& text) override {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
};

// Smooth shading with fine grain, different in every tile, so that PNG
// finds some but not much to compress, as in aerial imagery.
void WriteTile(const std::string& path, int column, int row) {
    std::vector<std::uint8_t> pixels(256 * 256 * 3);
    std::uint32_t noise = static_cast<std::uint32_t>(column * 7919 + row * 104729 + 1);
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            noise = noise * 1664525u + 1013904223u;
            const int grain = static_cast<int>(noise >> 28);
            std::uint8_t* at = pixels.data() + (y * 256 + x) * 3;
            at[0] = static_cast<std::uint8_t>((x + column * 2 + grain) & 0xff);
            at[1] = static_cast<std::uint8_t>((y + row * 2 + grain) & 0xff);
            at[2] = static_cast<std::uint8_t>(((x ^ y) / 2 + grain * 2) & 0xff);
        }
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = 256;
    image.height = 256;
    image.format = PNG_FORMAT_RGB;
    if (!png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), 0, nullptr)) {
        throw std::runtime_error("cannot write " + path);
    }
}

// A policy of ImageMagick's own that lifts Debian's caps on image size and
// memory, so montage may take the whole image.
std::string WritePermissivePolicy(const std::string& scratch) {
    const std::string folder = scratch + "magick/";
    std::filesystem::create_directories(folder);
    WriteFileAtomic(folder + "policy.xml",
                    "<policymap>\n"
                    "  <policy domain=\"resource\" name=\"memory\" value=\"8GiB\"/>\n"
                    "  <policy domain=\"resource\" name=\"map\" value=\"16GiB\"/>\n"
                    "  <policy domain=\"resource\" name=\"width\" value=\"1MP\"/>\n"
                    "  <policy domain=\"resource\" name=\"height\" value=\"1MP\"/>\n"
                    "  <policy domain=\"resource\" name=\"area\" value=\"16GP\"/>\n"
                    "  <policy domain=\"resource\" name=\"disk\" value=\"64GiB\"/>\n"
                    "</policymap>\n");
    return folder;
}

void Report(const char* what, const bench::ChildRun& ours, const bench::ChildRun& peer) {
    std::printf(
        "%s: combiner %.1f s, peak %.1f MiB; montage %.1f s, peak %.1f MiB; "
        "ratio montage/combiner %.1fx\n",
        what, ours.Seconds, ours.PeakMiB, peer.Seconds, peer.PeakMiB, peer.Seconds / ours.Seconds);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s BIN_FOLDER SCRATCH_FOLDER\n", argv[0]);
        return 2;
    }
    const std::string bin = std::string(argv[1]) + "/";
    const std::string scratch = std::string(argv[2]) + "/";

    TaskParameters params;
    params.Zoom = kZoom;
    params.LeftLongitude = TileXToLongitude(kMinX + 0.5, kZoom);
    params.RightLongitude = TileXToLongitude(kMinX + kSide - 0.5, kZoom);
    params.TopLatitude = TileYToLatitude(kMinY + 0.5, kZoom);
    params.BottomLatitude = TileYToLatitude(kMinY + kSide - 0.5, kZoom);
    params.MapsType = kMapsTypeMap;
    params.SavePath = scratch;
    params.TaskName = "combine.tsln";
    StderrMessages messages;
    const MDTask task(&params, messages);
    task.WriteTaskFiles({});

    std::vector<std::string> tiles;
    for (int row = 0; row < kSide; ++row) {
        for (int column = 0; column < kSide; ++column) {
            tiles.push_back(task.GetTilePath({task.Params->Zoom, kMinX + column, kMinY + row}));
            WriteTile(tiles.back(), column, row);
        }
    }
    std::error_code error;
    std::uintmax_t tileBytes = 0;
    for (const std::string& tile : tiles) {
        tileBytes += std::filesystem::file_size(tile, error);
    }
    std::printf("tiles: %zu PNG files, %.0f MiB\n", tiles.size(), tileBytes / 1048576.0);
    std::fflush(stdout);

    setenv("MAGICK_CONFIGURE_PATH", WritePermissivePolicy(scratch).c_str(), 1);
    for (const char* extension : {"png", "tif"}) {
        const std::string ours = scratch + "combined." + extension;
        const std::string theirs = scratch + "montage." + extension;
        const bench::ChildRun combined =
            bench::RunChild({bin + "combiner", scratch + "combine.tsln", "--output", ours});
        std::vector<std::string> montage{"montage", "-mode", "concatenate", "-tile", "100x"};
        montage.insert(montage.end(), tiles.begin(), tiles.end());
        montage.push_back(theirs);
        const bench::ChildRun peer = bench::RunChild(montage);
        Report(extension, combined, peer);
        std::printf("  sizes: combiner %.0f MiB, montage %.0f MiB\n",
                    std::filesystem::file_size(ours) / 1048576.0,
                    std::filesystem::file_size(theirs) / 1048576.0);
        // Each figure shows as soon as it is known: montage takes minutes.
        std::fflush(stdout);
        std::filesystem::remove(ours);
        std::filesystem::remove(theirs);
    }
    return 0;
}
