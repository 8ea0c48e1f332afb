#pragma once
// The PMTiles container (version 3), the single file web maps read by HTTP
// range requests: a 127-byte header, a gzip-compressed root directory in the
// first 16 KiB, the tiles ordered by their Hilbert id (clustered) with tiles
// of identical bytes stored once, JSON metadata and leaf directories. An
// archive is written whole: an existing file is refused, not rewritten.

#include <cstdint>
#include <memory>
#include <string>

#include "output/tile_export.h"

namespace tessellon {

// A tile's id in the archive: the tiles of all lower zooms counted, then the
// tile's place on the Hilbert curve over its zoom.
std::uint64_t HilbertTileId(const TileId& tile);

// Writes an archive at `file` under a temporary name, renamed when whole;
// refuses a file that exists.
std::unique_ptr<TileSink> MakePmtilesSink(const std::string& file, bool existed);

}  // namespace tessellon
