// What the map window shows and where it looks: when a change of the fields
// is another service (and needs a new fetcher), the zooms a service has, and
// the zoom and centre that show an area whole.

#include "control/map_view.h"

#include <gtest/gtest.h>

#include <string>

#include "control/map_tiles.h"
#include "platform/files.h"
#include "task/sources_file.h"
#include "temp_dir.h"

namespace tessellon {
namespace {

TileSource Source(const std::string& keys) {
    return ParseSources("[Topo]\nUrl=https://{s}.t.example/{z}/{x}/{y}.png\n" + keys, "1")
        .Sources.at(0);
}

TEST(MapService, IsAnotherServiceWhenAnythingThatFetchesItsTilesChanges) {
    test::TempDir dir;
    const Configuration config(dir.File("config.ini"));
    const std::string hosts = "[TileService]\r\nMapHost=a.example\r\nSatelliteHost=s.example\r\n";
    WriteFileAtomic(config.FileName(), hosts);
    TaskFields map;
    map.MapsTypeItem = kMapItem;
    TaskFields satellite;
    satellite.MapsTypeItem = kSatelliteItem;
    TaskFields topo;
    topo.Source = Source("Subdomains=ab\n");

    const MapService first = MapService::Of(map, config);
    EXPECT_TRUE(first == MapService::Of(map, config));
    // Other fields of the task are no other service.
    TaskFields moved = map;
    moved.LeftLongitude = "116.3";
    moved.Zoom = "5";
    EXPECT_TRUE(first == MapService::Of(moved, config));
    EXPECT_FALSE(first == MapService::Of(satellite, config));
    EXPECT_FALSE(first == MapService::Of(topo, config));
    EXPECT_TRUE(MapService::Of(topo, config) == MapService::Of(topo, config));

    // A source edited in any key that its fetches use, even one its tile
    // URLs do not show.
    for (const char* edit :
         {"Subdomains=abc\n", "Subdomains=ab\nUserAgent=Other/1\n",
          "Subdomains=ab\nReferer=http://r/\n", "Subdomains=ab\nHeaders=X-Key: 1\n",
          "Subdomains=ab\nPauseMs=10\n", "Subdomains=ab\nMaxZoom=12\n"}) {
        TaskFields edited;
        edited.Source = Source(edit);
        EXPECT_FALSE(MapService::Of(topo, config) == MapService::Of(edited, config)) << edit;
    }

    // The layer's host, and the proxy, as the configuration holds them now.
    WriteFileAtomic(config.FileName(),
                    "[TileService]\r\nMapHost=b.example\r\nSatelliteHost=s.example\r\n");
    EXPECT_FALSE(first == MapService::Of(map, config));
    const MapService direct = MapService::Of(satellite, config);
    WriteFileAtomic(config.FileName(),
                    "[TileService]\r\nMapHost=b.example\r\nSatelliteHost=s.example\r\n"
                    "[Proxy]\r\nUseProxy=1\r\nProxyServer=p.example\r\nProxyPort=3128\r\n");
    ASSERT_TRUE(MapService::Of(satellite, config).Proxy().UseProxy);
    EXPECT_FALSE(direct == MapService::Of(satellite, config));
}

TEST(MapService, HasTheZoomsOfItsSourceElseEveryZoomATaskTakes) {
    test::TempDir dir;
    const Configuration config(dir.File("config.ini"));
    TaskFields fields;
    EXPECT_EQ(MapService::Of(fields, config).MinZoom(), 1);
    EXPECT_EQ(MapService::Of(fields, config).MaxZoom(), 19);
    fields.Source = Source("Subdomains=ab\nMinZoom=3\nMaxZoom=12\n");
    EXPECT_EQ(MapService::Of(fields, config).MinZoom(), 3);
    EXPECT_EQ(MapService::Of(fields, config).MaxZoom(), 12);
}

// Tiles x0..x1 and rows y0..y1 (their far edges) at `zoom`.
GeoRect Tiles(double x0, double y0, double x1, double y1, int zoom) {
    return {TileXToLongitude(x0, zoom), TileXToLongitude(x1, zoom), TileYToLatitude(y0, zoom),
            TileYToLatitude(y1, zoom)};
}

TEST(FrameArea, TakesTheLargestZoomThatShowsTheAreaWholeWithinTheServicesZooms) {
    const struct {
        const char* what;
        GeoRect area;
        int width, height, minZoom, maxZoom;
        int zoom;
    } cases[] = {
        // 256 pixels at zoom 13 fit 80% of 560 x 400; 512 at zoom 14 do not.
        {"one tile", Tiles(6742, 3101, 6743, 3102, 13), 560, 400, 1, 19, 13},
        {"one tile, high enough for two", Tiles(6742, 3101, 6743, 3102, 13), 560, 700, 1, 19, 13},
        {"one tile, wide and high enough for two", Tiles(6742, 3101, 6743, 3102, 13), 640, 640, 1,
         19, 14},
        {"tall: the height decides", Tiles(6742, 3100, 6743, 3104, 13), 2000, 400, 1, 19, 11},
        {"wide: the width decides", Tiles(6740, 3101, 6744, 3102, 13), 400, 2000, 1, 19, 11},
        {"a point: the service's last zoom", Tiles(6742, 3101, 6742.001, 3101.001, 13), 560, 400, 1,
         12, 12},
        {"the world: the service's first zoom", {-179, 179, 80, -80}, 560, 400, 3, 19, 3},
    };
    for (const auto& c : cases) {
        const MapFrame frame = FrameArea(c.area, c.width, c.height, c.minZoom, c.maxZoom, 256);
        EXPECT_EQ(frame.Zoom, c.zoom) << c.what;
    }
}

TEST(FrameArea, CentresOnTheMiddleOfTheAreaAsTheMapDrawsIt) {
    // Rows 100 and 101 at zoom 8: the middle is the edge between them, not
    // the mean of the latitudes.
    const GeoRect area = Tiles(10, 100, 12, 102, 8);
    const MapFrame frame = FrameArea(area, 560, 400, 1, 19, 256);
    EXPECT_DOUBLE_EQ(frame.Centre.Longitude, TileXToLongitude(11, 8));
    EXPECT_NEAR(frame.Centre.Latitude, TileYToLatitude(101, 8), 1e-9);
    EXPECT_GT(frame.Centre.Latitude, (area.Top + area.Bottom) / 2 + 0.005);
}

TEST(GoToZoom, ZoomsInFromTheWorldButKeepsAZoomTheUserChose) {
    EXPECT_EQ(GoToZoom(kWorldZoom, 1, 19), kGoToZoom);
    EXPECT_EQ(GoToZoom(kGoToZoom - 1, 1, 19), kGoToZoom);
    EXPECT_EQ(GoToZoom(16, 1, 19), 16);
    // Within the service's zooms.
    EXPECT_EQ(GoToZoom(2, 1, 9), 9);
    EXPECT_EQ(GoToZoom(2, 14, 18), 14);
    EXPECT_EQ(GoToZoom(19, 1, 17), 17);
}

}  // namespace
}  // namespace tessellon
