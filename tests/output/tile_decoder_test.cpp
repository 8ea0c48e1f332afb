// The tile decoder on its own: each kind of tile into its place in a row of
// tiles, transparency on white, and a reason for every tile it cannot draw.

#include "output/tile_decoder.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "combine_fixture.h"

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

    test::Rgb At(int x, int y) const {
        const std::uint8_t* at = pixels_.data() + static_cast<std::size_t>(y) * kStride +
                                 kTileRowBytes + static_cast<std::size_t>(x) * 3;
        return {at[0], at[1], at[2]};
    }

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
            }
        }
        EXPECT_LE(most, c.Tolerance);
        EXPECT_TRUE(band.NeighboursUntouched());
    }
}

// Tiles of a map overlay are transparent where it shows nothing: the combined
// image has no alpha, so those parts are white, as its gaps are.
TEST(TileDecoder, TransparencyIsLaidOnWhite) {
    Raster rgba = test::SolidRaster({200, 30, 60});
    rgba.Channels = 4;
    rgba.Pixels.clear();
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
        Band band;
        ASSERT_EQ(band.Decode(bytes), "");
        EXPECT_EQ(band.At(0, 0), test::kWhite);
        EXPECT_EQ(band.At(127, 255), test::kWhite);
        EXPECT_EQ(band.At(200, 100), (test::Rgb{200, 30, 60}));
        // Half cover lies between the colour and white.
        const test::Rgb half = band.At(140, 50);
        EXPECT_GT(half[0], 200);
        EXPECT_GT(half[1], 80);
        EXPECT_LT(half[1], 235);
        EXPECT_GT(half[2], half[1]);
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

}  // namespace
}  // namespace tessellon
