#include "download/image_kind.h"

#include <gtest/gtest.h>

#include <string>

namespace tessellon {
namespace {

using namespace std::string_view_literals;

TEST(ImageKind, TellsImagesByTheirMagicBytes) {
    const struct {
        std::string_view bytes;
        ImageKind kind;
    } cases[] = {
        {"\x89PNG\r\n\x1a\n\0\0\0\rIHDR"sv, ImageKind::Png},
        {"\x89PNG\r\n\x1a\n"sv, ImageKind::Png},
        {"\xff\xd8\xff\xe0\0\x10JFIF"sv, ImageKind::Jpeg},
        {"\xff\xd8\xff\xe1\0\x10"
         "Exif"sv,
         ImageKind::Jpeg},
        {"RIFF\x24\x01\0\0WEBPVP8 "sv, ImageKind::WebP},
        {"GIF89a\x01\0\x01\0"sv, ImageKind::Gif},
        {"GIF87a"sv, ImageKind::Gif},
        // What a failing service sends in place of a tile.
        {"<!DOCTYPE html>\n<html>"sv, ImageKind::None},
        {"{\"error\":\"quota\"}"sv, ImageKind::None},
        {""sv, ImageKind::None},
        // Cut short, or only like the magic.
        {"\x89PNG\r\n\x1a"sv, ImageKind::None},
        {"\x89png\r\n\x1a\n"sv, ImageKind::None},
        {"\xff\xd8"sv, ImageKind::None},
        {"RIFF\x24\x01\0\0WAVEfmt "sv, ImageKind::None},
        {"RIFF\x24\x01\0\0WEB"sv, ImageKind::None},
        {"GIF88a"sv, ImageKind::None},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DetectImageKind(c.bytes), c.kind) << testing::PrintToString(std::string(c.bytes));
    }
}

TEST(ImageKind, ASourcesTileMustBeAnImageUnlessItIsAVectorTile) {
    const std::string page = "<html>sorry</html>";
    EXPECT_EQ(NotATileReason("png", page, "text/html; charset=utf-8"),
              "Not an image (text/html; charset=utf-8, 18 bytes).");
    EXPECT_EQ(NotATileReason("webp", "", ""), "Not an image (no content type, 0 bytes).");
    EXPECT_EQ(NotATileReason("jpg", page, "image/jpeg"),
              "Not an image (image/jpeg, 18 bytes).");  // whatever the type claims
    // The reply's type is the server's text and reaches the log.
    EXPECT_EQ(NotATileReason("png", page, "text/html\x1b[2J\x07"),
              "Not an image (text/html\\x1B[2J\\x07, 18 bytes).");
    // Any image passes: services send PNG for a layer named jpg, and such.
    EXPECT_EQ(NotATileReason("jpg", "GIF89a\x01\0\x01\0"sv, "image/gif"), std::nullopt);
    EXPECT_EQ(NotATileReason("png", "\xff\xd8\xff\xe0"sv, ""), std::nullopt);
    // Vector tiles have no magic, gzip or not.
    EXPECT_EQ(NotATileReason("pbf", page, "text/html"), std::nullopt);
    EXPECT_EQ(NotATileReason("pbf", "\x1f\x8b\x08"sv, "application/x-protobuf"), std::nullopt);
}

// A body that ran until the close is taken only when the image reaches its
// end; a cut anywhere before leaves it short.
TEST(ImageKind, AnImageIsWholeOnlyUpToItsEnd) {
    using namespace std::string_literals;
    const std::string png =
        "\x89PNG\r\n\x1a\n"s + "header and data" + "\0\0\0\0IEND\xae\x42\x60\x82"s;
    const std::string jpeg = "\xff\xd8\xff\xe0 data \xff\xd9"s;
    const std::string webp = "RIFF\x08\0\0\0WEBPVP8 "s;
    for (const std::string& image : {png, jpeg, webp}) {
        EXPECT_TRUE(ImageLooksWhole(image)) << image;
        for (std::size_t cut : {image.size() - 1, image.size() - 2}) {
            EXPECT_FALSE(ImageLooksWhole(image.substr(0, cut))) << image << " at " << cut;
        }
    }
    // Bodies with no end to look for pass.
    EXPECT_TRUE(ImageLooksWhole("a vector tile"));
    EXPECT_TRUE(ImageLooksWhole(""));
    EXPECT_EQ(CutImageMessage(778), "The image is cut short (778 bytes).");
}

// The size fields as each format's header lays them out.
TEST(ImageKind, ReadsTheSizeEachHeaderClaims) {
    using namespace std::string_literals;
    const std::string png = "\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\xfd\xe8\0\0\x01\x00"s;
    // APP0, DQT, then the frame header: length, precision, height, width.
    const std::string jpeg =
        "\xff\xd8\xff\xe0\0\x04JF\xff\xff\xdb\0\x02"
        "\xff\xc2\0\x11\x08\x01\x00\xfd\xe8"s;
    const std::string vp8x = "RIFF\0\0\0\0WEBPVP8X\0\0\0\0\0\0\0\0\xe7\xfd\0\xff\0\0"s;
    // 14 bits of width - 1, then 14 of height - 1.
    const std::string vp8l = "RIFF\0\0\0\0WEBPVP8L\0\0\0\0\x2f\xff\xff\x3f\x00"s;
    const std::string vp8 = "RIFF\0\0\0\0WEBPVP8 \0\0\0\0\0\0\0\x9d\x01\x2a\x00\x01\x00\x02"s;
    const std::string gif = "GIF89a\xe8\xfd\x00\x01"s;
    const struct {
        std::string bytes;
        std::uint32_t width;
        std::uint32_t height;
    } sizes[] = {
        {png, 65000, 256},  {jpeg, 65000, 256}, {vp8x, 65000, 256},
        {vp8l, 16384, 256}, {vp8, 256, 512},    {gif, 65000, 256},
    };
    for (const auto& size : sizes) {
        const std::optional<ImageSize> claimed = ClaimedImageSize(size.bytes);
        ASSERT_TRUE(claimed.has_value()) << size.bytes;
        EXPECT_EQ(claimed->Width, size.width) << size.bytes;
        EXPECT_EQ(claimed->Height, size.height) << size.bytes;
        // Cut before the size, it claims nothing.
        EXPECT_FALSE(ClaimedImageSize(size.bytes.substr(0, size.bytes.size() - 1)).has_value())
            << size.bytes;
    }
    // A scan before any frame header, a marker that is none, no image.
    EXPECT_FALSE(ClaimedImageSize("\xff\xd8\xff\xda\0\x02\xff\xc0\0\x11\x08\x01\0\x01\0"s));
    EXPECT_FALSE(ClaimedImageSize("\xff\xd8\xff\xe0\0\x00\xff\xc0\0\x11\x08\x01\0\x01\0"s));
    EXPECT_FALSE(ClaimedImageSize("not an image"));
}

}  // namespace
}  // namespace tessellon
