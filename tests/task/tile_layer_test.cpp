#include "task/tile_layer.h"

#include <gtest/gtest.h>

namespace tessellon {
namespace {

// Each key names one layer: the window's choice, the project file's MapsType
// and the CLI's --type name all lead back to the row that holds them.
TEST(TileLayers, EveryKeyOfARowFindsThatRowAndNoOther) {
    for (const TileLayer& layer : kTileLayers) {
        SCOPED_TRACE(std::string(layer.WindowLabel));
        EXPECT_EQ(FindTileLayer(&TileLayer::WindowItem, layer.WindowItem), &layer);
        EXPECT_EQ(FindTileLayer(&TileLayer::MapsType, layer.MapsType), &layer);
        EXPECT_EQ(FindTileLayer(&TileLayer::CliType, std::string(layer.CliType)), &layer);
    }
    EXPECT_EQ(FindTileLayer(&TileLayer::MapsType, kMapsTypeMap)->WindowItem, kMapItem);
    EXPECT_EQ(FindTileLayer(&TileLayer::MapsType, kMapsTypeSatellite)->WindowItem, kSatelliteItem);
    EXPECT_EQ(FindTileLayer(&TileLayer::CliType, "map")->MapsType, kMapsTypeMap);
    EXPECT_EQ(FindTileLayer(&TileLayer::CliType, "satellite")->MapsType, kMapsTypeSatellite);
}

TEST(TileLayers, AValueNoRowHasFindsNothing) {
    EXPECT_EQ(FindTileLayer(&TileLayer::MapsType, 0), nullptr);
    EXPECT_EQ(FindTileLayer(&TileLayer::MapsType, 100), nullptr);
    EXPECT_EQ(FindTileLayer(&TileLayer::WindowItem, -1), nullptr);
    EXPECT_EQ(FindTileLayer(&TileLayer::CliType, ""), nullptr);
    EXPECT_EQ(FindTileLayer(&TileLayer::CliType, "Map"), nullptr);
}

}  // namespace
}  // namespace tessellon
