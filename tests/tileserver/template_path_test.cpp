#include "template_path.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace tessellon::tileserver {
namespace {

// What a client's {bbox} gives for a tile: its EPSG:3857 bounds with six decimals.
std::string BboxOf(int x, int y, int zoom, double halfWorld = 20037508.342789244) {
    const double size = 2 * halfWorld / static_cast<double>(1LL << zoom);
    char text[128];
    std::snprintf(text, sizeof text, "%.6f,%.6f,%.6f,%.6f", -halfWorld + x * size,
                  halfWorld - (y + 1) * size, -halfWorld + (x + 1) * size, halfWorld - y * size);
    return text;
}

std::string GetMap(const std::string& bbox, const std::string& format = "image/png") {
    return "SERVICE=WMS&VERSION=1.1.1&REQUEST=GetMap&LAYERS=base&STYLES=&SRS=EPSG:3857&BBOX=" +
           bbox + "&WIDTH=256&HEIGHT=256&FORMAT=" + format;
}

struct Expected {
    int x;
    int y;
    int zoom;
    std::string extension;
};

void ExpectTile(const std::string& path, const std::string& query, const Expected& expected) {
    TemplateTile tile;
    ASSERT_EQ(ParseTemplateRequest(path, query, tile), TemplateResult::Ok) << path << "?" << query;
    EXPECT_EQ(tile.x, expected.x) << path << "?" << query;
    EXPECT_EQ(tile.y, expected.y) << path << "?" << query;
    EXPECT_EQ(tile.zoom, expected.zoom) << path << "?" << query;
    EXPECT_EQ(tile.format->extension, expected.extension) << path << "?" << query;
}

TEST(TemplatePath, EachFormNamesTheTileItsTemplateWasExpandedFrom) {
    const struct {
        std::string path;
        std::string query;
        Expected tile;
    } cases[] = {
        {"/3/3/5.png", "", {3, 5, 3, "png"}},
        {"/tms/3/3/2.png", "", {3, 5, 3, "png"}},  // row 5 from the north is 2 from the south
        {"/q/213.png", "", {3, 5, 3, "png"}},
        {"/wms", GetMap(BboxOf(3, 5, 3)), {3, 5, 3, "png"}},
        {"/13/6744/3104.jpg", "", {6744, 3104, 13, "jpg"}},
        {"/3/3/5.jpeg", "", {3, 5, 3, "jpeg"}},
        {"/3/3/5.webp", "", {3, 5, 3, "webp"}},
        {"/3/3/5.pbf", "fault=close", {3, 5, 3, "pbf"}},
        {"/03/3/5.png", "", {3, 5, 3, "png"}},
        // The four corners of zoom 1 by every form.
        {"/1/0/0.png", "", {0, 0, 1, "png"}},
        {"/1/1/1.png", "", {1, 1, 1, "png"}},
        {"/tms/1/0/1.png", "", {0, 0, 1, "png"}},
        {"/tms/1/1/0.png", "", {1, 1, 1, "png"}},
        {"/q/0.png", "", {0, 0, 1, "png"}},
        {"/q/1.png", "", {1, 0, 1, "png"}},
        {"/q/2.png", "", {0, 1, 1, "png"}},
        {"/q/3.png", "", {1, 1, 1, "png"}},
        {"/wms", GetMap("-20037508.342789,0.000000,0.000000,20037508.342789"), {0, 0, 1, "png"}},
        {"/wms", GetMap("0.000000,-20037508.342789,20037508.342789,0.000000"), {1, 1, 1, "png"}},
        {"/wms", GetMap("0,0,20037508.342789,20037508.342789", "image/jpeg"), {1, 0, 1, "jpg"}},
        // The last tile of the deepest zoom.
        {"/19/524287/524287.png", "", {524287, 524287, 19, "png"}},
        {"/q/3333333333333333333.png", "", {524287, 524287, 19, "png"}},
        {"/wms", GetMap(BboxOf(524287, 524287, 19)), {524287, 524287, 19, "png"}},
        // WMS as clients write it: names and values in any case, escaped
        // commas, a shortened half width, CRS for 1.3.0.
        {"/wms",
         "service=wms&request=getmap&bbox=" + BboxOf(5, 9, 4) +
             "&width=256&height=256&format=IMAGE/PNG&crs=epsg:3857",
         {5, 9, 4, "png"}},
        {"/wms", GetMap("-20037508.34%2C0%2C0%2C20037508.34"), {0, 0, 1, "png"}},
        {"/wms", GetMap(BboxOf(70000, 123456, 18, 20037508.34)), {70000, 123456, 18, "png"}},
    };
    for (const auto& c : cases) {
        ExpectTile(c.path, c.query, c.tile);
    }
}

TEST(TemplatePath, EveryFormOfATileComesBackToThatTileAtEveryZoom) {
    for (int zoom = 1; zoom <= 19; ++zoom) {
        const int last = (1 << zoom) - 1;
        const std::pair<int, int> tiles[] = {{0, 0}, {last, last}, {last / 3, last - last / 5}};
        for (const auto& [x, y] : tiles) {
            const std::string xyz = std::to_string(zoom) + "/" + std::to_string(x) + "/";
            std::string quadkey;
            for (int level = zoom - 1; level >= 0; --level) {
                quadkey += static_cast<char>('0' + ((x >> level) & 1) + 2 * ((y >> level) & 1));
            }
            const Expected tile{x, y, zoom, "png"};
            ExpectTile("/" + xyz + std::to_string(y) + ".png", "", tile);
            ExpectTile("/tms/" + xyz + std::to_string(last - y) + ".png", "", tile);
            ExpectTile("/q/" + quadkey + ".png", "", tile);
            ExpectTile("/wms", GetMap(BboxOf(x, y, zoom)), tile);
        }
    }
}

TEST(TemplatePath, PathsThatNameNoTileAreNotFound) {
    for (const std::string path : {
             "/0/0/0.png",
             "/20/0/0.png",
             "/3/8/0.png",
             "/3/0/8.png",
             "/3/-1/0.png",
             "/3/+1/0.png",
             "/3/a/0.png",
             "/3/1/0",
             "/3/1/0.tiff",
             "/3/1/0.PNG",
             "/3/1/0.png/",
             "/3/1.png",
             "/x/3/1/0.png",
             "/3//0.png",
             "/tms/3/0/8.png",
             "/tms/0/0/0.png",
             "/q/.png",
             "/q/214.png",
             "/q/21.3.png",
             "/q/2/1.png",
             "/q/33333333333333333333.png",
             "/",
             "/hx/tl",
             "/wms/3/1/0.png",
         }) {
        TemplateTile tile;
        EXPECT_EQ(ParseTemplateRequest(path, "", tile), TemplateResult::NotFound) << path;
    }
}

TEST(TemplatePath, WmsQueriesForNoSingleTileAreBadRequests) {
    const std::string tile = BboxOf(3, 5, 3);
    const std::string rest = "&WIDTH=256&HEIGHT=256&FORMAT=image/png";
    for (const std::string& query : {
             GetMap(BboxOf(3, 5, 3).replace(0, 1, "-1")),  // the west edge 10000 km off
             GetMap("-10018754.171394,0,10018754.171394,20037508.342789"),  // half a tile east
             GetMap("0,0,20037508.342789,10018754.171394"),                 // not square
             GetMap("0,0,20115779.85,20037508.342789"),  // the east edge a pixel off at z=1
             GetMap("20037508.342789,0,40075016.685578,20037508.342789"),  // east of the world
             GetMap("0,20037508.342789,20037508.342789,0"),                // north below south
             GetMap("0,0,0,0"),
             GetMap("-1e308,-1e308,1e308,1e308"),
             GetMap("0,0,20037508.342789"),
             GetMap("0,0,20037508.342789,20037508.342789,1"),
             GetMap("a,b,c,d"),
             GetMap(""),
             GetMap(tile, "image/tiff"),
             GetMap(tile, ""),
             "SERVICE=WMS&REQUEST=GetCapabilities&BBOX=" + tile + rest,
             "SERVICE=WFS&REQUEST=GetMap&BBOX=" + tile + rest,
             "SERVICE=WMS&BBOX=" + tile + rest,
             "REQUEST=GetMap&SRS=EPSG:4326&BBOX=" + tile + rest,
             "REQUEST=GetMap&BBOX=" + tile + "&WIDTH=512&HEIGHT=512&FORMAT=image/png",
             "REQUEST=GetMap&BBOX=" + tile + "&FORMAT=image/png",
             "REQUEST=GetMap&" + rest,
         }) {
        TemplateTile ignored;
        EXPECT_EQ(ParseTemplateRequest("/wms", query, ignored), TemplateResult::BadRequest)
            << query;
    }
}

TEST(TemplatePath, FileNamesAreTheSourceTaskOnes) {
    TemplateTile tile;
    ASSERT_EQ(ParseTemplateRequest("/q/213.webp", "", tile), TemplateResult::Ok);
    EXPECT_EQ(TemplateFileName(tile), "tl_3_5_3.webp");
}

}  // namespace
}  // namespace tessellon::tileserver
