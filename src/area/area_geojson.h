#pragma once
// GeoJSON area files (RFC 7946: longitude and latitude on WGS 84), read in
// one pass over the text without building the document: only the
// coordinates of the geometries that make the area are kept, 16 bytes a
// point, so a file at the size limit never holds more than its points in
// memory. Geometries count where GeoJSON puts them: the document itself, a
// Feature's "geometry", a FeatureCollection's "features" and a
// GeometryCollection's "geometries"; anything under "properties" or other
// members is passed over.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "area/raw_area.h"

namespace tessellon {

// True when `text` (a file's start is enough) is a JSON object: the only
// form a GeoJSON file has.
bool LooksLikeJson(std::string_view text);

// The polygons and lines of the GeoJSON `text` read from `path`, in the
// document's order. Nothing when the document declares a coordinate system
// other than longitude and latitude on WGS 84 (the "crs" member of older
// GeoJSON): GDAL's reader transforms those. Throws EAreaError naming `path`
// for text that is not GeoJSON, malformed coordinates, and more than
// `pointLimit` points.
std::optional<RawArea> ReadGeoJson(std::string_view text, const std::string& path,
                                   std::size_t pointLimit);

}  // namespace tessellon
