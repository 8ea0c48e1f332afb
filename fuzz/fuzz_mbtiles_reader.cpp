// A tile container from elsewhere (an SQLite database: MBTiles, GeoPackage,
// OsmAnd SQLiteDB; or a PMTiles archive, by its first bytes), from a file in
// memory (tmpfs), opened as the map viewer opens it: the tile set's zooms,
// bounds and a few tiles. Any file must be refused with the container or
// tile-set error, or read; a file whose tile tables are views or carry
// triggers is never read; no tile read is larger than a download takes; and
// every zoom offered is one a map has, with bounds on its grid.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "net/net_limits.h"
#include "output/tile_set.h"

using namespace tessellon;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = fuzz::TmpfsFile("tiles.mbtiles");
    fuzz::WriteTmpfsFile(path, std::string_view(reinterpret_cast<const char*>(data), size));
    std::unique_ptr<TileSet> set;
    try {
        set = OpenTileSet(path, "");
    } catch (const ETileContainerError&) {
        return 0;
    } catch (const ETileSetError&) {
        return 0;
    }
    std::string bytes;
    for (const int zoom : set->Zooms()) {
        const TileRange bounds = set->Bounds(zoom);
        const std::int64_t side = std::int64_t{1} << zoom;
        if (zoom < 0 || zoom > 30 || bounds.MinX < 0 || bounds.MinY < 0 || bounds.MaxX >= side ||
            bounds.MaxY >= side || bounds.MinX > bounds.MaxX || bounds.MinY > bounds.MaxY) {
            fuzz::Fail("a zoom or bounds no map has");
        }
        // The corners and the middle, where a made file keeps its tiles.
        for (const auto& [x, y] :
             {std::pair{bounds.MinX, bounds.MinY}, std::pair{bounds.MaxX, bounds.MaxY},
              std::pair{(bounds.MinX + bounds.MaxX) / 2, (bounds.MinY + bounds.MaxY) / 2}}) {
            if (set->Read(zoom, x, y, bytes) == TileState::Present &&
                bytes.size() > kDefaultMaxTileBytes) {
                fuzz::Fail("a tile larger than a download takes");
            }
        }
    }
    return 0;
}
