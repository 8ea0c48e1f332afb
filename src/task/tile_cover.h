#pragma once
// The tiles of a task as one value: zooms MinZoom..MaxZoom, and per zoom the
// tiles of the area, either every tile of a range (a rectangle) or the tiles
// a shape covers, kept as row runs per column. Every tile has its order
// number, its `seq`, counted from 1: zoom by zoom from the lowest, inside a
// zoom column by column from the west and down each column from the north.
// For one rectangle at one zoom that is the order the download has always
// walked, so worker positions, resume numbers and files stay as they were.
// Both ways between a tile and its seq take logarithmic time, so a worker
// resumes anywhere without walking the cover.

#include <cstdint>
#include <span>
#include <vector>

#include "geo/geo_shape.h"
#include "geo/shape_tiles.h"
#include "geo/tile_math.h"

namespace tessellon {

// The zooms a task may have.
inline constexpr int kMinZoom = 1;
inline constexpr int kMaxZoom = 19;

struct TileId {
    int Zoom = 0;
    std::int32_t X = 0;
    std::int32_t Y = 0;

    bool operator==(const TileId&) const = default;
};

class TileCover {
public:
    // No tiles.
    TileCover() = default;
    // Every tile of the rectangle's covering range at each zoom; the zooms
    // must lie within kMinZoom..kMaxZoom, minZoom <= maxZoom.
    static TileCover OfRectangle(const GeoRect& area, int minZoom, int maxZoom);
    // Every tile of one range at one zoom.
    static TileCover OfRange(const TileRange& range, int zoom);
    // The tiles `shape` covers at each zoom (see CoverShape).
    static TileCover OfShape(const GeoShape& shape, int minZoom, int maxZoom);

    int MinZoom() const { return levels_.empty() ? 0 : levels_.front().Zoom; }
    int MaxZoom() const { return levels_.empty() ? 0 : levels_.back().Zoom; }
    bool HasZoom(int zoom) const { return zoom >= MinZoom() && zoom <= MaxZoom(); }
    bool Shaped() const { return shaped_; }
    // One rectangle at one zoom: the task files describe it without a cover
    // of their own.
    bool IsSingleRectangle() const { return !shaped_ && levels_.size() == 1; }

    std::int64_t Count() const { return levels_.empty() ? 0 : levels_.back().End(); }
    std::int64_t CountAt(int zoom) const { return Level(zoom).Count; }
    // The smallest range holding the zoom's tiles.
    const TileRange& RangeAt(int zoom) const { return Level(zoom).Range; }

    bool Contains(const TileId& tile) const { return SeqOf(tile) != 0; }
    // The tile's order number; 0 when the cover does not hold it.
    std::int64_t SeqOf(const TileId& tile) const;
    // The tile of order number `seq`, 1..Count().
    TileId At(std::int64_t seq) const;
    // The rows column x of a zoom holds, from the north; none outside the
    // zoom's range.
    std::span<const RowSpan> ColumnRows(int zoom, std::int32_t x) const;

    // Walks the cover in order from a seq, a step of any length at a time.
    class Cursor {
    public:
        bool Valid() const { return seq_ >= 1 && seq_ <= cover_->Count(); }
        std::int64_t Seq() const { return seq_; }
        const TileId& Tile() const { return tile_; }
        // Moves `steps` (>= 1) order numbers on.
        void Advance(std::int64_t steps);

    private:
        friend class TileCover;
        Cursor(const TileCover& cover, std::int64_t seq);
        void Place();

        const TileCover* cover_;
        std::int64_t seq_;
        TileId tile_;
        // Where tile_ lies: its level, and the run it is in.
        std::size_t level_ = 0;
        std::int32_t runEnd_ = 0;
    };
    // At `seq`; not Valid() past the last tile.
    Cursor From(std::int64_t seq) const { return Cursor(*this, seq); }

private:
    struct ZoomLevel {
        int Zoom = 0;
        TileRange Range;
        // Tiles of the lower zooms.
        std::int64_t Before = 0;
        std::int64_t Count = 0;
        // A whole range: empty. A shape: its runs, and for each column the
        // tiles of the zoom in the columns west of it (Columns() + 1 values).
        ShapeTiles Shape;
        std::vector<std::int64_t> TilesBefore;
        // The run a whole range's column has.
        RowSpan Full;

        std::int64_t End() const { return Before + Count; }
        bool Whole() const { return Shape.Spans.empty(); }
        std::span<const RowSpan> Column(std::int64_t i) const;
        std::int64_t ColumnTilesBefore(std::int64_t i) const {
            return Whole() ? i * Range.Rows() : TilesBefore[static_cast<std::size_t>(i)];
        }
    };

    const ZoomLevel& Level(int zoom) const;
    std::size_t LevelOfSeq(std::int64_t seq) const;
    void AddLevel(ZoomLevel level);
    void AddRange(const TileRange& range, int zoom);

    std::vector<ZoomLevel> levels_;
    bool shaped_ = false;
};

}  // namespace tessellon
