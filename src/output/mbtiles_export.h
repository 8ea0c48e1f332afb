#pragma once
// The MBTiles container for the export: tiles by TMS rows in a tiles table
// and a metadata table of names and values. A second export into the same
// file replaces the tiles of the same place and widens the metadata to cover
// both.

#include <memory>
#include <string>

#include "output/tile_export.h"

namespace tessellon {

// Takes tiles into `file` (see SqliteTileSink); refuses a database with
// tables of its own and tiles of another format than the file's.
std::unique_ptr<TileSink> MakeMbtilesSink(const std::string& file, bool existed);

}  // namespace tessellon
