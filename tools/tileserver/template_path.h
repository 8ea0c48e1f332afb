#pragma once
// The requests a tile source's URL template makes of a service, read back to
// a tile of the grid: XYZ paths "/{z}/{x}/{y}.png", TMS paths
// "/tms/{z}/{x}/{-y}.png" (rows counted from the south), quadkey paths
// "/q/{q}.png", and WMS GetMap queries at "/wms" whose BBOX is one tile's
// EPSG:3857 bounds. {z} is the grid's zoom (2^z tiles a side), as in the
// downloader's tile files, not the old endpoints' zoom plus one.

#include <optional>
#include <string>
#include <string_view>

#include "tile_address.h"

namespace tessellon::tileserver {

inline constexpr std::string_view kTmsPrefix = "/tms/";
inline constexpr std::string_view kQuadkeyPrefix = "/q/";
inline constexpr std::string_view kWmsPath = "/wms";

// A kind of tile file a template path can ask for.
struct TileFormat {
    std::string_view extension;  // as in paths and in file names: "png", "jpg", ...
    std::string_view contentType;
    std::optional<TileLayer> painted;  // whose synthetic tile it is; none: no encoder
};

// A tile asked for by a template path, in grid numbers.
struct TemplateTile {
    int x = 0;
    int y = 0;
    int zoom = 0;
    const TileFormat* format = nullptr;
};

enum class TemplateResult {
    Ok,
    NotFound,    // not a template path, or one that names no tile of the grid
    BadRequest,  // a WMS query that is malformed or whose BBOX is no tile's bounds
};

TemplateResult ParseTemplateRequest(std::string_view path, std::string_view query,
                                    TemplateTile& tile);

// "tl_<x>_<y>_<z>.<extension>", as a source task names its tile files.
std::string TemplateFileName(const TemplateTile& tile);

}  // namespace tessellon::tileserver
