#pragma once
// The GeoPackage container (OGC GeoPackage 1.3, tiles): the tiles in a table
// "tiles" on the web map grid in EPSG:3857, each zoom a tile matrix, as QGIS
// and GDAL read it (every zoom below the deepest an overview). A second
// export into the same file replaces the tiles of the same place.

#include <memory>
#include <string>

#include "output/tile_export.h"

namespace tessellon {

// Takes image tiles (PNG, JPEG, WebP) into `file` (see SqliteTileSink);
// refuses vector tiles and a database that is no GeoPackage, or whose
// "tiles" table holds something else.
std::unique_ptr<TileSink> MakeGeoPackageSink(const std::string& file, bool existed);

}  // namespace tessellon
