#pragma once
// The formats a download can become, one row each: the images the combiner
// writes and the tile containers the export fills. What each can hold
// (alpha, bits a channel, size limits) and how it is georeferenced is told
// here once; the combiner, the export, the command lines and the windows
// read it from here.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tessellon {

enum class ImageFormat { Png, Jpeg, Bmp, Tiff };
enum class ContainerFormat { Mbtiles, GeoPackage, Pmtiles, Osmand };

enum class Georeferencing {
    // In the file itself (GeoTIFF keys).
    Inside,
    // In a world file, a .prj and an .aux.xml beside the image.
    WorldFile,
    // By the tiles' places on the web map grid (EPSG:3857).
    TileGrid,
};

struct FormatRow {
    // The name a command line takes ("png", "gpkg"), lower case.
    std::string_view Name;
    // Other names it takes, separated by blanks ("jpg").
    std::string_view OtherNames;
    // What a person reads ("JPEG", "GeoPackage").
    std::string_view Title;
    // The extensions it is known by, the one written first, separated by blanks.
    std::string_view Extensions;
    bool Alpha = false;
    int BitsPerChannel = 8;
    // The widest and tallest image, 0 for no limit.
    std::int64_t MaxSide = 0;
    // The largest file, 0 for no limit.
    std::int64_t MaxBytes = 0;
    Georeferencing Georeference = Georeferencing::Inside;
    // For Georeferencing::WorldFile: the world file's extension (".pgw").
    std::string_view WorldFileExtension;
};

const FormatRow& RowOf(ImageFormat format);
const FormatRow& RowOf(ContainerFormat format);
// Every image format, and every container format, in the order of the enums.
std::span<const FormatRow> ImageFormatRows();
std::span<const FormatRow> ContainerFormatRows();

// A format by its name or another name, any case.
std::optional<ImageFormat> ImageFormatNamed(std::string_view name);
// The format a file name's extension names, any case.
std::optional<ImageFormat> ImageFormatOfPath(std::string_view path);
std::optional<ContainerFormat> ContainerFormatOfPath(std::string_view path);
// Whether the format keeps an alpha channel.
bool FormatHasAlpha(ImageFormat format);
// The extension a file of `format` takes: ".png", ".jpg", ".bmp", ".tif".
std::string ExtensionOf(ImageFormat format);

// The row's extensions as a file dialog's patterns: "*.jpg *.jpeg".
std::string ExtensionPatterns(const FormatRow& row);
// Every container's patterns, and a file dialog's choice of each container
// by itself: "MBTiles(*.mbtiles);;GeoPackage(*.gpkg);;...".
std::string ContainerPatterns();
std::string ContainerFileTypes();

// "a" or "an", as the format's title is read ("an MBTiles file").
std::string_view ArticleOf(std::string_view title);

// A BMP's file and info headers, and the bytes of a BMP file of width x
// height pixels, 24 bits a pixel.
inline constexpr std::int64_t kBmpHeaderBytes = 54;
std::int64_t BmpFileBytes(std::int64_t width, std::int64_t height);

// Why `format` cannot hold a width x height image (a BMP passes 4 GiB, a
// JPEG side passes 65,535 pixels), naming the format that can; empty when
// it can.
std::string SizeRefusal(ImageFormat format, std::int64_t width, std::int64_t height);

}  // namespace tessellon
