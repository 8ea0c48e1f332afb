// The combiner's GeoTIFF options as GDAL and libtiff read the files back:
// each compression, overviews, the Cloud Optimized layout, and the choice
// of compression for JPEG tiles and for images with alpha.

#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdlib>

#include "combine_fixture.h"
#include "output/map_combiner.h"

namespace tessellon {
namespace {

using test::Raster;

// Shading with grain, different in each tile, so that an average of the
// wrong pixels, or a tile in the wrong place, shows; smooth enough for the
// lossy codecs to keep close.
Raster Pattern(int seed) {
    Raster raster{256, 256, 3, std::vector<std::uint8_t>(256 * 256 * 3)};
    auto noise = static_cast<std::uint32_t>(seed * 7919 + 1);
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            noise = noise * 1664525u + 1013904223u;
            std::uint8_t* at = raster.Pixels.data() + (y * 256 + x) * 3;
            at[0] = static_cast<std::uint8_t>(x / 2 + seed * 20 + (noise >> 29));
            at[1] = static_cast<std::uint8_t>(y / 2 + seed * 25);
            at[2] = static_cast<std::uint8_t>((x + y) / 4 + (noise >> 27));
        }
    }
    return raster;
}

// One image of a TIFF as libtiff reads it, RGBA.
struct Level {
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
    std::vector<std::uint32_t> Pixels;
    std::uint8_t At(std::uint32_t x, std::uint32_t y, int channel) const {
        return static_cast<std::uint8_t>(Pixels[y * Width + x] >> (8 * channel));
    }
};

Level ReadLevel(const std::string& path, int directory) {
    Level level;
    TIFF* tiff = TIFFOpen(path.c_str(), "r");
    EXPECT_NE(tiff, nullptr) << path;
    if (tiff == nullptr || !TIFFSetDirectory(tiff, static_cast<tdir_t>(directory))) {
        ADD_FAILURE() << path << " has no image " << directory;
        if (tiff != nullptr) {
            TIFFClose(tiff);
        }
        return level;
    }
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &level.Width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &level.Height);
    level.Pixels.resize(std::size_t{level.Width} * level.Height);
    EXPECT_TRUE(TIFFReadRGBAImageOriented(tiff, level.Width, level.Height, level.Pixels.data(),
                                          ORIENTATION_TOPLEFT, 0));
    TIFFClose(tiff);
    return level;
}

// How far two images of one size differ, a channel of a pixel at most and
// on average, counting only pixels that show (alpha above 0 in either).
struct Difference {
    int Largest = 0;
    double Mean = 0;
};

Difference Compare(const Level& a, const Level& b) {
    EXPECT_EQ(a.Width, b.Width);
    EXPECT_EQ(a.Height, b.Height);
    Difference difference;
    std::int64_t sum = 0;
    std::int64_t count = 0;
    for (std::uint32_t y = 0; y < std::min(a.Height, b.Height); ++y) {
        for (std::uint32_t x = 0; x < std::min(a.Width, b.Width); ++x) {
            if (a.At(x, y, 3) == 0 && b.At(x, y, 3) == 0) {
                continue;
            }
            for (int c = 0; c < 4; ++c) {
                const int apart = std::abs(a.At(x, y, c) - b.At(x, y, c));
                difference.Largest = std::max(difference.Largest, apart);
                sum += apart;
                ++count;
            }
        }
    }
    difference.Mean = count > 0 ? static_cast<double>(sum) / static_cast<double>(count) : 0;
    return difference;
}

int LargestDifference(const Level& a, const Level& b) {
    return Compare(a, b).Largest;
}

// Whether a lossy codec kept `got` close to `expected`: near on average,
// and nowhere wildly off (its error peaks where tiles of different hues meet).
void ExpectClose(const Level& got, const Level& expected) {
    const Difference difference = Compare(got, expected);
    EXPECT_LE(difference.Mean, 3.0);
    EXPECT_LE(difference.Largest, 64);
}

// GDAL's 2 x 2 average of the full image of `path`, read without its overviews.
Level GdalHalf(const std::string& path, const std::string& scratch) {
    const test::Run run = test::RunCommand(
        "gdal_translate -q -oo OVERVIEW_LEVEL=NONE -r average -outsize 50% 50% -co "
        "COMPRESS=NONE " +
        test::Quoted(path) + " " + test::Quoted(scratch));
    EXPECT_EQ(run.Status, 0) << run.Output;
    return ReadLevel(scratch, 0);
}

// A python with GDAL's bindings: Debian's, which python3-gdal serves, even
// where another python3 comes first on the PATH.
std::string PythonWithGdal() {
    for (const char* python : {"/usr/bin/python3", "python3"}) {
        if (test::RunCommand(std::string(python) + " -c 'import osgeo_utils' 2>&1").Status == 0) {
            return python;
        }
    }
    return {};
}

class GeoTiff : public test::SmallTask {
protected:
    // Five tiles of the 2 x 3; the last one is missing.
    void PutPatternTiles(bool jpeg) {
        for (int i = 0; i < 5; ++i) {
            const Raster tile = Pattern(i);
            PutTile(kMinX + i % 2, kMinY + i / 2,
                    jpeg ? test::JpegOf(tile, 90) : test::PngOf(tile));
        }
    }

    // What the tiles hold: the full image as the combiner should write it.
    Level Expected() const {
        Level level{512, 768, std::vector<std::uint32_t>(512 * 768, 0xffffffffu)};
        for (int i = 0; i < 5; ++i) {
            const Raster tile = Pattern(i);
            for (std::uint32_t y = 0; y < 256; ++y) {
                for (std::uint32_t x = 0; x < 256; ++x) {
                    const std::uint8_t* p = tile.Pixels.data() + (y * 256 + x) * 3;
                    level.Pixels[(y + 256 * (i / 2)) * 512 + x + 256 * (i % 2)] =
                        0xff000000u | p[2] << 16 | p[1] << 8 | p[0];
                }
            }
        }
        return level;
    }

    CombineResult Combine(const std::string& name, TiffLayout layout,
                          std::optional<TiffCompression> compression = std::nullopt) {
        CombineOptions options;
        options.OutputPath = dir.File(name);
        options.Format = ImageFormat::Tiff;
        options.Layout = layout;
        options.Compression = compression;
        return CombineTiles(Open(), options);
    }
};

TEST_F(GeoTiff, EveryCompressionKeepsThePixelsOfEveryLevel) {
    if (!test::ToolInstalled("gdal_translate")) {
        GTEST_SKIP() << "gdal_translate is not installed";
    }
    Start();
    PutPatternTiles(false);
    // Deflate's overview, checked against GDAL's, stands for the others.
    Level reference;
    for (const TiffCompressionRow& row : TiffCompressionRows()) {
        SCOPED_TRACE(row.Name);
        const std::string path = dir.File(std::string(row.Name) + ".tif");
        Combine(std::string(row.Name) + ".tif", TiffLayout::Cog, row.Compression);
        const Level full = ReadLevel(path, 0);
        const Level overview = ReadLevel(path, 1);
        if (row.Lossy) {
            ExpectClose(full, Expected());
            ExpectClose(overview, reference);
        } else {
            EXPECT_EQ(LargestDifference(full, Expected()), 0);
        }
        if (row.Compression == TiffCompression::Deflate) {
            // GDAL's average of the full image, but for rounding.
            EXPECT_LE(LargestDifference(overview, GdalHalf(path, dir.File("half.tif"))), 1);
            reference = overview;
        } else if (!row.Lossy) {
            EXPECT_EQ(LargestDifference(overview, reference), 0);
        }
    }
}

TEST_F(GeoTiff, TheCogPassesGdalsValidatorAndGdalSeesEveryOverview) {
    if (!test::ToolInstalled("gdalinfo")) {
        GTEST_SKIP() << "gdalinfo is not installed";
    }
    Start();
    PutPatternTiles(false);
    Combine("cog.tif", TiffLayout::Cog);
    Combine("overviews.tif", TiffLayout::Overviews);

    const std::string cog = test::GdalInfo(dir.File("cog.tif"));
    EXPECT_NE(cog.find("\"block\":[512,512]"), std::string::npos) << cog;
    EXPECT_NE(cog.find("\"overviews\":[{\"size\":[256,384]},{\"size\":[128,192]}]"),
              std::string::npos)
        << cog;
    EXPECT_NE(cog.find("\"proj:epsg\":3857"), std::string::npos) << cog;
    const std::string plain = test::GdalInfo(dir.File("overviews.tif"));
    EXPECT_NE(plain.find("\"block\":[256,256]"), std::string::npos) << plain;
    EXPECT_NE(plain.find("\"overviews\":[{\"size\":[256,384]},{\"size\":[128,192]}]"),
              std::string::npos)
        << plain;

    const std::string python = PythonWithGdal();
    if (python.empty()) {
        GTEST_SKIP() << "python3-gdal is not installed";
    }
    const test::Run run =
        test::RunCommand(python + " -m osgeo_utils.samples.validate_cloud_optimized_geotiff " +
                         test::Quoted(dir.File("cog.tif")) + " 2>&1");
    EXPECT_EQ(run.Status, 0) << run.Output;
    EXPECT_NE(run.Output.find("is a valid cloud optimized GeoTIFF"), std::string::npos)
        << run.Output;
}

TEST_F(GeoTiff, AShapesGapsAndTheTilesAlphaAreAnAlphaBandOnEveryLevelAveragedAsGdalDoes) {
    if (!test::ToolInstalled("gdal_translate")) {
        GTEST_SKIP() << "gdal_translate is not installed";
    }
    StartShaped(13);
    PutPatternTiles(false);
    // A tile whose pixels are see-through in places and half so in others,
    // so that 2 x 2 blocks mix them.
    Raster seeThrough = Pattern(7);
    seeThrough.Channels = 4;
    seeThrough.Pixels.clear();
    const Raster colours = Pattern(7);
    for (std::size_t i = 0; i < 256 * 256; ++i) {
        seeThrough.Pixels.insert(seeThrough.Pixels.end(), colours.Pixels.begin() + i * 3,
                                 colours.Pixels.begin() + i * 3 + 3);
        seeThrough.Pixels.push_back(i % 3 == 0 ? 0 : static_cast<std::uint8_t>(i % 256));
    }
    PutTile(kMinX, kMinY, test::PngOf(seeThrough));
    Combine("shape.tif", TiffLayout::Overviews);
    const std::string path = dir.File("shape.tif");
    const Level full = ReadLevel(path, 0);
    // Tile (6743, 3103) lies outside the triangle.
    EXPECT_EQ(full.At(300, 600, 3), 0);
    EXPECT_EQ(full.At(10, 300, 3), 255);
    const Level half = ReadLevel(path, 1);
    EXPECT_LE(LargestDifference(half, GdalHalf(path, dir.File("half.tif"))), 1);
    EXPECT_EQ(half.At(150, 300, 3), 0);
}

TEST_F(GeoTiff, JpegTilesBecomeJpegInTiffUnlessTheImageNeedsAlpha) {
    if (!test::ToolInstalled("gdalinfo")) {
        GTEST_SKIP() << "gdalinfo is not installed";
    }
    params.MapsType = kMapsTypeSatellite;
    Start();
    PutPatternTiles(true);
    CombineResult result = Combine("jpeg.tif", TiffLayout::Plain);
    EXPECT_TRUE(result.Notes.empty());
    EXPECT_NE(test::GdalInfo(dir.File("jpeg.tif")).find("\"COMPRESSION\":\"YCbCrJPEG\""),
              std::string::npos);
    ExpectClose(ReadLevel(dir.File("jpeg.tif"), 0), Expected());

    // A shape's gaps need alpha: deflate keeps it, unless JPEG is asked for.
    StartShaped(13);
    PutPatternTiles(true);
    result = Combine("shape.tif", TiffLayout::Plain);
    ASSERT_EQ(result.Notes.size(), 1u);
    EXPECT_NE(result.Notes[0].find("deflate"), std::string::npos) << result.Notes[0];
    const std::string shape = test::GdalInfo(dir.File("shape.tif"));
    EXPECT_NE(shape.find("\"COMPRESSION\":\"DEFLATE\""), std::string::npos) << shape;
    EXPECT_NE(shape.find("\"colorInterpretation\":\"Alpha\""), std::string::npos) << shape;

    result = Combine("white.tif", TiffLayout::Plain, TiffCompression::Jpeg);
    ASSERT_EQ(result.Notes.size(), 1u);
    EXPECT_NE(result.Notes[0].find("laid on white"), std::string::npos) << result.Notes[0];
    const Level white = ReadLevel(dir.File("white.tif"), 0);
    EXPECT_GE(white.At(300, 600, 0), 250);
    EXPECT_EQ(white.At(300, 600, 3), 255);
}

TEST_F(GeoTiff, RefusesAQualityForALosslessCodecAndTiffChoicesForAnotherFormat) {
    Start();
    PutPatternTiles(false);
    CombineOptions options;
    options.OutputPath = dir.File("map.tif");
    options.Format = ImageFormat::Tiff;
    options.Quality = 80;
    EXPECT_THROW(CombineTiles(Open(), options), ECombineError);
    options.Compression = TiffCompression::Webp;
    EXPECT_NO_THROW(CombineTiles(Open(), options));
    options.OutputPath = dir.File("map.png");
    options.Format = ImageFormat::Png;
    EXPECT_THROW(CombineTiles(Open(), options), ECombineError);
}

}  // namespace
}  // namespace tessellon
