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

// Degrees, east and north positive.
struct GeoRect {
    double Left = 0;
    double Right = 0;
    double Top = 0;
    double Bottom = 0;
};

// Columns MinX..MaxX and rows MinY..MaxY, each end included.
struct TileRange {
    std::int32_t MinX = 0;
    std::int32_t MinY = 0;
    std::int32_t MaxX = 0;
    std::int32_t MaxY = 0;

    std::int64_t Columns() const { return static_cast<std::int64_t>(MaxX) - MinX + 1; }
    std::int64_t Rows() const { return static_cast<std::int64_t>(MaxY) - MinY + 1; }
    std::int64_t Count() const { return Columns() * Rows(); }
    bool Contains(std::int32_t x, std::int32_t y) const {
        return x >= MinX && x <= MaxX && y >= MinY && y <= MaxY;
    }
};

// The tiles that cover `area`: from the column of its left edge to that of its
// right edge, from the row of its higher latitude to that of its lower, by
// the truncating functions above, held to the grid: longitude 180 lies on the
// east edge of the last column, not in a column past it.
TileRange CoveringTiles(const GeoRect& area, int zoom);
// The edges of the range's outer tiles.
GeoRect TileRangeEdges(const TileRange& range, int zoom);

}  // namespace tessellon
