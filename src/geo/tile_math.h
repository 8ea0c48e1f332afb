#pragma once
// Conversions between geographic coordinates (decimal degrees, east and north
// positive) and the tile grid of the spherical Mercator projection: at zoom z
// the world is 2^z x 2^z tiles, column 0 at longitude -180, row 0 at the
// grid's northern edge (85.0511287798066 degrees). Pure functions, callable
// from any thread.
//
// The tile functions truncate toward zero and do not clamp: longitude 180
// gives column 2^z, one past the last, and latitudes outside the grid give
// rows outside 0..2^z-1. z must lie in 0..30.

#include <cstdint>

namespace tessellon {

// Column that contains `longitude`.
std::int32_t LongitudeToTileX(double longitude, int zoom);
// Row that contains `latitude`.
std::int32_t LatitudeToTileY(double latitude, int zoom);
// Longitude of the west edge of column x (x + 1 gives the east edge).
double TileXToLongitude(double x, int zoom);
// Latitude of the north edge of row y (y + 1 gives the south edge).
double TileYToLatitude(double y, int zoom);
// Where on the grid a point lies, in tiles with their fraction, for drawing:
// the inverses of the two above.
double LongitudeToTileXExact(double longitude, int zoom);
double LatitudeToTileYExact(double latitude, int zoom);

}  // namespace tessellon
