#pragma once
// Turns one tile file's bytes into 256 x 256 RGBA pixels for the combiner and
// the exports. The image kind is told by the bytes, not the file name: a
// server may send a JPEG under a .png name. Pixels come out as the file
// stores them, the way browsers and GDAL read tiles: 8 bits a channel, no
// gamma correction, 16-bit samples cut to their high byte, alpha kept.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tessellon {

inline constexpr int kTileSide = 256;
inline constexpr std::size_t kTileRowBytes = std::size_t{kTileSide} * 4;

// Decodes a PNG, JPEG or WebP tile into `rgba`, rows top down, `stride`
// bytes from one row's start to the next (a tile's place in a row of tiles).
// An image without alpha comes out opaque. Returns an empty text on success,
// else why the tile cannot be drawn (not an image, truncated, not 256 x 256);
// `rgba` is then unspecified.
std::string DecodeTile(std::string_view bytes, std::uint8_t* rgba, std::size_t stride);

// Whether the tile's header declares transparency: a PNG with an alpha
// channel or a tRNS chunk, a WebP with alpha. Reads the header only; bytes
// that are no such image have none.
bool TileHasAlpha(std::string_view bytes);

// The colour under `alpha` laid on white, rounded, as a browser shows it.
inline std::uint8_t OnWhite(std::uint8_t colour, std::uint8_t alpha) {
    return static_cast<std::uint8_t>((colour * alpha + 255 * (255 - alpha) + 127) / 255);
}

// `count` RGBA pixels laid on white as RGB, for a format without alpha.
void RgbaOnWhite(const std::uint8_t* rgba, std::size_t count, std::uint8_t* rgb);

}  // namespace tessellon
