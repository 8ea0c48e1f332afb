#pragma once
// The combined image as a GeoTIFF: tiled, with the compression a user picks
// (deflate, zstd, LZW, JPEG, WebP), and optionally with overviews, levels of
// half the size down to one tile, for viewers that zoom out, or laid out as
// a Cloud Optimized GeoTIFF (all headers first, the smallest level's tiles
// next, the full image's last) that readers stream over HTTP. Rows stream in
// and each level keeps one band of tiles: memory grows with the image's
// width, never with its height.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "output/image_writer.h"

namespace tessellon {

enum class TiffCompression { Deflate, Zstd, Lzw, Jpeg, Webp };

enum class TiffLayout {
    // One image, tiles of 256.
    Plain,
    // The image and its overviews, tiles of 256.
    Overviews,
    // Cloud Optimized: the image (tiles of 512) and its overviews, headers first.
    Cog,
};

struct TiffCompressionRow {
    TiffCompression Compression;
    // The name a command line takes ("deflate").
    std::string_view Name;
    // What a person reads ("Deflate (lossless)").
    std::string_view Title;
    // Loses detail, and so takes a quality.
    bool Lossy = false;
    // Keeps an alpha band.
    bool Alpha = true;
};

std::span<const TiffCompressionRow> TiffCompressionRows();
const TiffCompressionRow& RowOf(TiffCompression compression);
// A compression by its name, any case.
std::optional<TiffCompression> TiffCompressionNamed(std::string_view name);
// "deflate, zstd, lzw, jpeg or webp", for a message that lists them.
std::string TiffCompressionNames();
// Why the libtiff this program runs with cannot write `compression` (it was
// built without the codec); empty when it can.
std::string CodecRefusal(TiffCompression compression);

inline constexpr int kDefaultTiffQuality = 75;

struct TiffOptions {
    TiffCompression Compression = TiffCompression::Deflate;
    // For a lossy compression, 1 to 100.
    int Quality = kDefaultTiffQuality;
    TiffLayout Layout = TiffLayout::Plain;
    // Where the levels of overviews wait until the file is laid out: the
    // output's folder, which has room for the output.
    std::string ScratchFolder;
};

// A GeoTIFF writer of a width x height image into `file`, which it does not
// close; rows RGB, or RGBA `withAlpha`. A JPEG compression takes RGB only.
std::unique_ptr<ImageWriter> MakeTiffWriter(std::FILE* file, std::int64_t width,
                                            std::int64_t height, const Georeference& where,
                                            bool withAlpha, const TiffOptions& options);

}  // namespace tessellon
