#include "tile_address.h"

#include <cmath>
#include <cstdlib>

#include "query.h"

namespace tessellon::tileserver {

bool LayerForPath(std::string_view path, TileLayer& layer) {
    if (path == kMapPath) {
        layer = TileLayer::Map;
        return true;
    }
    if (path == kSatellitePath) {
        layer = TileLayer::Satellite;
        return true;
    }
    return false;
}

std::string_view ContentTypeOf(TileLayer layer) {
    return layer == TileLayer::Map ? "image/png" : "image/jpeg";
}

std::string TileFileName(const TileAddress& tile) {
    const bool map = tile.layer == TileLayer::Map;
    return std::string(map ? "yn_" : "ys_") + std::to_string(tile.x) + "_" +
           std::to_string(tile.y) + "_" + std::to_string(tile.zoom) + (map ? ".png" : ".jpg");
}

namespace {

// A general number text with a whole value, such as the downloader writes:
// sign, digits, an optional fraction and exponent. Words like "inf" or hex
// forms that strtod would also take are refused.
bool ParseWholeNumber(std::string_view text, long long& value) {
    if (text.empty() || text.size() > 32 ||
        text.find_first_not_of("+-0123456789.eE") != std::string_view::npos) {
        return false;
    }
    const std::string copy(text);
    char* end = nullptr;
    const double number = std::strtod(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size() || !std::isfinite(number) ||
        number != std::floor(number) || std::fabs(number) > 1e15) {
        return false;
    }
    value = static_cast<long long>(number);
    return true;
}

}  // namespace

TileQueryResult ParseTileQuery(std::string_view query, TileLayer layer, TileAddress& tile) {
    const auto x = QueryValue(query, "x");
    const auto y = QueryValue(query, "y");
    const auto z = QueryValue(query, "z");
    long long column = 0;
    long long serverRow = 0;
    long long serverZoom = 0;
    if (!x || !y || !z || !ParseWholeNumber(*x, column) || !ParseWholeNumber(*y, serverRow) ||
        !ParseWholeNumber(*z, serverZoom)) {
        return TileQueryResult::Malformed;
    }
    const long long zoom = serverZoom - 1;
    if (zoom < kMinZoom || zoom > kMaxZoom) {
        return TileQueryResult::OutOfRange;
    }
    const long long side = 1LL << zoom;
    const long long row = side / 2 - 1 - serverRow;
    if (column < 0 || column >= side || row < 0 || row >= side) {
        return TileQueryResult::OutOfRange;
    }
    tile = {layer, static_cast<int>(column), static_cast<int>(row), static_cast<int>(zoom)};
    return TileQueryResult::Ok;
}

}  // namespace tessellon::tileserver
