#pragma once
// Which tiles of a zoom a shape covers: a tile belongs when its closed square
// meets the closed shape, its boundary included, so a shape that only
// touches a tile's edge or corner has that tile too. The result is kept per
// column as runs of rows, never as a list of tiles, so a cover of millions of
// tiles takes a few bytes a column.
//
// Each column's strip is cut from the shape exactly: the rows a column holds
// are the rows its edge pieces span, joined with the rows inside the shape
// on the strip's west line (any point of the strip inside the shape either
// sees an edge on its way west within the strip or reaches that line inside
// the shape). Overlapping polygons are joined (non-zero winding), holes cut.

#include <cstdint>
#include <vector>

#include "geo/geo_shape.h"
#include "geo/tile_math.h"

namespace tessellon {

// Rows MinY..MaxY of one column, both included.
struct RowSpan {
    std::int32_t MinY = 0;
    std::int32_t MaxY = 0;

    std::int64_t Count() const { return static_cast<std::int64_t>(MaxY) - MinY + 1; }
    bool operator==(const RowSpan&) const = default;
};

struct ShapeTiles {
    // The smallest range holding every tile; meaningless when Spans is
    // empty (a shape without area and without points on the grid).
    TileRange Range;
    // Column Range.MinX + i holds Spans[ColumnStart[i]] up to, not including,
    // Spans[ColumnStart[i + 1]], sorted from the north, neither overlapping
    // nor adjacent. ColumnStart has Range.Columns() + 1 entries.
    std::vector<std::uint32_t> ColumnStart;
    std::vector<RowSpan> Spans;

    std::int64_t Count() const;
};

// The tiles at `zoom` (0..30) that `shape` covers. Latitudes beyond the
// grid's edge are taken as the edge; longitudes stay within -180..180.
ShapeTiles CoverShape(const GeoShape& shape, int zoom);

}  // namespace tessellon
