#include "geo/tile_math.h"

#include <gtest/gtest.h>

#include <limits>

namespace tessellon {
namespace {

constexpr double kEdgeTolerance = 1e-12;
constexpr double kGridEdge = 85.0511287798066;

struct WorkedExample {
    double longitude, latitude;
    int zoom;
    std::int32_t x, y;
    double west, east, north, south;
};

const WorkedExample kWorkedExamples[] = {
    {116.391, 39.907, 13, 6744, 3104, 116.3671875, 116.4111328125, 39.90973623453718,
     39.87601941962115},
    {-0.1276, 51.5072, 10, 511, 340, -0.3515625, 0, 51.61801654877370, 51.39920565355377},
    {-74.006, 40.7128, 19, 154364, 197122, -74.00665283203125, -74.00596618652344,
     40.71291489723401, 40.71239442660529},
    {151.2093, -33.8688, 5, 29, 19, 146.25, 157.5, -31.95216223802495, -40.97989806962013},
    {0, 0, 1, 1, 1, 0, 180, 0, -kGridEdge},
};

TEST(TileMath, WorkedExamplesGiveTheirTileAndItsFourEdges) {
    for (const WorkedExample& e : kWorkedExamples) {
        SCOPED_TRACE(testing::Message() << e.longitude << ", " << e.latitude << ", z" << e.zoom);
        EXPECT_EQ(LongitudeToTileX(e.longitude, e.zoom), e.x);
        EXPECT_EQ(LatitudeToTileY(e.latitude, e.zoom), e.y);
        EXPECT_NEAR(TileXToLongitude(e.x, e.zoom), e.west, kEdgeTolerance);
        EXPECT_NEAR(TileXToLongitude(e.x + 1, e.zoom), e.east, kEdgeTolerance);
        EXPECT_NEAR(TileYToLatitude(e.y, e.zoom), e.north, kEdgeTolerance);
        EXPECT_NEAR(TileYToLatitude(e.y + 1, e.zoom), e.south, kEdgeTolerance);
    }
}

TEST(TileMath, ColumnsSpanMinus180To180WithoutClamping) {
    for (int z = 0; z <= 30; ++z) {
        SCOPED_TRACE(z);
        const std::int32_t side = 1 << z;
        EXPECT_EQ(LongitudeToTileX(-180, z), 0);
        EXPECT_EQ(LongitudeToTileX(180, z), side);  // one past the last column
        EXPECT_EQ(TileXToLongitude(0, z), -180);
        EXPECT_EQ(TileXToLongitude(side, z), 180);
    }
    EXPECT_EQ(LongitudeToTileX(179.9999, 1), 1);
}

TEST(TileMath, CoveringTilesStayOnTheGrid) {
    // Longitude 180 is the east edge of the last column; the grid's edges
    // in latitude are its first and last rows.
    for (int z = 1; z <= 19; ++z) {
        SCOPED_TRACE(z);
        const std::int32_t last = (1 << z) - 1;
        const TileRange world = CoveringTiles({-180, 180, 85.0511287798066, -85.0511287798066}, z);
        EXPECT_EQ(world.MinX, 0);
        EXPECT_EQ(world.MaxX, last);
        EXPECT_EQ(world.MinY, 0);
        EXPECT_EQ(world.MaxY, last);
        EXPECT_EQ(CoveringTiles({180, 180, 10, 10}, z).MinX, last);
    }
    EXPECT_EQ(CoveringTiles({170, 180, 10, 0}, 3).Count(), 2);
}

TEST(TileMath, RowsRunFromTheGridsNorthernEdgeToItsSouthernEdge) {
    for (int z = 1; z <= 30; ++z) {
        SCOPED_TRACE(z);
        const std::int32_t side = 1 << z;
        EXPECT_EQ(LatitudeToTileY(0, z), side / 2);
        EXPECT_EQ(TileYToLatitude(side / 2, z), 0.0);  // exactly: r = 1
        EXPECT_NEAR(TileYToLatitude(0, z), kGridEdge, kEdgeTolerance);
        EXPECT_NEAR(TileYToLatitude(side, z), -kGridEdge, kEdgeTolerance);
    }
    EXPECT_EQ(LatitudeToTileY(85, 1), 0);
    EXPECT_EQ(LatitudeToTileY(-85, 1), 1);
    EXPECT_EQ(LatitudeToTileY(85.06, 1), 0);   // north of the grid truncates to 0
    EXPECT_EQ(LatitudeToTileY(-85.06, 1), 2);  // south of it is not clamped
}

TEST(TileMath, EveryRowContainsTheLatitudesBetweenItsEdges) {
    for (int z : {1, 2, 7, 13, 19}) {
        const std::int32_t side = 1 << z;
        for (std::int32_t y = 0; y < side; ++y) {
            const double north = TileYToLatitude(y, z);
            const double south = TileYToLatitude(y + 1, z);
            ASSERT_GT(north, south) << "z" << z << " y" << y;
            const double middle = south + (north - south) / 2;
            ASSERT_EQ(LatitudeToTileY(middle, z), y) << "z" << z << " y" << y;
        }
    }
}

TEST(TileMath, EveryColumnContainsTheLongitudesBetweenItsEdges) {
    for (int z : {1, 2, 7, 13, 19}) {
        const std::int32_t side = 1 << z;
        for (std::int32_t x = 0; x < side; ++x) {
            const double west = TileXToLongitude(x, z);
            const double middle = west + (TileXToLongitude(x + 1, z) - west) / 2;
            ASSERT_EQ(LongitudeToTileX(middle, z), x) << "z" << z << " x" << x;
            ASSERT_EQ(LongitudeToTileX(west, z), x) << "z" << z << " x" << x;
        }
    }
}

TEST(TileMath, ExactPositionsInvertTheEdgeFunctions) {
    for (int z : {0, 5, 13, 19}) {
        for (double t : {0.0, 0.25, 0.5, 0.999}) {
            const double x = t * static_cast<double>(1LL << z);
            EXPECT_NEAR(LongitudeToTileXExact(TileXToLongitude(x, z), z), x, 1e-6) << z;
            EXPECT_NEAR(LatitudeToTileYExact(TileYToLatitude(x, z), z), x, 1e-6) << z;
        }
    }
    for (const WorkedExample& e : kWorkedExamples) {
        EXPECT_EQ(static_cast<std::int32_t>(LongitudeToTileXExact(e.longitude, e.zoom)), e.x);
        EXPECT_EQ(static_cast<std::int32_t>(LatitudeToTileYExact(e.latitude, e.zoom)), e.y);
    }
}

TEST(TileMath, NumbersNoColumnCanHoldSaturateInsteadOfOverflowing) {
    EXPECT_EQ(LongitudeToTileX(1e300, 19), INT32_MAX);
    EXPECT_EQ(LongitudeToTileX(-1e300, 19), INT32_MIN);
    EXPECT_EQ(LatitudeToTileY(std::numeric_limits<double>::quiet_NaN(), 19), INT32_MIN);
}

}  // namespace
}  // namespace tessellon
