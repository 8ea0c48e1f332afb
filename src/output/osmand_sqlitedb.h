#pragma once
// The tile store of the phone apps OsmAnd and Locus (".sqlitedb"): the tiles
// in tiles(x, y, z, s, image), rows counted from the north, and one row of
// info telling the zooms and how z numbers them. A file numbers its zooms
// either directly (z is the zoom) or "BigPlanet" (z = 17 - zoom); a new file
// takes BigPlanet, and a file that exists keeps the numbering it declares.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "output/tile_export.h"

namespace tessellon {

// The top of the inverted numbering: z = kBigPlanetTop - zoom.
inline constexpr int kBigPlanetTop = 17;

class SqliteDb;

// Whether the file numbers its zooms "BigPlanet", as the apps read its info
// table: yes when info has no tilenumbering column or no row, else whether
// the column says "BigPlanet" (any case).
bool UsesBigPlanetZooms(SqliteDb& db);

// Takes image tiles (PNG, JPEG, WebP) into `file` (see SqliteTileSink);
// refuses vector tiles, a database that has tables but no tiles(x, y, z, s,
// image) table, and tiles of another kind than the file's.
std::unique_ptr<TileSink> MakeOsmandSink(const std::string& file, bool existed);

}  // namespace tessellon
