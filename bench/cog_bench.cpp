// Combines a task of 100 x 100 tiles (25,600 x 25,600 pixels) into a Cloud
// Optimized GeoTIFF with overviews with the combiner program, as a user runs
// it, and the same tiles with GDAL's gdal_translate -of COG from a VRT that
// places them, in turns, each a child process measured for wall time and
// peak resident memory. Both sides compress alike and average 2 x 2 for the
// overviews: PNG tiles with deflate (level 1, horizontal predictor), then
// JPEG tiles with JPEG (quality 75).
// Targets: at least 2x faster than gdal_translate, at most 128 MiB.
//
// Usage: bench_cog BIN_FOLDER SCRATCH_FOLDER [TILES_A_SIDE [PAIRS]]

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "child_process.h"
#include "geo/web_mercator.h"
#include "paired_runs.h"
#include "platform/files.h"
#include "tile_task.h"

namespace {

using namespace tessellon;

// GDAL's view of the tiles: each placed where it lies in the image, in
// EPSG:3857. The source properties spare GDAL opening every tile to learn
// its size.
std::string VrtOf(const std::vector<std::string>& tiles, int side) {
    const double pixel = 2 * kHalfWorldMetres / (256.0 * (1 << bench::kTaskZoom));
    char head[512];
    std::snprintf(head, sizeof head,
                  "<VRTDataset rasterXSize=\"%d\" rasterYSize=\"%d\">\n"
                  "  <SRS>EPSG:3857</SRS>\n"
                  "  <GeoTransform>%.10f, %.15f, 0, %.10f, 0, %.15f</GeoTransform>\n",
                  side * 256, side * 256, -kHalfWorldMetres + bench::kTaskMinX * 256 * pixel, pixel,
                  kHalfWorldMetres - bench::kTaskMinY * 256 * pixel, -pixel);
    std::string vrt = head;
    const char* colours[] = {"Red", "Green", "Blue"};
    for (int band = 1; band <= 3; ++band) {
        vrt.append("  <VRTRasterBand dataType=\"Byte\" band=\"")
            .append(std::to_string(band))
            .append("\">\n    <ColorInterp>")
            .append(colours[band - 1])
            .append("</ColorInterp>\n");
        for (std::size_t i = 0; i < tiles.size(); ++i) {
            char source[1024];
            std::snprintf(
                source, sizeof source,
                "    <SimpleSource><SourceFilename relativeToVRT=\"0\">%s</SourceFilename>"
                "<SourceBand>%d</SourceBand><SourceProperties RasterXSize=\"256\" "
                "RasterYSize=\"256\" DataType=\"Byte\" BlockXSize=\"256\" BlockYSize=\"1\"/>"
                "<SrcRect xOff=\"0\" yOff=\"0\" xSize=\"256\" ySize=\"256\"/>"
                "<DstRect xOff=\"%zu\" yOff=\"%zu\" xSize=\"256\" ySize=\"256\"/></SimpleSource>\n",
                tiles[i].c_str(), band, i % static_cast<std::size_t>(side) * 256,
                i / static_cast<std::size_t>(side) * 256);
            vrt.append(source);
        }
        vrt.append("  </VRTRasterBand>\n");
    }
    return vrt.append("</VRTDataset>\n");
}

double Median(std::vector<double> values) {
    return bench::SpreadOf(std::move(values)).Median;
}

void Compare(const std::string& scratch, const std::string& bin, int side, int pairs, bool jpeg) {
    const std::string folder = scratch + (jpeg ? "jpeg/" : "png/");
    std::filesystem::create_directories(folder);
    // Making the tiles takes longer than a pair: a scratch folder that has
    // them from an earlier run keeps them.
    if (!FileExists(folder + "tiles.vrt")) {
        const std::vector<std::string> tiles = bench::MakeTileTask(folder, "cog.tsln", side, jpeg);
        WriteFileAtomic(folder + "tiles.vrt", VrtOf(tiles, side));
    }

    const std::string ours = folder + "combiner.tif";
    const std::string theirs = folder + "gdal.tif";
    std::vector<std::string> combiner{
        bin + "combiner", folder + "cog.tsln", "--output", ours, "--cog", "--force"};
    std::vector<std::string> gdal{
        "gdal_translate", "-q", "-of", "COG", "-co", "BLOCKSIZE=512", "-co", "RESAMPLING=AVERAGE"};
    if (jpeg) {
        combiner.insert(combiner.end(), {"--compress", "jpeg", "--quality", "75"});
        gdal.insert(gdal.end(), {"-co", "COMPRESS=JPEG", "-co", "QUALITY=75"});
    } else {
        combiner.insert(combiner.end(), {"--compress", "deflate"});
        gdal.insert(gdal.end(),
                    {"-co", "COMPRESS=DEFLATE", "-co", "LEVEL=1", "-co", "PREDICTOR=YES"});
    }
    gdal.insert(gdal.end(), {folder + "tiles.vrt", theirs});

    std::vector<double> ourSeconds, gdalSeconds, ourPeaks, gdalPeaks;
    double ourBytes = 0, gdalBytes = 0;
    const auto run = [](const std::vector<std::string>& args, const std::string& output,
                        std::vector<double>& seconds, std::vector<double>& peaks, double& bytes) {
        std::filesystem::remove(output);
        const bench::ChildRun child = bench::RunChild(args, true);
        seconds.push_back(child.Seconds);
        peaks.push_back(child.PeakMiB);
        bytes = static_cast<double>(std::filesystem::file_size(output));
        return 1 / child.Seconds;
    };
    const bench::PairedFigures figures = bench::RunPairs(
        pairs, [&] { return run(combiner, ours, ourSeconds, ourPeaks, ourBytes); },
        [&] { return run(gdal, theirs, gdalSeconds, gdalPeaks, gdalBytes); });
    std::printf("%s tiles to a COG with %s: gdal_translate time / combiner time %s\n",
                jpeg ? "JPEG" : "PNG", jpeg ? "JPEG" : "deflate",
                bench::RatioText(figures).c_str());
    std::printf(
        "  combiner %.1f s, peak %.0f MiB (most %.0f), %.0f MiB file; "
        "gdal_translate %.1f s, peak %.0f MiB, %.0f MiB file\n",
        Median(ourSeconds), Median(ourPeaks), *std::max_element(ourPeaks.begin(), ourPeaks.end()),
        ourBytes / 1048576.0, Median(gdalSeconds), Median(gdalPeaks), gdalBytes / 1048576.0);
    std::fflush(stdout);
    std::filesystem::remove(ours);
    std::filesystem::remove(theirs);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 5) {
        std::fprintf(stderr, "usage: %s BIN_FOLDER SCRATCH_FOLDER [TILES_A_SIDE [PAIRS]]\n",
                     argv[0]);
        return 2;
    }
    const std::string bin = std::string(argv[1]) + "/";
    const std::string scratch = std::string(argv[2]) + "/";
    const int side = argc > 3 ? std::atoi(argv[3]) : 100;
    // A pair takes a minute or two at full size.
    const int pairs = argc > 4 ? std::atoi(argv[4]) : 5;
    // GDAL keeps 100 tiles open by default, fewer than two rows of 100 that
    // a band of 512 rows reads: a user who knows raises it.
    setenv("GDAL_MAX_DATASET_POOL_SIZE", "1000", 1);
    Compare(scratch, bin, side, pairs, false);
    Compare(scratch, bin, side, pairs, true);
    return 0;
}
