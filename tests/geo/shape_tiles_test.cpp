#include "geo/shape_tiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <tuple>

namespace tessellon {
namespace {

using Tile = std::pair<std::int32_t, std::int32_t>;
using TileSet = std::set<Tile>;

// A point given in tile units of `zoom`: columns are exact in degrees, and so
// is the equator's row; other rows are near enough for points off the grid's
// lines.
GeoPoint At(double x, double y, int zoom) {
    return {TileXToLongitude(x, zoom), TileYToLatitude(y, zoom)};
}

GeoRing Ring(std::initializer_list<std::pair<double, double>> points, int zoom) {
    GeoRing ring;
    for (const auto& [x, y] : points) {
        ring.push_back(At(x, y, zoom));
    }
    return ring;
}

TileSet Tiles(const ShapeTiles& tiles) {
    TileSet set;
    for (std::int64_t i = 0; i < tiles.Range.Columns(); ++i) {
        const auto x = static_cast<std::int32_t>(tiles.Range.MinX + i);
        for (auto s = tiles.ColumnStart[static_cast<std::size_t>(i)];
             s < tiles.ColumnStart[static_cast<std::size_t>(i) + 1]; ++s) {
            for (std::int32_t y = tiles.Spans[s].MinY; y <= tiles.Spans[s].MaxY; ++y) {
                set.insert({x, y});
            }
        }
    }
    return set;
}

TileSet Block(std::int32_t minX, std::int32_t minY, std::int32_t maxX, std::int32_t maxY) {
    TileSet set;
    for (std::int32_t x = minX; x <= maxX; ++x) {
        for (std::int32_t y = minY; y <= maxY; ++y) {
            set.insert({x, y});
        }
    }
    return set;
}

TileSet Without(TileSet set, const TileSet& gone) {
    for (const Tile& t : gone) {
        set.erase(t);
    }
    return set;
}

constexpr int kZoom = 4;
// Row 8's north edge at zoom 4 is the equator, exact in degrees.
constexpr double kEquator = 8;

struct HandCase {
    const char* Name;
    GeoShape Shape;
    TileSet Expected;
};

std::vector<HandCase> HandCases() {
    const int z = kZoom;
    std::vector<HandCase> cases;
    // An edge along the equator touches the row north of it; edges on
    // column lines touch the columns beside them.
    cases.push_back({"edges on tile lines",
                     {{{Ring({{3, kEquator}, {5, kEquator}, {5, 9.5}, {3, 9.5}}, z), {}}}},
                     Block(2, 7, 5, 9)});
    // A triangle whose corner sits on the corner of four tiles.
    cases.push_back({"corner on a tile corner",
                     {{{Ring({{5, kEquator}, {5.8, 8.3}, {5.3, 8.8}}, z), {}}}},
                     Block(4, 7, 5, 8)});
    // A U opening north: the notch between its arms holds no tile.
    cases.push_back({"concave",
                     {{{Ring({{1.5, 8.5},
                              {6.5, 8.5},
                              {6.5, 3.5},
                              {5.5, 3.5},
                              {5.5, 7.5},
                              {2.5, 7.5},
                              {2.5, 3.5},
                              {1.5, 3.5}},
                             z),
                        {}}}},
                     Without(Block(1, 3, 6, 8), Block(3, 3, 4, 6))});
    // A square with a hole that frees the tiles wholly inside it.
    cases.push_back({"hole",
                     {{{Ring({{0.5, 0.5}, {6.5, 0.5}, {6.5, 6.5}, {0.5, 6.5}}, z),
                        {Ring({{1.9, 1.9}, {5.1, 1.9}, {5.1, 5.1}, {1.9, 5.1}}, z)}}}},
                     Without(Block(0, 0, 6, 6), Block(2, 2, 4, 4))});
    // Islands: two small polygons far apart, one drawn the other way round.
    cases.push_back({"islands",
                     {{{Ring({{1.2, 2.2}, {1.8, 2.2}, {1.8, 2.8}}, z), {}},
                       {Ring({{10.2, 12.2}, {11.4, 12.8}, {10.2, 12.8}}, z), {}}}},
                     {{1, 2}, {10, 12}, {11, 12}}});
    // A polygon inside another one's hole is land again.
    cases.push_back({"island in a lake",
                     {{{Ring({{0.5, 0.5}, {6.5, 0.5}, {6.5, 6.5}, {0.5, 6.5}}, z),
                        {Ring({{1.9, 1.9}, {5.1, 1.9}, {5.1, 5.1}, {1.9, 5.1}}, z)}},
                       {Ring({{3.2, 3.2}, {3.8, 3.2}, {3.8, 3.8}}, z), {}}}},
                     Without(Block(0, 0, 6, 6),
                             {{2, 2}, {2, 3}, {2, 4}, {3, 2}, {3, 4}, {4, 2}, {4, 3}, {4, 4}})});
    return cases;
}

TEST(ShapeTiles, HandCheckedShapesGiveTheirTiles) {
    for (const HandCase& c : HandCases()) {
        SCOPED_TRACE(c.Name);
        const ShapeTiles tiles = CoverShape(c.Shape, kZoom);
        EXPECT_EQ(Tiles(tiles), c.Expected);
        EXPECT_EQ(tiles.Count(), static_cast<std::int64_t>(c.Expected.size()));
        EXPECT_EQ(tiles.Range.MinX, c.Expected.begin()->first);
        EXPECT_EQ(tiles.Range.MaxX, c.Expected.rbegin()->first);
    }
}

TEST(ShapeTiles, ShapesAtTheGridsEdgesStayOnTheGrid) {
    // The whole world, poles included, is every tile once.
    const GeoShape world{{{{{-180, 90}, {180, 90}, {180, -90}, {-180, -90}}, {}}}};
    const ShapeTiles tiles = CoverShape(world, 3);
    EXPECT_EQ(Tiles(tiles), Block(0, 0, 7, 7));
    EXPECT_EQ(tiles.ColumnStart.size(), 9u);
    EXPECT_EQ(tiles.Spans.size(), 8u);
    EXPECT_TRUE(CoverShape({}, 3).Spans.empty());
}

// The rule itself: a tile belongs when its closed square meets the polygon.
bool SegmentMeetsBox(double x0, double y0, double x1, double y1, double minX, double minY,
                     double maxX, double maxY) {
    double t0 = 0;
    double t1 = 1;
    const double dx = x1 - x0;
    const double dy = y1 - y0;
    for (const auto& [p, q] : {std::pair{-dx, x0 - minX}, std::pair{dx, maxX - x0},
                               std::pair{-dy, y0 - minY}, std::pair{dy, maxY - y0}}) {
        if (p == 0) {
            if (q < 0) {
                return false;
            }
        } else if (p < 0) {
            t0 = std::max(t0, q / p);
        } else {
            t1 = std::min(t1, q / p);
        }
    }
    return t0 <= t1;
}

int Winding(const std::vector<std::pair<double, double>>& ring, double x, double y) {
    int winding = 0;
    for (std::size_t i = 0; i < ring.size(); ++i) {
        const auto [x0, y0] = ring[i];
        const auto [x1, y1] = ring[(i + 1) % ring.size()];
        if ((y0 <= y) != (y1 <= y)) {
            const double cross = x0 + (y - y0) * (x1 - x0) / (y1 - y0);
            if (cross > x) {
                winding += y1 > y0 ? 1 : -1;
            }
        }
    }
    return winding;
}

TEST(ShapeTiles, RandomPolygonsGiveEveryTileTheirSquaresMeet) {
    std::mt19937 random(20261208);
    for (int round = 0; round < 60; ++round) {
        const int zoom = 3 + round % 4;
        const double side = std::ldexp(1.0, zoom);
        std::uniform_real_distribution<double> coordinate(0.01 * side, 0.99 * side);
        const int corners = 3 + round % 9;
        GeoRing ring;
        std::vector<std::pair<double, double>> units;
        for (int i = 0; i < corners; ++i) {
            const GeoPoint p = At(coordinate(random), coordinate(random), zoom);
            ring.push_back(p);
            units.emplace_back(LongitudeToTileXExact(p.Longitude, zoom),
                               LatitudeToTileYExact(p.Latitude, zoom));
        }
        TileSet expected;
        for (std::int32_t x = 0; x < side; ++x) {
            for (std::int32_t y = 0; y < side; ++y) {
                bool meets = Winding(units, x + 0.5, y + 0.5) != 0;
                for (std::size_t i = 0; i < units.size() && !meets; ++i) {
                    const auto [x0, y0] = units[i];
                    const auto [x1, y1] = units[(i + 1) % units.size()];
                    meets = SegmentMeetsBox(x0, y0, x1, y1, x, y, x + 1, y + 1);
                }
                if (meets) {
                    expected.insert({x, y});
                }
            }
        }
        SCOPED_TRACE(testing::Message() << "round " << round << ", zoom " << zoom);
        EXPECT_EQ(Tiles(CoverShape({{{ring, {}}}}, zoom)), expected);
    }
}

TEST(ShapeTiles, EveryTileOfAZoomHasItsParentInTheZoomAbove) {
    const GeoShape shape{{{{{-3.1, 51.2}, {1.7, 52.9}, {0.4, 49.8}, {-1.2, 50.9}}, {}}}};
    for (int zoom = 6; zoom < 12; ++zoom) {
        const TileSet parents = Tiles(CoverShape(shape, zoom));
        for (const auto& [x, y] : Tiles(CoverShape(shape, zoom + 1))) {
            EXPECT_TRUE(parents.contains({x / 2, y / 2})) << zoom + 1 << "/" << x << "/" << y;
        }
    }
}

}  // namespace
}  // namespace tessellon
