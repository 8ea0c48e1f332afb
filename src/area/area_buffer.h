#pragma once
// Buffers measured on the ground: the user's text for a distance, and the
// area within that distance of polygons and lines on the sphere of the web
// Mercator projection (radius kEarthRadiusMetres), with an error under 1% of
// the distance at any latitude of the tile grid.
//
// Segments and polygon edges are straight on the tile grid (in Mercator
// metres), as the tile cover draws them; the result's edges are too.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "geo/geo_shape.h"

namespace tessellon {

// The largest buffer: a corridor wider than this is no longer a corridor, and
// the local projections the buffer is measured in stay within their
// tolerance up to it.
inline constexpr double kMaxBufferMetres = 1'000'000;

// "2km", "500m", "1.5 km", "0": metres. Returns nothing and says why in
// `error` for any other text, a negative distance or one above
// kMaxBufferMetres.
std::optional<double> ParseBufferDistance(std::string_view text, std::string& error);

// The distance as the user would write it: "500 m", "1.5 km".
std::string FormatBufferDistance(double metres);

// Everything within `metres` (above 0) on the ground of the polygons (their
// insides included) and the lines, as polygons in degrees, not yet cut to the
// grid. Throws EAreaError with `fileName` when the buffer reaches across the
// antimeridian or around a pole.
std::vector<GeoPolygon> BufferOnGround(const std::vector<GeoPolygon>& polygons,
                                       const std::vector<std::vector<GeoPoint>>& lines,
                                       double metres, const std::string& fileName);

}  // namespace tessellon
