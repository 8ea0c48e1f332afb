// The tile decoder on its own: each kind of tile into its place in a row of
// tiles, pixels and alpha as stored (checked against GDAL's reading of the
// same files), and a reason for every tile it cannot draw.

#include "output/tile_decoder.h"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdlib>

#include "combine_fixture.h"
#include "platform/files.h"
#include "temp_dir.h"

namespace tessellon {
namespace {

using test::Raster;

// Every pixel different from its neighbours, so a pixel out of place shows.
Raster Pattern(int channels, int side = kTileSide) {
    Raster raster{side, side, channels, {}};
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const std::uint8_t values[4] = {static_cast<std::uint8_t>(x),
                                            static_cast<std::uint8_t>(y),
                                            static_cast<std::uint8_t>(x * 7 + y * 13), 255};
            raster.Pixels.insert(raster.Pixels.end(), values, values + channels);
        }
    }
    if (channels == 1) {
        for (std::size_t i = 0; i < raster.Pixels.size(); ++i) {
            raster.Pixels[i] = static_cast<std::uint8_t>((i % side) ^ (i / side));
        }
    }
    return raster;
}

// A smooth picture, which lossy encoders keep close.
Raster Gradient(int channels) {
    Raster raster{kTileSide, kTileSide, channels, {}};
    for (int y = 0; y < kTileSide; ++y) {
        for (int x = 0; x < kTileSide; ++x) {
            const std::uint8_t values[3] = {static_cast<std::uint8_t>(x),
                                            static_cast<std::uint8_t>(y), 128};
            raster.Pixels.insert(raster.Pixels.end(), values, values + channels);
        }
    }
    return raster;
}

// The RGB a pixel of `raster` should decode to: grey spread to three bytes.
test::Rgb Expected(const Raster& raster, int x, int y) {
    const std::uint8_t* pixel =
        raster.Pixels.data() + (static_cast<std::size_t>(y) * raster.Width + x) * raster.Channels;
    return raster.Channels == 1 ? test::Rgb{pixel[0], pixel[0], pixel[0]}
                                : test::Rgb{pixel[0], pixel[1], pixel[2]};
}

// A row of three tiles' places; the tile is decoded into the middle one.
class Band {
public:
    static constexpr std::size_t kStride = 3 * kTileRowBytes;
    static constexpr std::uint8_t kUntouched = 0x55;

    std::string Decode(const std::string& bytes) {
        return DecodeTile(bytes, pixels_.data() + kTileRowBytes, kStride);
    }

    const std::uint8_t* Pixel(int x, int y) const {
        return pixels_.data() + static_cast<std::size_t>(y) * kStride + kTileRowBytes +
               static_cast<std::size_t>(x) * 4;
    }
    test::Rgb At(int x, int y) const {
        const std::uint8_t* at = Pixel(x, y);
        return {at[0], at[1], at[2]};
    }
    std::uint8_t Alpha(int x, int y) const { return Pixel(x, y)[3]; }

    // True when the places beside the tile kept their bytes.
    bool NeighboursUntouched() const {
        for (std::size_t y = 0; y < static_cast<std::size_t>(kTileSide); ++y) {
            for (const std::size_t x :
                 {std::size_t{0}, kTileRowBytes - 1, 2 * kTileRowBytes, kStride - 1}) {
                if (pixels_[y * kStride + x] != kUntouched) {
                    return false;
                }
            }
        }
        return true;
    }

private:
    std::vector<std::uint8_t> pixels_ = std::vector<std::uint8_t>(kStride * kTileSide, kUntouched);
};

int Difference(test::Rgb a, test::Rgb b) {
    int most = 0;
    for (int i = 0; i < 3; ++i) {
        most = std::max(most, std::abs(a[i] - b[i]));
    }
    return most;
}

// Lossless kinds pixel for pixel, lossy ones close to what was encoded, each
// in its place in the row and nothing beside it touched.
TEST(TileDecoder, EachKindComesOutInItsPlaceInARowOfTiles) {
    struct Case {
        const char* Kind;
        Raster Image;
        std::string Bytes;
        int Tolerance;
    };
    const Raster rgb = Pattern(3);
    const Raster grey = Pattern(1);
    const Raster smooth = Gradient(3);
    const Raster smoothGrey = Gradient(1);
    const Case cases[] = {
        {"PNG", rgb, test::PngOf(rgb), 0},
        {"grey PNG", grey, test::PngOf(grey), 0},
        {"WebP", rgb, test::WebpOf(rgb), 0},
        {"JPEG", smooth, test::JpegOf(smooth), 8},
        {"grey JPEG", smoothGrey, test::JpegOf(smoothGrey), 8},
        {"lossy WebP", smooth, test::WebpOf(smooth, 95.0f), 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Kind);
        Band band;
        ASSERT_EQ(band.Decode(c.Bytes), "");
        int most = 0;
        for (int y = 0; y < kTileSide; ++y) {
            for (int x = 0; x < kTileSide; ++x) {
                most = std::max(most, Difference(band.At(x, y), Expected(c.Image, x, y)));
                ASSERT_EQ(band.Alpha(x, y), 255) << x << "," << y;
            }
        }
        EXPECT_LE(most, c.Tolerance);
        EXPECT_TRUE(band.NeighboursUntouched());
    }
}

// Tiles of a map overlay are transparent where they show nothing: the alpha
// comes out as stored, and the colour under it too where the encoder keeps
// it (lossless WebP may change the colour of clear pixels).
TEST(TileDecoder, AlphaIsKeptAsStored) {
    Raster rgba{kTileSide, kTileSide, 4, {}};
    for (int y = 0; y < kTileSide; ++y) {
        for (int x = 0; x < kTileSide; ++x) {
            // The left half clear, a band of half cover, the rest opaque.
            const std::uint8_t alpha = x < 128 ? 0 : x < 160 ? 128 : 255;
            rgba.Pixels.insert(rgba.Pixels.end(), {200, 30, 60, alpha});
        }
    }
    for (const auto& [kind, bytes] :
         {std::pair{"PNG", test::PngOf(rgba)}, std::pair{"WebP", test::WebpOf(rgba)}}) {
        SCOPED_TRACE(kind);
        EXPECT_TRUE(TileHasAlpha(bytes));
        Band band;
        ASSERT_EQ(band.Decode(bytes), "");
        EXPECT_EQ(band.Alpha(0, 0), 0);
        EXPECT_EQ(band.Alpha(127, 255), 0);
        EXPECT_EQ(band.Alpha(140, 50), 128);
        EXPECT_EQ(band.At(140, 50), (test::Rgb{200, 30, 60}));
        EXPECT_EQ(band.Alpha(200, 100), 255);
        EXPECT_EQ(band.At(200, 100), (test::Rgb{200, 30, 60}));
    }
    EXPECT_FALSE(TileHasAlpha(test::PngOf(Pattern(3))));
    EXPECT_FALSE(TileHasAlpha(test::WebpOf(Pattern(3))));
    EXPECT_FALSE(TileHasAlpha(test::JpegOf(Gradient(3))));
}

// Laid on white in sRGB, as a browser shows it: black at half cover is mid
// grey (128), not the 186 a blend in linear light gives.
TEST(TileDecoder, TransparencyLaidOnWhiteForFormatsWithoutAlpha) {
    const std::uint8_t rgba[] = {0, 0, 0, 128, 200, 30, 60, 0, 200, 30, 60, 255, 10, 20, 30, 1};
    std::uint8_t rgb[12] = {};
    RgbaOnWhite(rgba, 4, rgb);
    const std::uint8_t expected[] = {127, 127, 127, 255, 255, 255, 200, 30, 60, 254, 254, 254};
    EXPECT_TRUE(std::equal(rgb, rgb + 12, expected));
}

// A PNG as other encoders write them, through libpng's full interface: any
// colour type and depth, a gamma chunk, a palette with transparency,
// interlacing. `samples` holds the rows as stored, 16-bit samples big-endian.
struct PngLayout {
    int ColourType = PNG_COLOR_TYPE_RGB;
    int Depth = 8;
    std::vector<std::uint8_t> Samples;
    double Gamma = 0;
    std::vector<png_color> Palette;
    std::vector<std::uint8_t> PaletteAlpha;
    bool Interlaced = false;
};

PngLayout Layout(int colourType, int depth, std::vector<std::uint8_t> samples, double gamma = 0) {
    PngLayout layout;
    layout.ColourType = colourType;
    layout.Depth = depth;
    layout.Samples = std::move(samples);
    layout.Gamma = gamma;
    return layout;
}

void AppendToString(png_structp png, png_bytep data, std::size_t size) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<char*>(data), size);
}

std::string WritePng(const PngLayout& layout) {
    std::string bytes;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &bytes, AppendToString, nullptr);
    png_set_IHDR(png, info, kTileSide, kTileSide, layout.Depth, layout.ColourType,
                 layout.Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (layout.Gamma > 0) {
        png_set_gAMA(png, info, layout.Gamma);
    }
    if (!layout.Palette.empty()) {
        png_set_PLTE(png, info, layout.Palette.data(), static_cast<int>(layout.Palette.size()));
    }
    if (!layout.PaletteAlpha.empty()) {
        png_set_tRNS(png, info, layout.PaletteAlpha.data(),
                     static_cast<int>(layout.PaletteAlpha.size()), nullptr);
    }
    png_write_info(png, info);
    const std::size_t rowBytes = layout.Samples.size() / kTileSide;
    std::vector<png_bytep> rows;
    for (std::size_t y = 0; y < kTileSide; ++y) {
        rows.push_back(const_cast<png_bytep>(layout.Samples.data() + y * rowBytes));
    }
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return bytes;
}

// Samples that differ from pixel to pixel and channel to channel, for
// `channels` samples a pixel of `depth` bits (8 or 16).
std::vector<std::uint8_t> VariedSamples(int channels, int depth) {
    std::vector<std::uint8_t> samples;
    for (int y = 0; y < kTileSide; ++y) {
        for (int x = 0; x < kTileSide; ++x) {
            for (int c = 0; c < channels; ++c) {
                const int value = (x * (c + 1) + y * (3 - c) * 5 + c * 40) & 0xff;
                samples.push_back(static_cast<std::uint8_t>(value));
                if (depth == 16) {
                    samples.push_back(static_cast<std::uint8_t>((x * 31 + y) & 0xff));
                }
            }
        }
    }
    return samples;
}

// GDAL's reading of an image as RGBA, 16-bit samples by their high byte: the
// bands it reports (grey, grey and alpha, RGB, RGBA), a palette expanded.
std::vector<std::uint8_t> GdalRgba(const std::string& path, int bands, int depth, bool palette) {
    const std::string raw = path + ".raw";
    const test::Run run = test::RunCommand("gdal_translate -q -of ENVI -co INTERLEAVE=BIP " +
                                           std::string(palette ? "-expand rgba " : "") +
                                           test::Quoted(path) + " " + test::Quoted(raw) + " 2>&1");
    EXPECT_EQ(run.Status, 0) << run.Output;
    const std::string samples = ReadFileBytes(raw);
    const std::size_t bytesPerSample = depth == 16 ? 2 : 1;
    const std::size_t pixels = std::size_t{kTileSide} * kTileSide;
    EXPECT_EQ(samples.size(), pixels * static_cast<std::size_t>(bands) * bytesPerSample);
    std::vector<std::uint8_t> rgba;
    if (samples.size() != pixels * static_cast<std::size_t>(bands) * bytesPerSample) {
        return rgba;
    }
    auto sample = [&](std::size_t pixel, int band) {
        // ENVI keeps the machine's byte order: little-endian here.
        const std::size_t at =
            (pixel * static_cast<std::size_t>(bands) + static_cast<std::size_t>(band)) *
                bytesPerSample +
            bytesPerSample - 1;
        return static_cast<std::uint8_t>(samples[at]);
    };
    for (std::size_t pixel = 0; pixel < pixels; ++pixel) {
        const bool grey = bands <= 2;
        for (int c = 0; c < 3; ++c) {
            rgba.push_back(sample(pixel, grey ? 0 : c));
        }
        rgba.push_back(bands == 2 || bands == 4 ? sample(pixel, bands - 1) : 255);
    }
    return rgba;
}

// Each PNG layout decoded against GDAL's reading of the same file: alpha
// kept, no gamma correction (a gamma-1.0 grey 128 stays 128), 16 bits by the
// high byte, palettes with transparency, interlacing. Written before the
// decoder read PNG as stored, the gamma and alpha cases would fail: libpng's
// simple interface corrects gamma and blends in linear light.
TEST(TileDecoder, PixelsMatchGdalsReading) {
    if (!test::ToolInstalled("gdal_translate")) {
        GTEST_SKIP() << "gdal_translate is not installed";
    }
    std::vector<png_color> palette;
    std::vector<std::uint8_t> paletteAlpha;
    for (int i = 0; i < 16; ++i) {
        palette.push_back({static_cast<png_byte>(i * 16), static_cast<png_byte>(255 - i * 9),
                           static_cast<png_byte>(i * 5)});
        paletteAlpha.push_back(static_cast<std::uint8_t>(i * 17));
    }
    std::vector<std::uint8_t> indices;  // two 4-bit indices a byte
    for (int y = 0; y < kTileSide; ++y) {
        for (int x = 0; x < kTileSide / 2; ++x) {
            indices.push_back(static_cast<std::uint8_t>((x + y) * 0x13));
        }
    }
    const std::vector<std::uint8_t> grey128(std::size_t{kTileSide} * kTileSide, 128);
    PngLayout paletted = Layout(PNG_COLOR_TYPE_PALETTE, 4, indices);
    paletted.Palette = palette;
    paletted.PaletteAlpha = paletteAlpha;
    PngLayout interlaced = Layout(PNG_COLOR_TYPE_RGBA, 8, VariedSamples(4, 8));
    interlaced.Interlaced = true;
    const struct {
        const char* What;
        PngLayout Layout;
        int Bands;
        bool Palette;
    } cases[] = {
        {"RGBA", Layout(PNG_COLOR_TYPE_RGBA, 8, VariedSamples(4, 8)), 4, false},
        {"RGBA with gamma 1.0", Layout(PNG_COLOR_TYPE_RGBA, 8, VariedSamples(4, 8), 1.0), 4, false},
        {"grey 128 with gamma 1.0", Layout(PNG_COLOR_TYPE_GRAY, 8, grey128, 1.0), 1, false},
        {"16-bit RGB with gamma", Layout(PNG_COLOR_TYPE_RGB, 16, VariedSamples(3, 16), 0.7), 3,
         false},
        {"16-bit RGBA", Layout(PNG_COLOR_TYPE_RGBA, 16, VariedSamples(4, 16)), 4, false},
        {"16-bit grey and alpha", Layout(PNG_COLOR_TYPE_GRAY_ALPHA, 16, VariedSamples(2, 16)), 2,
         false},
        {"4-bit palette with alpha", paletted, 4, true},
        {"interlaced RGBA", interlaced, 4, false},
    };
    test::TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        const std::string bytes = WritePng(c.Layout);
        const std::string path = dir.File("tile.png");
        WriteFileAtomic(path, bytes);
        const std::vector<std::uint8_t> gdal = GdalRgba(path, c.Bands, c.Layout.Depth, c.Palette);
        ASSERT_FALSE(gdal.empty());
        Band band;
        ASSERT_EQ(band.Decode(bytes), "");
        int mismatches = 0;
        for (int y = 0; y < kTileSide; ++y) {
            for (int x = 0; x < kTileSide; ++x) {
                const std::uint8_t* ours = band.Pixel(x, y);
                const std::uint8_t* theirs =
                    gdal.data() + (static_cast<std::size_t>(y) * kTileSide + x) * 4;
                // The colour of a clear pixel shows nowhere: GDAL may give it as black.
                const bool clear = ours[3] == 0 && theirs[3] == 0;
                if (!clear && !std::equal(ours, ours + 4, theirs) && mismatches++ < 3) {
                    ADD_FAILURE() << "pixel " << x << "," << y << ": ours " << int{ours[0]} << " "
                                  << int{ours[1]} << " " << int{ours[2]} << " " << int{ours[3]}
                                  << ", GDAL's " << int{theirs[0]} << " " << int{theirs[1]} << " "
                                  << int{theirs[2]} << " " << int{theirs[3]};
                }
            }
        }
        EXPECT_EQ(mismatches, 0);
        EXPECT_EQ(TileHasAlpha(bytes), c.Bands == 2 || c.Bands == 4);
    }
}

TEST(TileDecoder, WhatCannotBeDrawnSaysWhy) {
    const std::string png = test::PngOf(Pattern(3));
    const std::string jpeg = test::JpegOf(Gradient(3));
    const std::string webp = test::WebpOf(Pattern(3));
    std::string badCrc = png;
    badCrc[29] = static_cast<char>(badCrc[29] ^ 1);  // the IHDR chunk's CRC
    Raster wide = Pattern(3, 128);
    const struct {
        const char* What;
        std::string Bytes;
        std::string Reason;
    } cases[] = {
        {"nothing", "", "not a PNG, JPEG or WebP image"},
        {"a page", "<html><body>Over quota</body></html>", "not a PNG, JPEG or WebP image"},
        {"a GIF", "GIF89a\x01\x00\x01\x00", "not a PNG, JPEG or WebP image"},
        {"a PNG cut short", png.substr(0, png.size() / 2), "PNG: "},
        {"a PNG's signature alone", png.substr(0, 8), "PNG: "},
        {"a PNG with a bad checksum", badCrc, "PNG: "},
        {"a small PNG", test::PngOf(wide), "the image is 128 x 128 pixels, not 256 x 256"},
        {"a JPEG's head alone", jpeg.substr(0, 20), "JPEG: "},
        {"a small JPEG", test::JpegOf(wide), "the image is 128 x 128 pixels, not 256 x 256"},
        {"a small WebP", test::WebpOf(wide), "the image is 128 x 128 pixels, not 256 x 256"},
        {"a WebP cut short", webp.substr(0, webp.size() / 2), "WebP: "},
        {"a WebP name on other bytes", std::string("RIFF\x10\0\0\0WEBPVP8 junkjunk", 24),
         "WebP: not a WebP image, or a damaged one"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        Band band;
        const std::string reason = band.Decode(c.Bytes);
        if (c.Reason.ends_with(": ")) {
            // The library's own words follow the kind.
            EXPECT_TRUE(reason.starts_with(c.Reason)) << reason;
            EXPECT_GT(reason.size(), c.Reason.size()) << reason;
        } else {
            EXPECT_EQ(reason, c.Reason);
        }
        EXPECT_TRUE(band.NeighboursUntouched());
    }
}

TEST(TileDecoder, DrawsADamagedJpegWithoutWritingToStandardError) {
    const std::string jpeg = test::JpegOf(Gradient(3));
    // Bytes no marker expects before the end of the image, and a file cut
    // in its data: libjpeg warns of both and goes on.
    std::string extraneous = jpeg;
    extraneous.insert(extraneous.size() - 2, "\x12\x34");
    for (const std::string& bytes : {extraneous, jpeg.substr(0, jpeg.size() * 3 / 4)}) {
        Band band;
        testing::internal::CaptureStderr();
        const std::string reason = band.Decode(bytes);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(reason, "");
    }
}

}  // namespace
}  // namespace tessellon
