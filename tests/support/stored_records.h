#pragma once
// What a tile store holds, read whole for tests to look into; the program
// itself reads a store only tile by tile (TileStoreReader).

#include <cstdint>
#include <string>
#include <unordered_map>

#include "task/tile_store.h"

namespace tessellon::test {

// One number per tile.
std::uint64_t TileStoreKey(const TileId& tile);

using TileValidatorMap = std::unordered_map<std::uint64_t, TileValidators>;

// Every record of the store at `path`; empty when it is missing or
// unreadable.
TileValidatorMap StoredRecords(const std::string& path);

}  // namespace tessellon::test
