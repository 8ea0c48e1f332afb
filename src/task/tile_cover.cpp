#include "task/tile_cover.h"

#include <algorithm>
#include <stdexcept>

namespace tessellon {

std::span<const RowSpan> TileCover::ZoomLevel::Column(std::int64_t i) const {
    if (Whole()) {
        return {&Full, 1};
    }
    const auto first = Shape.ColumnStart[static_cast<std::size_t>(i)];
    const auto last = Shape.ColumnStart[static_cast<std::size_t>(i) + 1];
    return {Shape.Spans.data() + first, last - first};
}

TileCover TileCover::OfRectangle(const GeoRect& area, int minZoom, int maxZoom) {
    TileCover cover;
    for (int zoom = minZoom; zoom <= maxZoom; ++zoom) {
        cover.AddRange(CoveringTiles(area, zoom), zoom);
    }
    return cover;
}

TileCover TileCover::OfRange(const TileRange& range, int zoom) {
    TileCover cover;
    cover.AddRange(range, zoom);
    return cover;
}

void TileCover::AddRange(const TileRange& range, int zoom) {
    ZoomLevel level;
    level.Zoom = zoom;
    level.Range = range;
    level.Count = range.Count();
    level.Full = {range.MinY, range.MaxY};
    AddLevel(std::move(level));
}

TileCover TileCover::OfShape(const GeoShape& shape, int minZoom, int maxZoom) {
    TileCover cover;
    cover.shaped_ = true;
    for (int zoom = minZoom; zoom <= maxZoom; ++zoom) {
        ZoomLevel level;
        level.Zoom = zoom;
        level.Shape = CoverShape(shape, zoom);
        if (level.Shape.Spans.empty()) {
            continue;
        }
        level.Range = level.Shape.Range;
        const auto columns = static_cast<std::size_t>(level.Range.Columns());
        level.TilesBefore.resize(columns + 1);
        for (std::size_t i = 0; i < columns; ++i) {
            std::int64_t tiles = 0;
            for (const RowSpan& run : level.Column(static_cast<std::int64_t>(i))) {
                tiles += run.Count();
            }
            level.TilesBefore[i + 1] = level.TilesBefore[i] + tiles;
        }
        level.Count = level.TilesBefore.back();
        cover.AddLevel(std::move(level));
    }
    return cover;
}

void TileCover::AddLevel(ZoomLevel level) {
    level.Before = Count();
    levels_.push_back(std::move(level));
}

const TileCover::ZoomLevel& TileCover::Level(int zoom) const {
    if (!HasZoom(zoom)) {
        throw std::out_of_range("zoom " + std::to_string(zoom) + " is not in the cover");
    }
    // A shape without tiles at a zoom leaves no level for it.
    const auto level = std::find_if(levels_.begin(), levels_.end(),
                                    [zoom](const ZoomLevel& l) { return l.Zoom == zoom; });
    if (level == levels_.end()) {
        throw std::out_of_range("zoom " + std::to_string(zoom) + " has no tiles in the cover");
    }
    return *level;
}

std::size_t TileCover::LevelOfSeq(std::int64_t seq) const {
    const auto level =
        std::upper_bound(levels_.begin(), levels_.end(), seq,
                         [](std::int64_t s, const ZoomLevel& l) { return s <= l.End(); });
    return static_cast<std::size_t>(level - levels_.begin());
}

std::int64_t TileCover::SeqOf(const TileId& tile) const {
    const auto found = std::find_if(levels_.begin(), levels_.end(),
                                    [&](const ZoomLevel& l) { return l.Zoom == tile.Zoom; });
    if (found == levels_.end() || !found->Range.Contains(tile.X, tile.Y)) {
        return 0;
    }
    const ZoomLevel& level = *found;
    const std::int64_t column = static_cast<std::int64_t>(tile.X) - level.Range.MinX;
    std::int64_t seq = level.Before + level.ColumnTilesBefore(column);
    for (const RowSpan& run : level.Column(column)) {
        if (tile.Y < run.MinY) {
            return 0;
        }
        if (tile.Y <= run.MaxY) {
            return seq + (tile.Y - run.MinY) + 1;
        }
        seq += run.Count();
    }
    return 0;
}

TileId TileCover::At(std::int64_t seq) const {
    if (seq < 1 || seq > Count()) {
        throw std::out_of_range("seq " + std::to_string(seq) + " is not in the cover");
    }
    const ZoomLevel& level = levels_[LevelOfSeq(seq)];
    const std::int64_t index = seq - level.Before - 1;
    std::int64_t column = 0;
    if (level.Whole()) {
        column = index / level.Range.Rows();
    } else {
        const auto after =
            std::upper_bound(level.TilesBefore.begin(), level.TilesBefore.end(), index);
        column = (after - level.TilesBefore.begin()) - 1;
    }
    std::int64_t offset = index - level.ColumnTilesBefore(column);
    for (const RowSpan& run : level.Column(column)) {
        if (offset < run.Count()) {
            return {level.Zoom, static_cast<std::int32_t>(level.Range.MinX + column),
                    static_cast<std::int32_t>(run.MinY + offset)};
        }
        offset -= run.Count();
    }
    throw std::logic_error("a cover's column holds fewer tiles than its count");
}

std::span<const RowSpan> TileCover::ColumnRows(int zoom, std::int32_t x) const {
    const ZoomLevel& level = Level(zoom);
    if (x < level.Range.MinX || x > level.Range.MaxX) {
        return {};
    }
    return level.Column(static_cast<std::int64_t>(x) - level.Range.MinX);
}

TileCover::Cursor::Cursor(const TileCover& cover, std::int64_t seq) : cover_(&cover), seq_(seq) {
    Place();
}

void TileCover::Cursor::Place() {
    if (!Valid()) {
        return;
    }
    tile_ = cover_->At(seq_);
    level_ = cover_->LevelOfSeq(seq_);
    const ZoomLevel& level = cover_->levels_[level_];
    for (const RowSpan& run : level.Column(tile_.X - level.Range.MinX)) {
        if (tile_.Y <= run.MaxY) {
            runEnd_ = run.MaxY;
            break;
        }
    }
}

void TileCover::Cursor::Advance(std::int64_t steps) {
    seq_ += steps;
    // Most steps stay in the run: a worker's stride is a few tiles.
    if (Valid() && runEnd_ - tile_.Y >= steps) {
        tile_.Y += static_cast<std::int32_t>(steps);
        return;
    }
    Place();
}

}  // namespace tessellon
