#include "task/tile_cover.h"

#include <gtest/gtest.h>

namespace tessellon {
namespace {

// Every tile of the cover in its order, found by walking the zooms, columns
// and runs themselves.
std::vector<TileId> TilesInOrder(const TileCover& cover) {
    std::vector<TileId> tiles;
    for (int zoom = cover.MinZoom(); zoom <= cover.MaxZoom(); ++zoom) {
        const TileRange& range = cover.RangeAt(zoom);
        for (std::int32_t x = range.MinX; x <= range.MaxX; ++x) {
            for (const RowSpan& run : cover.ColumnRows(zoom, x)) {
                for (std::int32_t y = run.MinY; y <= run.MaxY; ++y) {
                    tiles.push_back({zoom, x, y});
                }
            }
        }
    }
    return tiles;
}

void ExpectOrderNumbersBothWays(const TileCover& cover) {
    const std::vector<TileId> tiles = TilesInOrder(cover);
    ASSERT_EQ(static_cast<std::int64_t>(tiles.size()), cover.Count());
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        const auto seq = static_cast<std::int64_t>(i) + 1;
        ASSERT_EQ(cover.At(seq), tiles[i]) << seq;
        ASSERT_EQ(cover.SeqOf(tiles[i]), seq) << seq;
    }
    // Every worker's stride visits its own positions and no other.
    for (std::int64_t workers = 1; workers <= 8; ++workers) {
        for (std::int64_t first = 1; first <= workers; ++first) {
            std::int64_t expected = first;
            for (TileCover::Cursor c = cover.From(first); c.Valid(); c.Advance(workers)) {
                ASSERT_EQ(c.Seq(), expected);
                ASSERT_EQ(c.Tile(), tiles[static_cast<std::size_t>(expected - 1)]);
                expected += workers;
            }
            ASSERT_GT(expected, cover.Count());
        }
    }
}

TEST(TileCover, OneRectangleAtOneZoomIsTheColumnByColumnWalk) {
    const GeoRect beijing{116.3, 116.5, 40, 39.8};
    const TileCover cover = TileCover::OfRectangle(beijing, 13, 13);
    const TileRange range = CoveringTiles(beijing, 13);
    EXPECT_TRUE(cover.IsSingleRectangle());
    EXPECT_EQ(cover.Count(), range.Count());
    EXPECT_EQ(cover.RangeAt(13).MinX, range.MinX);
    // The walk numbers positions from 1, down each column, west to east.
    std::int64_t seq = 0;
    for (std::int32_t x = range.MinX; x <= range.MaxX; ++x) {
        for (std::int32_t y = range.MinY; y <= range.MaxY; ++y) {
            ++seq;
            ASSERT_EQ(cover.SeqOf({13, x, y}), seq);
        }
    }
    ExpectOrderNumbersBothWays(cover);
    EXPECT_EQ(cover.SeqOf({13, range.MaxX + 1, range.MinY}), 0);
    EXPECT_EQ(cover.SeqOf({12, range.MinX, range.MinY}), 0);
}

TEST(TileCover, ZoomsFollowEachOtherFromTheLowest) {
    const GeoRect area{116.3, 116.5, 40, 39.8};
    const TileCover cover = TileCover::OfRectangle(area, 10, 14);
    EXPECT_FALSE(cover.IsSingleRectangle());
    std::int64_t before = 0;
    for (int zoom = 10; zoom <= 14; ++zoom) {
        const TileRange range = CoveringTiles(area, zoom);
        EXPECT_EQ(cover.CountAt(zoom), range.Count());
        EXPECT_EQ(cover.SeqOf({zoom, range.MinX, range.MinY}), before + 1);
        before += range.Count();
    }
    EXPECT_EQ(cover.Count(), before);
    ExpectOrderNumbersBothWays(cover);
}

TEST(TileCover, AShapesTilesAreItsRunsInTheSameOrder) {
    // A ring with a hole over a few zooms: columns with two runs and
    // columns with one.
    const GeoShape ring{{{{{-3.0, 52.0}, {1.0, 52.0}, {1.0, 49.0}, {-3.0, 49.0}},
                          {{{-2.0, 51.0}, {0.0, 51.0}, {0.0, 50.0}, {-2.0, 50.0}}}}}};
    const TileCover cover = TileCover::OfShape(ring, 7, 10);
    EXPECT_TRUE(cover.Shaped());
    std::int64_t total = 0;
    for (int zoom = 7; zoom <= 10; ++zoom) {
        total += CoverShape(ring, zoom).Count();
        EXPECT_EQ(cover.CountAt(zoom), CoverShape(ring, zoom).Count());
    }
    EXPECT_EQ(cover.Count(), total);
    const TileId inHole{10, LongitudeToTileX(-1, 10), LatitudeToTileY(50.5, 10)};
    EXPECT_EQ(cover.SeqOf(inHole), 0);
    EXPECT_NE(cover.SeqOf({10, inHole.X - 4, inHole.Y}), 0);
    ExpectOrderNumbersBothWays(cover);
}

TEST(TileCover, AStepPastTheLastTileEndsTheWalk) {
    const TileCover cover = TileCover::OfRectangle({0.1, 0.2, 0.2, 0.1}, 1, 2);
    EXPECT_EQ(cover.Count(), 2);
    TileCover::Cursor c = cover.From(2);
    EXPECT_TRUE(c.Valid());
    c.Advance(5);
    EXPECT_FALSE(c.Valid());
    EXPECT_FALSE(cover.From(3).Valid());
    EXPECT_THROW(cover.At(0), std::out_of_range);
    EXPECT_EQ(TileCover().Count(), 0);
}

}  // namespace
}  // namespace tessellon
