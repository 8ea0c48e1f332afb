#pragma once
// A GeoTIFF of several images (an image and its overviews) written by hand
// from tiles already compressed, in the order a reader over HTTP wants: the
// header, every image's directory one after the other, their tag values,
// then the tiles of the smallest image first and of the full image last,
// each image's row by row. libtiff writes a directory after its tiles, so
// this order is laid out here, once every tile's size is known. BigTIFF
// when the file passes 4 GiB.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "output/image_writer.h"

namespace tessellon {

struct TiffImageFields {
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
    std::uint32_t TileSide = 0;
    // 3 for RGB, 4 for RGBA (unassociated alpha).
    std::uint16_t Channels = 3;
    // TIFF's codes: COMPRESSION_*, PHOTOMETRIC_*.
    std::uint16_t Compression = 0;
    std::uint16_t Photometric = 0;
    // Horizontal differencing before compression.
    bool Predictor = false;
    // The tables a JPEG compression keeps once for all tiles; empty for none.
    std::string JpegTables;
    // Each tile's compressed bytes, row by row.
    std::vector<std::uint64_t> TileBytes;
    Georeference Where;
};

// Gives tile `tile` (row by row) of image `image` into `bytes`.
using CompressedTileSource =
    std::function<void(std::size_t image, std::size_t tile, std::string& bytes)>;

// Writes `images`, the full one first and each next one smaller (marked as a
// reduced image), into `file` from its start. Throws EImageWriteError.
void WriteHeadersFirstTiff(std::FILE* file, const std::vector<TiffImageFields>& images,
                           const CompressedTileSource& readTile);

}  // namespace tessellon
