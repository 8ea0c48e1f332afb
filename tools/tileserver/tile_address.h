#pragma once
// The two tile endpoints and the service's numbering. A tile request names
// the column x, the service's row Y (counted from the equator northwards) and
// the service's zoom Z; the downloader's grid numbers are x, y = 2^(z-1) - 1 - Y
// and z = Z - 1, and its tile files are named from those.

#include <string>
#include <string_view>

namespace tessellon::tileserver {

enum class TileLayer { Map, Satellite };

inline constexpr std::string_view kMapPath = "/hx/tl";
inline constexpr std::string_view kSatellitePath = "/ae/ximg";
inline constexpr int kTileSize = 256;
inline constexpr int kMinZoom = 1;
inline constexpr int kMaxZoom = 19;

// A tile in the downloader's grid numbers: rows from the north, the user's zoom.
struct TileAddress {
    TileLayer layer = TileLayer::Map;
    int x = 0;
    int y = 0;
    int zoom = 0;

    bool operator==(const TileAddress&) const = default;
};

// The layer served at `path`; false for any other path.
bool LayerForPath(std::string_view path, TileLayer& layer);
std::string_view ContentTypeOf(TileLayer layer);

// "yn_<x>_<y>_<z>.png" for the map layer, "ys_<x>_<y>_<z>.jpg" for satellite.
std::string TileFileName(const TileAddress& tile);

enum class TileQueryResult {
    Ok,
    Malformed,   // a key is missing or is not a whole number
    OutOfRange,  // whole numbers, but no tile of the grid has them
};

// Reads the keys x, y and z of a tile query (other keys are ignored) and turns
// the service's numbering into grid numbers. y may be written in the general
// number format ("991", "-4", "262143", "1E3"), as long as its value is whole.
TileQueryResult ParseTileQuery(std::string_view query, TileLayer layer, TileAddress& tile);

}  // namespace tessellon::tileserver
