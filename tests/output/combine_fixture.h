#pragma once
// A task of 2 x 3 tiles (zoom 13, columns 6742..6743, rows 3101..3103) whose
// typed area runs through the middle of its edge tiles, or a triangle over
// the same tiles and the zoom below, with tiles of solid colours encoded here, and readers of what
// the combiner writes: the image decoded back and GDAL's view of it.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "output/task_reader.h"
#include "sample_fields.h"
#include "task_fixture.h"

namespace tessellon::test {

using Rgb = std::array<std::uint8_t, 3>;

inline constexpr Rgb kWhite{255, 255, 255};

// A real 256 x 256 palette PNG of one colour (200, 30, 40), small enough to
// write often.
extern const std::string kSolidPng;

// An image's pixels, rows top down, Channels bytes a pixel: 1 grey, 3 RGB,
// 4 RGBA.
struct Raster {
    int Width = 0;
    int Height = 0;
    int Channels = 3;
    std::vector<std::uint8_t> Pixels;
};
Raster SolidRaster(Rgb colour, int side = 256);

std::string PngOf(const Raster& raster);
std::string JpegOf(const Raster& raster, int quality = 95);
// Lossless unless a quality (0..100) is given.
std::string WebpOf(const Raster& raster, std::optional<float> quality = std::nullopt);

// 256 x 256 tiles of one colour, or of another size for a faulty one.
std::string EncodePng(Rgb colour, int side = 256);
std::string EncodeJpeg(Rgb colour);
std::string EncodeWebp(Rgb colour);

// A decoded image, rows top down, RGB or RGBA.
struct Decoded {
    int Width = 0;
    int Height = 0;
    int Channels = 3;
    std::vector<std::uint8_t> Pixels;
    Rgb At(int x, int y) const;
    // 255 for an image without alpha.
    std::uint8_t Alpha(int x, int y) const;
};
// With `withAlpha` the image is read as RGBA, whatever it holds.
Decoded DecodePngFile(const std::string& path, bool withAlpha = false);

// The program's output, all of it, and its exit status.
struct Run {
    int Status = -1;
    std::string Output;
};
Run RunCommand(const std::string& command);
bool ToolInstalled(const std::string& tool);
std::string Quoted(const std::string& text);

// An MBTiles file as another program makes it (TMS rows): its metadata and
// tiles tables, then `sql`.
void MakeMbtiles(const std::string& path, const std::string& sql);

// gdalinfo -json of `path`, with every blank removed so fields read in one line.
std::string GdalInfo(const std::string& path);
// The six numbers of the geotransform gdalinfo reports.
std::vector<double> GeoTransformIn(const std::string& info);
// The colour gdallocationinfo reads at pixel (x, y).
Rgb GdalPixel(const std::string& path, int x, int y);

class SmallTask : public SampleTask {
protected:
    SmallTask();

    // Writes the project and its tile folder; the tiles are up to the test.
    void Start();
    // The same for a task of zooms 13..zoomTo over the sample triangle
    // (MakeSampleTriangle).
    void StartShaped(int zoomTo);
    TaskReader Open() const;
    void PutTile(std::int32_t x, std::int32_t y, const std::string& bytes) const;
    void PutTile(const TileId& tile, const std::string& bytes) const;

    static constexpr std::int32_t kMinX = 6742;
    static constexpr std::int32_t kMinY = 3101;
    std::string blankFolder = dir.File("blankimg/");
};

}  // namespace tessellon::test
