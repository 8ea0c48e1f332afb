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

TEST(WebMercator, PixelsAreTheGridCutIntoTileSidesOf256) {
    // A pixel at zoom 0 is the world's width over 256: 156543.03392804097 m,
    // the resolution every tile server publishes for level 0.
    EXPECT_DOUBLE_EQ(MercatorPixelSize(0), 156543.03392804097);
    EXPECT_DOUBLE_EQ(MercatorPixelSize(19), 156543.03392804097 / 524288);
    EXPECT_DOUBLE_EQ(WorldPixels(19), 134217728);
    EXPECT_DOUBLE_EQ(MercatorTileSide(1), kHalfWorldMetres);

    struct Case {
        double Longitude;
        double Latitude;
        int Zoom;
        double PixelX;
        double PixelY;
    };
    const Case cases[] = {
        {-180, 0, 0, 0, 128},
        {180, 0, 3, 2048, 1024},
        {0, TileYToLatitude(0, 0), 5, 4096, 0},
        // The west and north edges of tile (6742, 3101) at zoom 13.
        {TileXToLongitude(6742, 13), TileYToLatitude(3101, 13), 13, 6742 * 256.0, 3101 * 256.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.Longitude) + " " + std::to_string(c.Latitude) + " z" +
                     std::to_string(c.Zoom));
        const double x = LongitudeToPixelX(c.Longitude, c.Zoom);
        const double y = LatitudeToPixelY(c.Latitude, c.Zoom);
        EXPECT_NEAR(x, c.PixelX, 1e-6);
        EXPECT_NEAR(y, c.PixelY, 1e-6);
        // Through metres and back, and onto the projection's own metres.
        EXPECT_NEAR(MercatorXToPixelX(PixelXToMercatorX(x, c.Zoom), c.Zoom), x, 1e-6);
        EXPECT_NEAR(MercatorYToPixelY(PixelYToMercatorY(y, c.Zoom), c.Zoom), y, 1e-6);
        EXPECT_NEAR(PixelXToMercatorX(x, c.Zoom), LongitudeToMercatorX(c.Longitude), 1e-6);
        EXPECT_NEAR(PixelYToMercatorY(y, c.Zoom), LatitudeToMercatorY(c.Latitude), 1e-6);
    }
    // A tile's bounds are its pixel edges in metres.
    const MercatorBounds tile = TileMercatorBounds(6742, 3101, 13);
    EXPECT_DOUBLE_EQ(tile.MinX, PixelXToMercatorX(6742 * 256.0, 13));
    EXPECT_DOUBLE_EQ(tile.MaxY, PixelYToMercatorY(3101 * 256.0, 13));
    EXPECT_NEAR(tile.MaxX - tile.MinX, MercatorTileSide(13), 1e-6);
}

TEST(WebMercator, TheScaleGrowsTowardThePoles) {
    EXPECT_DOUBLE_EQ(MercatorScaleAt(0), 1);
    EXPECT_NEAR(MercatorScaleAt(60), 2, 1e-12);
    EXPECT_NEAR(MercatorScaleAt(-60), 2, 1e-12);
}

}  // namespace
}  // namespace tessellon
