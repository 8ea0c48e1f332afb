#include "output/formats.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "platform/paths.h"

namespace tessellon {

namespace {

constexpr std::int64_t kFourGiB = std::int64_t{1} << 32;

// In the order of ImageFormat.
constexpr std::array<FormatRow, 4> kImageRows{{
    {"png", "", "PNG", ".png", true, 8, 0, 0, Georeferencing::WorldFile, ".pgw"},
    {"jpeg", "jpg", "JPEG", ".jpg .jpeg", false, 8, 65535, 0, Georeferencing::WorldFile, ".jgw"},
    {"bmp", "", "BMP", ".bmp", false, 8, 0, kFourGiB, Georeferencing::WorldFile, ".bpw"},
    {"tiff", "tif", "TIFF", ".tif .tiff", true, 8, 0, 0, Georeferencing::Inside, ""},
}};

// In the order of ContainerFormat. They hold tiles as the server sent them.
constexpr std::array<FormatRow, 4> kContainerRows{{
    {"mbtiles", "", "MBTiles", ".mbtiles", true, 8, 0, 0, Georeferencing::TileGrid, ""},
    {"gpkg", "geopackage", "GeoPackage", ".gpkg", true, 8, 0, 0, Georeferencing::TileGrid, ""},
    {"pmtiles", "", "PMTiles", ".pmtiles", true, 8, 0, 0, Georeferencing::TileGrid, ""},
    {"osmand", "locus sqlitedb", "OsmAnd SQLiteDB", ".sqlitedb", true, 8, 0, 0,
     Georeferencing::TileGrid, ""},
}};

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

// Whether `word` is one of the blank-separated `words`.
bool AmongWords(std::string_view words, std::string_view word) {
    while (!words.empty()) {
        const std::size_t end = std::min(words.find(' '), words.size());
        if (words.substr(0, end) == word) {
            return true;
        }
        words.remove_prefix(std::min(end + 1, words.size()));
    }
    return false;
}

// The index of the row whose extensions hold the path's.
template <std::size_t N>
std::optional<std::size_t> RowOfPath(const std::array<FormatRow, N>& rows, std::string_view path) {
    const std::string extension = Lower(ExtractFileExt(path));
    for (std::size_t i = 0; !extension.empty() && i < N; ++i) {
        if (AmongWords(rows[i].Extensions, extension)) {
            return i;
        }
    }
    return std::nullopt;
}

}  // namespace

std::string_view ArticleOf(std::string_view title) {
    // MBTiles is read "em-bee-tiles".
    return !title.empty() &&
                   std::string_view("AEIOUM").find(title.front()) != std::string_view::npos
               ? "an"
               : "a";
}

std::int64_t BmpFileBytes(std::int64_t width, std::int64_t height) {
    return kBmpHeaderBytes + (width * 3 + 3) / 4 * 4 * height;
}

const FormatRow& RowOf(ImageFormat format) {
    return kImageRows[static_cast<std::size_t>(format)];
}

const FormatRow& RowOf(ContainerFormat format) {
    return kContainerRows[static_cast<std::size_t>(format)];
}

std::span<const FormatRow> ImageFormatRows() {
    return kImageRows;
}

std::span<const FormatRow> ContainerFormatRows() {
    return kContainerRows;
}

std::string ExtensionPatterns(const FormatRow& row) {
    std::string patterns = "*";
    for (const char c : row.Extensions) {
        patterns += c;
        if (c == ' ') {
            patterns += '*';
        }
    }
    return patterns;
}

std::string ContainerPatterns() {
    std::string patterns;
    for (const FormatRow& row : kContainerRows) {
        if (!patterns.empty()) {
            patterns += ' ';
        }
        patterns += ExtensionPatterns(row);
    }
    return patterns;
}

std::string ContainerFileTypes() {
    std::string types;
    for (const FormatRow& row : kContainerRows) {
        types += types.empty() ? "" : ";;";
        types.append(row.Title).append("(").append(ExtensionPatterns(row)).append(")");
    }
    return types;
}

std::optional<ImageFormat> ImageFormatNamed(std::string_view name) {
    const std::string lower = Lower(name);
    for (std::size_t i = 0; i < kImageRows.size(); ++i) {
        if (kImageRows[i].Name == lower || AmongWords(kImageRows[i].OtherNames, lower)) {
            return static_cast<ImageFormat>(i);
        }
    }
    return std::nullopt;
}

std::optional<ImageFormat> ImageFormatOfPath(std::string_view path) {
    const std::optional<std::size_t> row = RowOfPath(kImageRows, path);
    return row ? std::optional(static_cast<ImageFormat>(*row)) : std::nullopt;
}

std::optional<ContainerFormat> ContainerFormatOfPath(std::string_view path) {
    const std::optional<std::size_t> row = RowOfPath(kContainerRows, path);
    return row ? std::optional(static_cast<ContainerFormat>(*row)) : std::nullopt;
}

bool FormatHasAlpha(ImageFormat format) {
    return RowOf(format).Alpha;
}

std::string ExtensionOf(ImageFormat format) {
    const std::string_view extensions = RowOf(format).Extensions;
    return std::string(extensions.substr(0, extensions.find(' ')));
}

std::string SizeRefusal(ImageFormat format, std::int64_t width, std::int64_t height) {
    const FormatRow& row = RowOf(format);
    std::string text = "A ";
    text.append(row.Title);
    if (row.MaxBytes > 0 && format == ImageFormat::Bmp &&
        BmpFileBytes(width, height) >= row.MaxBytes) {
        text.append(" file cannot pass 4 GiB, and this image would take ");
        text.append(std::to_string(BmpFileBytes(width, height))).append(" bytes.");
    } else if (row.MaxSide > 0 && std::max(width, height) > row.MaxSide) {
        text.append(" image cannot pass 65,535 pixels a side, and this one is ");
        text.append(std::to_string(width)).append(" x ").append(std::to_string(height));
        text.append(" pixels.");
    } else {
        return {};
    }
    text.append(" Use --format tiff: a TIFF takes any size.");
    return text;
}

}  // namespace tessellon
