#pragma once
// Encodes one 256 x 256 RGBA tile into the bytes a tile server would send,
// in memory: the tiles the export makes itself (the zooms built below a
// download's least) take the format of the tiles they are made from.

#include <cstdint>
#include <string>
#include <string_view>

namespace tessellon {

// Rows top down, kTileRowBytes apart. `format` is a tile format ("png",
// "jpg", "webp"). A PNG is written RGB when every pixel is opaque; a JPEG
// drops the alpha (lay the pixels on white first); WebP keeps it. Throws
// std::runtime_error for another format or when the library fails (out of
// memory).
std::string EncodeTile(std::string_view format, const std::uint8_t* rgba);

}  // namespace tessellon
