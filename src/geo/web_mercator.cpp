#include "geo/web_mercator.h"

#include <cmath>
#include <numbers>

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

MercatorBounds TileMercatorBounds(std::int64_t x, std::int64_t y, int zoom) {
    const double size = 2 * kHalfWorldMetres / static_cast<double>(std::int64_t{1} << zoom);
    return {-kHalfWorldMetres + static_cast<double>(x) * size,
            kHalfWorldMetres - static_cast<double>(y + 1) * size,
            -kHalfWorldMetres + static_cast<double>(x + 1) * size,
            kHalfWorldMetres - static_cast<double>(y) * size};
}

}  // namespace tessellon
