#include "geo/web_mercator.h"

#include <cmath>
#include <numbers>

#include "geo/tile_math.h"

namespace tessellon {

namespace {

constexpr double kDegrees = 180.0 / std::numbers::pi;

}  // namespace

double LongitudeToMercatorX(double longitude) {
    return longitude / kDegrees * kEarthRadiusMetres;
}

double LatitudeToMercatorY(double latitude) {
    return std::asinh(std::tan(latitude / kDegrees)) * kEarthRadiusMetres;
}

double MercatorXToLongitude(double x) {
    return x / kEarthRadiusMetres * kDegrees;
}

double MercatorYToLatitude(double y) {
    return std::atan(std::sinh(y / kEarthRadiusMetres)) * kDegrees;
}

double MercatorScaleAt(double latitude) {
    return 1.0 / std::cos(latitude / kDegrees);
}

double MercatorTileSide(int zoom) {
    return 2 * kHalfWorldMetres / static_cast<double>(std::int64_t{1} << zoom);
}

MercatorBounds TileMercatorBounds(std::int64_t x, std::int64_t y, int zoom) {
    const double size = MercatorTileSide(zoom);
    return {-kHalfWorldMetres + static_cast<double>(x) * size,
            kHalfWorldMetres - static_cast<double>(y + 1) * size,
            -kHalfWorldMetres + static_cast<double>(x + 1) * size,
            kHalfWorldMetres - static_cast<double>(y) * size};
}

double WorldPixels(int zoom) {
    return std::ldexp(double{kTilePixels}, zoom);
}

double MercatorPixelSize(int zoom) {
    return 2 * kHalfWorldMetres / WorldPixels(zoom);
}

// The tile math's fractional grid scaled by a power of two: the same
// position to the last bit, in pixels.
double LongitudeToPixelX(double longitude, int zoom) {
    return LongitudeToTileXExact(longitude, zoom) * kTilePixels;
}

double LatitudeToPixelY(double latitude, int zoom) {
    return LatitudeToTileYExact(latitude, zoom) * kTilePixels;
}

double PixelXToMercatorX(double x, int zoom) {
    return -kHalfWorldMetres + x * MercatorPixelSize(zoom);
}

double PixelYToMercatorY(double y, int zoom) {
    return kHalfWorldMetres - y * MercatorPixelSize(zoom);
}

double MercatorXToPixelX(double x, int zoom) {
    return (x + kHalfWorldMetres) / MercatorPixelSize(zoom);
}

double MercatorYToPixelY(double y, int zoom) {
    return (kHalfWorldMetres - y) / MercatorPixelSize(zoom);
}

}  // namespace tessellon
