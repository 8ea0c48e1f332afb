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

}  // namespace
}  // namespace tessellon
