// Combines a task of 100 x 100 tiles (25,600 x 25,600 pixels) into a PNG and
// into a GeoTIFF with the combiner program, and the same tiles with
// ImageMagick's montage in the same run, each a child process measured for
// wall time and peak resident memory.
// Targets: the combiner at most 64 MiB, and at least 3x faster than montage.
//
// Usage: bench_combine BIN_FOLDER SCRATCH_FOLDER

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "child_process.h"
#include "platform/files.h"
#include "tile_task.h"

namespace {

using namespace tessellon;

constexpr int kSide = 100;

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

    const std::vector<std::string> tiles =
        bench::MakeTileTask(scratch, "combine.tsln", kSide, false);
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
