// The zooms built below a download's least: each parent the average of its
// four children (colour weighted by alpha, a missing child transparent, or
// white in JPEG), the zoom below that built from the one just built, and the
// refusals that leave the file untouched.

#include <gtest/gtest.h>

#include <array>
#include <filesystem>

#include "combine_fixture.h"
#include "output/mbtiles.h"
#include "output/tile_decoder.h"
#include "output/tile_export.h"
#include "platform/files.h"

namespace tessellon {
namespace {

using Rgba = std::array<std::uint8_t, 4>;

// A 256 x 256 RGBA PNG whose pixels alternate `even` and `odd` like a
// chessboard.
std::string Checker(Rgba even, Rgba odd) {
    test::Raster raster{256, 256, 4, {}};
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            const Rgba& pixel = (x + y) % 2 == 0 ? even : odd;
            raster.Pixels.insert(raster.Pixels.end(), pixel.begin(), pixel.end());
        }
    }
    return test::PngOf(raster);
}

class LowerZooms : public test::SmallTask {
protected:
    // The tile's RGBA pixel (x, y), read from the MBTiles file.
    Rgba PixelOf(const TileId& tile, int x, int y) {
        const std::optional<std::string> bytes =
            MbtilesReader(file).Tile(tile.Zoom, tile.X, tile.Y);
        if (!bytes) {
            ADD_FAILURE() << "no tile " << tile.Zoom << "/" << tile.X << "/" << tile.Y;
            return {};
        }
        std::vector<std::uint8_t> rgba(kTileRowBytes * kTileSide);
        EXPECT_EQ(DecodeTile(*bytes, rgba.data(), kTileRowBytes), "");
        const std::uint8_t* at = rgba.data() + kTileRowBytes * y + 4 * x;
        return {at[0], at[1], at[2], at[3]};
    }

    TileExport Export(int levels) {
        TileExportOptions options{"", false, blankFolder};
        options.BuildLower = levels;
        return ExportTiles(ContainerFormat::Mbtiles, {dir.File("newtask.tsln")}, file, options, {});
    }

    std::string file = dir.File("out.mbtiles");
};

// Children at zoom 13 of the zoom-12 tile (3371, 1551): a red and blue
// chessboard, red over nothing, solid green, and none.
TEST_F(LowerZooms, EachParentAveragesItsChildrenAndTheNextZoomItsParents) {
    Start();
    PutTile(kMinX, kMinY + 1, Checker({255, 0, 0, 255}, {0, 0, 255, 255}));
    PutTile(kMinX + 1, kMinY + 1, Checker({255, 0, 0, 255}, {0, 0, 0, 0}));
    PutTile(kMinX, kMinY + 2, test::EncodePng({0, 200, 0}));
    PutTile(kMinX, kMinY, test::EncodePng({9, 9, 9}));

    const TileExport result = Export(2);
    ASSERT_EQ(result.Built.size(), 2u);
    // Zoom 12: the parents of rows 3100-3101 and of 3102-3103; zoom 11 one.
    EXPECT_EQ(result.Built[0].Zoom, 11);
    EXPECT_EQ(result.Built[0].Tiles, 1);
    EXPECT_EQ(result.Built[1].Zoom, 12);
    EXPECT_EQ(result.Built[1].Tiles, 2);
    EXPECT_EQ(BuiltZoomsLine(result.Built), "Zooms 11-12 built from zoom 13: 1 and 2 tiles.");
    EXPECT_EQ(MbtilesReader(file).Zooms(), (std::vector<int>{11, 12, 13}));
    EXPECT_EQ(MbtilesReader(file).Metadata()["minzoom"], "11");

    const TileId parent{12, kMinX / 2, (kMinY + 1) / 2};
    EXPECT_EQ(PixelOf(parent, 10, 10), (Rgba{128, 0, 128, 255}));
    // Red at half the alpha, not darkened towards black.
    EXPECT_EQ(PixelOf(parent, 200, 10), (Rgba{255, 0, 0, 128}));
    EXPECT_EQ(PixelOf(parent, 10, 200), (Rgba{0, 200, 0, 255}));
    EXPECT_EQ(PixelOf(parent, 200, 200), (Rgba{0, 0, 0, 0}));
    // Zoom 11 from zoom 12: the zoom-12 tiles are the right half of it.
    const TileId grandparent{11, kMinX / 4, (kMinY + 1) / 4};
    EXPECT_EQ(PixelOf(grandparent, 140, 140), (Rgba{128, 0, 128, 255}));
    EXPECT_EQ(PixelOf(grandparent, 140, 240), (Rgba{0, 200, 0, 255}));
    EXPECT_EQ(PixelOf(grandparent, 10, 140), (Rgba{0, 0, 0, 0}));
}

TEST_F(LowerZooms, AMissingJpegChildIsWhite) {
    params.MapsType = kMapsTypeSatellite;
    Start();
    PutTile(kMinX, kMinY + 2, test::EncodeJpeg({0, 0, 0}));
    Export(1);
    const TileId parent{12, kMinX / 2, (kMinY + 1) / 2};
    const Rgba black = PixelOf(parent, 10, 200);
    const Rgba white = PixelOf(parent, 200, 200);
    EXPECT_LT(black[0], 8);
    EXPECT_GT(white[0], 247);
    EXPECT_GT(white[2], 247);
}

TEST_F(LowerZooms, RefusedBelowZeroAndForVectorTilesWithTheFileUntouched) {
    params.Zoom = 2;
    params.LeftLongitude = -10;
    params.RightLongitude = 10;
    params.TopLatitude = 10;
    params.BottomLatitude = -10;
    Start();
    const auto refusal = [&](int levels) {
        try {
            Export(levels);
        } catch (const ETileContainerError& e) {
            return std::string(e.what());
        }
        return std::string("exported");
    };
    EXPECT_EQ(refusal(3),
              "Cannot build 3 zooms below zoom 2: zoom 0 is the least there is, so at "
              "most 2.");
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ(refusal(2), "exported");
    EXPECT_EQ(MbtilesReader(file).Zooms(), (std::vector<int>{}));

    params.MapsType = kMapsTypeSource;
    params.Source = TileSource::Read(
        "Vectors", {{"Url", "https://tiles.example/{z}/{x}/{y}.pbf"}, {"Format", "pbf"}}, "1.0");
    Start();
    const std::string before = ReadFileBytes(file);
    EXPECT_EQ(refusal(1), "Lower zooms are built from image tiles; " + dir.File("newtask.tsln") +
                              " has pbf tiles.");
    EXPECT_EQ(ReadFileBytes(file), before);
}

}  // namespace
}  // namespace tessellon
