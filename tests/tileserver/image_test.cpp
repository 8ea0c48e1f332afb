#include <gtest/gtest.h>

#include <cstdlib>

#include "image_decode.h"
#include "image_encoding.h"
#include "platform/files.h"
#include "tile_painter.h"
#include "tile_source.h"

namespace tessellon::tileserver {
namespace {

using test::DecodedImage;

// Every pixel different from its neighbours, so a swapped row, a lost
// channel or an off-by-one stride shows.
RgbImage Pattern(int width, int height) {
    RgbImage image(width, height, {});
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.Set(x, y,
                      {static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y),
                       static_cast<std::uint8_t>(x * 7 + y * 13)});
        }
    }
    return image;
}

TEST(Png, RoundTripsEveryPixelThroughAnIndependentDecoder) {
    for (const auto& [width, height] : {std::pair{256, 256}, std::pair{3, 5}, std::pair{1, 1}}) {
        const RgbImage image = Pattern(width, height);
        DecodedImage decoded;
        std::string error;
        ASSERT_TRUE(test::DecodePng(EncodePng(image), decoded, error)) << error;
        ASSERT_EQ(decoded.width, width);
        ASSERT_EQ(decoded.height, height);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const Rgb want = image.At(x, y);
                const unsigned char* got = decoded.Pixel(x, y);
                ASSERT_EQ(got[0], want.r);
                ASSERT_EQ(got[1], want.g);
                ASSERT_EQ(got[2], want.b);
            }
        }
    }
}

TEST(Png, TheDecoderRejectsDamage) {
    const std::string png = EncodePng(Pattern(16, 16));
    DecodedImage decoded;
    std::string error;
    std::string damaged = png;
    damaged[40] ^= 1;  // inside IDAT: its CRC no longer matches
    EXPECT_FALSE(test::DecodePng(damaged, decoded, error));
    EXPECT_FALSE(test::DecodePng(png.substr(0, png.size() - 12), decoded, error));  // no IEND
}

TEST(Jpeg, HasA256By256FrameAndDecodesCloseToTheRaster) {
    const RgbImage image(256, 256, {200, 120, 40});
    const std::string jpeg = EncodeJpeg(image, 85);
    int width = 0;
    int height = 0;
    ASSERT_TRUE(test::JpegFrameSize(jpeg, width, height));
    EXPECT_EQ(width, 256);
    EXPECT_EQ(height, 256);
    EXPECT_EQ(jpeg.substr(jpeg.size() - 2), "\xFF\xD9");
    DecodedImage decoded;
    std::string error;
    ASSERT_TRUE(test::DecodeJpeg(jpeg, decoded, error)) << error;
    const unsigned char* centre = decoded.Pixel(128, 128);
    EXPECT_NEAR(centre[0], 200, 4);
    EXPECT_NEAR(centre[1], 120, 4);
    EXPECT_NEAR(centre[2], 40, 4);
    EXPECT_FALSE(test::DecodeJpeg(jpeg.substr(0, jpeg.size() / 2), decoded, error));
}

TEST(BlankImages, BesideTheProgramAreWhite256By256Tiles) {
    const std::string folder = ProgramFolder() + "blankimg/";
    DecodedImage png;
    DecodedImage jpeg;
    std::string error;
    ASSERT_TRUE(test::DecodePng(ReadFileBytes(folder + "blank.png"), png, error)) << error;
    ASSERT_TRUE(test::DecodeJpeg(ReadFileBytes(folder + "blank.jpg"), jpeg, error)) << error;
    for (const DecodedImage* image : {&png, &jpeg}) {
        ASSERT_EQ(image->width, 256);
        ASSERT_EQ(image->height, 256);
        for (unsigned char value : image->rgb) {
            ASSERT_GE(value, 250);
        }
    }
}

TEST(SyntheticTile, IsDeterministicAndDiffersFromItsNeighbours) {
    const TileAddress tile{TileLayer::Map, 6744, 3104, 13};
    const std::string bytes = EncodeSyntheticTile(tile);
    EXPECT_EQ(EncodeSyntheticTile(tile), bytes);
    for (const TileAddress other :
         {TileAddress{TileLayer::Map, 6745, 3104, 13}, TileAddress{TileLayer::Map, 6744, 3105, 13},
          TileAddress{TileLayer::Map, 6744, 3104, 14}}) {
        EXPECT_NE(EncodeSyntheticTile(other), bytes);
    }
    const TileAddress satellite{TileLayer::Satellite, 29, 19, 5};
    EXPECT_EQ(EncodeSyntheticTile(satellite), EncodeSyntheticTile(satellite));
}

TEST(SyntheticTile, ShowsItsEdgesAndWritesItsNumbersInTheMiddle) {
    const RgbImage image = PaintTile({TileLayer::Map, 1, 2, 3});
    const Rgb background = image.At(10, 10);
    for (const auto& [x, y] : {std::pair{0, 0}, std::pair{255, 128}, std::pair{128, 255}}) {
        const Rgb edge = image.At(x, y);
        EXPECT_LT(edge.r + edge.g + edge.b, background.r + background.g + background.b);
    }
    // Dark ink in the text block, none elsewhere inside the edges.
    int inkInside = 0;
    int inkOutside = 0;
    for (int y = 1; y < 255; ++y) {
        for (int x = 1; x < 255; ++x) {
            const Rgb p = image.At(x, y);
            if (p.r < 60 && p.g < 60 && p.b < 60) {
                (y > 80 && y < 176 ? inkInside : inkOutside)++;
            }
        }
    }
    EXPECT_GT(inkInside, 500);
    EXPECT_EQ(inkOutside, 0);
    // The numbers are drawn: "x=1" and "x=7" differ by ink, not only by shade.
    const RgbImage other = PaintTile({TileLayer::Map, 7, 2, 3});
    bool textDiffers = false;
    for (int x = 0; x < 256; ++x) {
        textDiffers |= std::abs(image.At(x, 100).r - other.At(x, 100).r) > 100;
    }
    EXPECT_TRUE(textDiffers);
}

}  // namespace
}  // namespace tessellon::tileserver
