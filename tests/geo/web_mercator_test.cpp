#include "geo/web_mercator.h"

#include <gtest/gtest.h>

#include "geo/tile_math.h"

namespace tessellon {
namespace {

TEST(WebMercator, TheGridsCornersAndCentreLieWhereTheTileMathPutsThem) {
    EXPECT_DOUBLE_EQ(LongitudeToMercatorX(180), kHalfWorldMetres);
    EXPECT_DOUBLE_EQ(LongitudeToMercatorX(-180), -kHalfWorldMetres);
    EXPECT_NEAR(LatitudeToMercatorY(TileYToLatitude(0, 0)), kHalfWorldMetres, 1e-6);
    EXPECT_NEAR(LatitudeToMercatorY(0), 0, 1e-9);
    const MercatorBounds world = TileMercatorBounds(0, 0, 0);
    EXPECT_DOUBLE_EQ(world.MinX, -kHalfWorldMetres);
    EXPECT_DOUBLE_EQ(world.MaxY, kHalfWorldMetres);
    // Tile 1/1 at zoom 1 is the south-east quarter.
    const MercatorBounds quarter = TileMercatorBounds(1, 1, 1);
    EXPECT_DOUBLE_EQ(quarter.MinX, 0);
    EXPECT_DOUBLE_EQ(quarter.MaxY, 0);
    EXPECT_DOUBLE_EQ(quarter.MinY, -kHalfWorldMetres);
}

TEST(WebMercator, MetresAndDegreesAreInverses) {
    for (const double latitude : {-85.0, -33.8688, 0.0, 12.5, 51.5072, 84.9}) {
        SCOPED_TRACE(latitude);
        EXPECT_NEAR(MercatorYToLatitude(LatitudeToMercatorY(latitude)), latitude, 1e-9);
        // The tile math's row of a latitude agrees with the metres.
        const double row =
            (kHalfWorldMetres - LatitudeToMercatorY(latitude)) / (2 * kHalfWorldMetres) * (1 << 12);
        EXPECT_NEAR(row, LatitudeToTileYExact(latitude, 12), 1e-6);
    }
    EXPECT_NEAR(MercatorXToLongitude(LongitudeToMercatorX(-122.4194)), -122.4194, 1e-12);
}

TEST(WebMercator, TheScaleGrowsTowardThePoles) {
    EXPECT_DOUBLE_EQ(MercatorScaleAt(0), 1);
    EXPECT_NEAR(MercatorScaleAt(60), 2, 1e-12);
    EXPECT_NEAR(MercatorScaleAt(-60), 2, 1e-12);
}

}  // namespace
}  // namespace tessellon
