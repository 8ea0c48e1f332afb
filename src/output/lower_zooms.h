#pragma once
// The zooms below a download's least, made from its tiles without asking the
// server: each tile of a zoom is its four children, 2 x 2 pixels averaged
// into one. A zoom is made from the one below it, the least downloaded zoom
// first; the tiles made wait in a temporary database (on disk, removed on
// close), so memory holds four tiles at a time whatever the area.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "output/sqlite_db.h"
#include "output/tile_export.h"

namespace tessellon {

class TaskReader;

// The 512 x 512 RGBA pixels of four tiles (rows top down, 2 * kTileRowBytes
// apart) into the 256 x 256 of their parent (kTileRowBytes apart). Each
// pixel is its 2 x 2, colour weighted by alpha: a half-covered pixel keeps
// its colour and takes half the alpha, never darkened by the transparent
// black beside it.
void AverageQuad(const std::uint8_t* quad, std::uint8_t* parent);

class LowerZoomBuilder {
public:
    // The `levels` zooms below the projects' least, in their tile `format`
    // ("png", "jpg", "webp"). A child counts where the export puts it into
    // the file: a present tile, and a blank one `withBlanks`; a child
    // missing is transparent, or white for JPEG.
    LowerZoomBuilder(const std::vector<TaskReader>& projects, int levels, std::string format,
                     bool withBlanks);

    // The places at which a tile may be built, for the progress.
    std::int64_t Places() const;
    // Builds every zoom, deepest first; `tick` is called for each place.
    void Build(const std::function<void()>& tick);
    // Puts every tile built into `sink`, zooms ascending, each zoom in the
    // order of the Hilbert curve (as PMTiles needs and any sink takes).
    void PutInto(TileSink& sink);
    // Each zoom built, ascending.
    const std::vector<BuiltZoom>& Built() const { return built_; }

private:
    // The children of `parent` decoded into the quad; false when it has none.
    bool ReadChildren(const TileId& parent, std::vector<std::uint8_t>& quad);
    bool ReadChild(const TileId& tile, std::string& bytes);
    // The tile's bytes in the projects' format; throws ETileContainerError.
    std::string Encoded(const std::uint8_t* rgba) const;

    const std::vector<TaskReader>& projects_;
    int least_ = 0;
    int levels_ = 0;
    std::string format_;
    bool withBlanks_ = false;
    SqliteDb spool_;
    // The places of the zoom above the least: the parents of its tiles.
    TileRange parents_;
    std::optional<SqliteStatement> select_;
    std::vector<BuiltZoom> built_;
    std::string bytes_;
};

}  // namespace tessellon
