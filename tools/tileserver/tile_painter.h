#pragma once
// Synthetic tiles: a flat colour that depends on the tile, the tile's edges
// and a finer grid drawn in, and the tile's grid numbers written in the middle
// with a small built-in bitmap font, so a viewer shows at a glance which tile
// landed where. The same tile always gives the same pixels.

#include "image_encoding.h"
#include "tile_address.h"

namespace tessellon::tileserver {

RgbImage PaintTile(const TileAddress& tile);

}  // namespace tessellon::tileserver
