#include "template_path.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>

#include "geo/web_mercator.h"
#include "net/net_text.h"
#include "platform/numbers.h"
#include "query.h"

namespace tessellon::tileserver {

namespace {

// How far a BBOX edge may lie from the tile's, in pixels: clients round to a
// few decimals, and some use a shortened half width (20037508.34).
constexpr double kEdgeTolerancePixels = 0.1;

constexpr TileFormat kFormats[] = {
    {"png", "image/png", TileLayer::Map},         {"jpg", "image/jpeg", TileLayer::Satellite},
    {"jpeg", "image/jpeg", TileLayer::Satellite}, {"webp", "image/webp", std::nullopt},
    {"gif", "image/gif", std::nullopt},           {"pbf", "application/x-protobuf", std::nullopt},
};

template <typename Matches>
const TileFormat* FindFormat(Matches matches) {
    for (const TileFormat& format : kFormats) {
        if (matches(format)) {
            return &format;
        }
    }
    return nullptr;
}

// Splits "<name>.<extension>"; false when the extension is no known format.
bool SplitExtension(std::string_view file, std::string_view& name, const TileFormat*& format) {
    const std::size_t dot = file.rfind('.');
    if (dot == std::string_view::npos) {
        return false;
    }
    name = file.substr(0, dot);
    format = FindFormat([&](const TileFormat& f) { return f.extension == file.substr(dot + 1); });
    return format != nullptr;
}

// `text` split at `separator` into exactly N pieces; false for any other count.
template <std::size_t N>
bool SplitExactly(std::string_view text, char separator, std::array<std::string_view, N>& parts) {
    for (std::size_t i = 0; i < N; ++i) {
        const std::size_t at = text.find(separator);
        if ((at == std::string_view::npos) != (i + 1 == N)) {
            return false;
        }
        parts[i] = text.substr(0, at);
        text = at == std::string_view::npos ? std::string_view() : text.substr(at + 1);
    }
    return true;
}

// Digits only: no sign, no blanks.
std::optional<long long> Digits(std::string_view text) {
    const auto value = ParseInteger<std::uint32_t>(text);
    return value ? std::optional<long long>(*value) : std::nullopt;
}

long long Side(long long zoom) {
    return 1LL << zoom;
}

bool ZoomInGrid(long long zoom) {
    return zoom >= kMinZoom && zoom <= kMaxZoom;
}

// Fills `tile` when x, y and zoom name a tile of the grid.
TemplateResult Tile(long long x, long long y, long long zoom, TemplateTile& tile) {
    if (!ZoomInGrid(zoom) || x < 0 || x >= Side(zoom) || y < 0 || y >= Side(zoom)) {
        return TemplateResult::NotFound;
    }
    tile.x = static_cast<int>(x);
    tile.y = static_cast<int>(y);
    tile.zoom = static_cast<int>(zoom);
    return TemplateResult::Ok;
}

// "{z}/{x}/{y}.ext", or "{z}/{x}/{-y}.ext" for TMS.
TemplateResult ParseRowPath(std::string_view rest, bool fromSouth, TemplateTile& tile) {
    std::array<std::string_view, 3> parts;
    std::string_view rowText;
    if (!SplitExactly(rest, '/', parts) || !SplitExtension(parts[2], rowText, tile.format)) {
        return TemplateResult::NotFound;
    }
    const auto zoom = Digits(parts[0]);
    const auto x = Digits(parts[1]);
    const auto row = Digits(rowText);
    if (!zoom || !x || !row || !ZoomInGrid(*zoom)) {
        return TemplateResult::NotFound;
    }
    return Tile(*x, fromSouth ? Side(*zoom) - 1 - *row : *row, *zoom, tile);
}

// One digit a level from the top, each the level's x bit plus twice its y bit.
TemplateResult ParseQuadkeyPath(std::string_view file, TemplateTile& tile) {
    std::string_view key;
    if (!SplitExtension(file, key, tile.format) || key.size() > kMaxZoom) {
        return TemplateResult::NotFound;
    }
    long long x = 0;
    long long y = 0;
    for (const char digit : key) {
        if (digit < '0' || digit > '3') {
            return TemplateResult::NotFound;
        }
        x = x * 2 + ((digit - '0') & 1);
        y = y * 2 + ((digit - '0') >> 1);
    }
    return Tile(x, y, static_cast<long long>(key.size()), tile);
}

// "minx,miny,maxx,maxy" as four finite decimal numbers.
bool ParseBbox(std::string_view text, std::array<double, 4>& edges) {
    std::array<std::string_view, 4> parts;
    if (!SplitExactly(text, ',', parts)) {
        return false;
    }
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const char* const end = parts[i].data() + parts[i].size();
        const auto [stop, error] = std::from_chars(parts[i].data(), end, edges[i]);
        if (error != std::errc() || stop != end || !std::isfinite(edges[i])) {
            return false;
        }
    }
    return true;
}

// The tile whose bounds `edges` are, within the tolerance.
bool TileOfBounds(const std::array<double, 4>& edges, TemplateTile& tile) {
    const auto [west, south, east, north] = edges;
    const double zoom = std::round(std::log2(MercatorTileSide(0) / (east - west)));
    if (!(east > west) || !(zoom >= kMinZoom && zoom <= kMaxZoom)) {
        return false;
    }
    const int z = static_cast<int>(zoom);
    const std::array<double, 4> pixels{MercatorXToPixelX(west, z), MercatorYToPixelY(south, z),
                                       MercatorXToPixelX(east, z), MercatorYToPixelY(north, z)};
    const double x = std::round(pixels[0] / kTilePixels);
    const double y = std::round(pixels[3] / kTilePixels);
    const double side = static_cast<double>(Side(z));
    if (!(x >= 0 && x < side && y >= 0 && y < side)) {
        return false;
    }
    const std::array<double, 4> tileEdges{x * kTilePixels, (y + 1) * kTilePixels,
                                          (x + 1) * kTilePixels, y * kTilePixels};
    for (std::size_t i = 0; i < edges.size(); ++i) {
        if (std::fabs(pixels[i] - tileEdges[i]) > kEdgeTolerancePixels) {
            return false;
        }
    }
    return Tile(static_cast<long long>(x), static_cast<long long>(y), z, tile) ==
           TemplateResult::Ok;
}

bool ParameterIs(std::string_view query, std::string_view key, std::string_view expected,
                 bool required) {
    const auto value = QueryValueAnyCase(query, key);
    return value ? SameText(*value, expected) : !required;
}

// A GetMap request for one 256-pixel tile in EPSG:3857, as a WMS template
// with {bbox} asks for it. Parameter names and values are compared without
// regard to case, as WMS servers do.
TemplateResult ParseWmsQuery(std::string_view query, TemplateTile& tile) {
    const auto format = QueryValueAnyCase(query, "format");
    const auto bbox = QueryValueAnyCase(query, "bbox");
    const auto crs = QueryValueAnyCase(query, "crs");
    const auto srs = QueryValueAnyCase(query, "srs");
    std::array<double, 4> edges{};
    tile.format =
        format ? FindFormat([&](const TileFormat& f) { return SameText(f.contentType, *format); })
               : nullptr;
    const bool ok = ParameterIs(query, "request", "GetMap", true) &&
                    ParameterIs(query, "service", "WMS", false) &&
                    ParameterIs(query, "width", std::to_string(kTileSize), true) &&
                    ParameterIs(query, "height", std::to_string(kTileSize), true) &&
                    SameText(crs.value_or(srs.value_or("EPSG:3857")), "EPSG:3857") &&
                    tile.format != nullptr && bbox && ParseBbox(*bbox, edges) &&
                    TileOfBounds(edges, tile);
    return ok ? TemplateResult::Ok : TemplateResult::BadRequest;
}

}  // namespace

TemplateResult ParseTemplateRequest(std::string_view path, std::string_view query,
                                    TemplateTile& tile) {
    if (path == kWmsPath) {
        return ParseWmsQuery(query, tile);
    }
    if (path.starts_with(kTmsPrefix)) {
        return ParseRowPath(path.substr(kTmsPrefix.size()), true, tile);
    }
    if (path.starts_with(kQuadkeyPrefix)) {
        return ParseQuadkeyPath(path.substr(kQuadkeyPrefix.size()), tile);
    }
    if (path.starts_with('/')) {
        return ParseRowPath(path.substr(1), false, tile);
    }
    return TemplateResult::NotFound;
}

std::string TemplateFileName(const TemplateTile& tile) {
    return "tl_" + std::to_string(tile.x) + "_" + std::to_string(tile.y) + "_" +
           std::to_string(tile.zoom) + "." + std::string(tile.format->extension);
}

}  // namespace tessellon::tileserver
