#include "geo/tile_math.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace tessellon {

namespace {

// pi is the double nearest to pi; the factors 1/360 and 1/180 are held at
// extended precision, and so are the intermediate results. The factors are
// the extended values just above 1/360 and 1/180: rounded to nearest they lie
// below, and then 360 * (1/360) falls short of 1, so longitude 180 would land
// in the last column instead of one past it, and a column's own west edge in
// the column before it.
const long double kPi = 3.141592653589793;
const long double kOneOver360 = std::nextafter(1.0L / 360.0L, 1.0L);
const long double kOneOver180 = std::nextafter(1.0L / 180.0L, 1.0L);

long double TilesPerSide(int zoom) {
    return static_cast<long double>(1LL << zoom);
}

// Truncation toward zero. Values no 32-bit column or row can hold (the poles,
// NaN) saturate instead of being undefined; the input checks never let them
// through.
std::int32_t Truncate(long double t) {
    if (!(t > static_cast<long double>(INT32_MIN) - 1.0L)) {
        return INT32_MIN;
    }
    if (!(t < static_cast<long double>(INT32_MAX) + 1.0L)) {
        return INT32_MAX;
    }
    return static_cast<std::int32_t>(t);
}

}  // namespace

std::int32_t LongitudeToTileX(double longitude, int zoom) {
    const long double t = (longitude + 180.0L) * kOneOver360 * TilesPerSide(zoom);
    return Truncate(t);
}

std::int32_t LatitudeToTileY(double latitude, int zoom) {
    // sin and log run in double precision: their extended versions cost ten
    // times as much, for digits far below the width of any row.
    const auto phi = static_cast<double>(kPi * latitude * kOneOver180);
    const double s = std::sin(phi);
    const long double m = 0.5 * std::log((1.0 + s) / (1.0 - s));
    const long double t = (1.0L - m / kPi) * 0.5L * TilesPerSide(zoom);
    return Truncate(t);
}

// The edges are computed in double precision throughout: held at extended
// precision they come out one unit in the last place away from the values the
// tile lists of existing tasks carry.
double TileXToLongitude(double x, int zoom) {
    return x * 360.0 / static_cast<double>(1LL << zoom) - 180.0;
}

double TileYToLatitude(double y, int zoom) {
    constexpr double pi = 3.141592653589793;
    const double r = std::exp(2.0 * pi - 4.0 * pi * y / static_cast<double>(1LL << zoom));
    return std::asin((r - 1.0) / (r + 1.0)) * 180.0 / pi;
}

TileRange CoveringTiles(const GeoRect& area, int zoom) {
    const std::int32_t last = static_cast<std::int32_t>((std::int64_t{1} << zoom) - 1);
    const auto onGrid = [last](std::int32_t t) { return std::clamp<std::int32_t>(t, 0, last); };
    const std::int32_t top = onGrid(LatitudeToTileY(area.Top, zoom));
    const std::int32_t bottom = onGrid(LatitudeToTileY(area.Bottom, zoom));
    return {onGrid(LongitudeToTileX(area.Left, zoom)), std::min(top, bottom),
            onGrid(LongitudeToTileX(area.Right, zoom)), std::max(top, bottom)};
}

GeoRect TileRangeEdges(const TileRange& range, int zoom) {
    return {TileXToLongitude(range.MinX, zoom),
            TileXToLongitude(static_cast<double>(range.MaxX) + 1, zoom),
            TileYToLatitude(range.MinY, zoom),
            TileYToLatitude(static_cast<double>(range.MaxY) + 1, zoom)};
}

double LongitudeToTileXExact(double longitude, int zoom) {
    return (longitude + 180.0) / 360.0 * static_cast<double>(1LL << zoom);
}

double LatitudeToTileYExact(double latitude, int zoom) {
    constexpr double pi = 3.141592653589793;
    const double s = std::sin(latitude * pi / 180.0);
    const double m = 0.5 * std::log((1.0 + s) / (1.0 - s));
    return (1.0 - m / pi) * 0.5 * static_cast<double>(1LL << zoom);
}

}  // namespace tessellon
