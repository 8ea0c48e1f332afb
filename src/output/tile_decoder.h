#pragma once
// Turns one tile file's bytes into 256 x 256 RGB pixels for the combiner. The
// image kind is told by the bytes, not the file name: a server may send a
// JPEG under a .png name.

#include <cstdint>
#include <string>
#include <string_view>

namespace tessellon {

inline constexpr int kTileSide = 256;
inline constexpr std::size_t kTileRowBytes = std::size_t{kTileSide} * 3;

// Decodes a PNG, JPEG or WebP tile into `rgb`, rows top down, `stride`
// bytes from one row's start to the next (a tile's place in a row of tiles).
// Transparent pixels are laid on white, as the combined image's gaps are.
// Returns an empty text on success, else why the tile cannot be drawn (not
// an image, truncated, not 256 x 256); `rgb` is then unspecified.
std::string DecodeTile(std::string_view bytes, std::uint8_t* rgb, std::size_t stride);

}  // namespace tessellon
