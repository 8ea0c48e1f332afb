#include "control/area_choice.h"

#include <gtest/gtest.h>

#include "area/area_copy.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "temp_dir.h"

namespace tessellon {
namespace {

TEST(AreaChoice, ADrawnPolygonIsKeptBesideTheTaskOrInTheSettingsFolder) {
    TaskFields fields;
    fields.TaskName = "park";
    fields.SavePath = "/srv/maps";
    EXPECT_EQ(DrawnAreaFileName(fields), "/srv/maps/park_drawn.geojson");
    fields.TaskName = "park.tsln";
    fields.SavePath = "/srv/maps/";
    EXPECT_EQ(DrawnAreaFileName(fields), "/srv/maps/park_drawn.geojson");
    fields.SavePath.clear();
    EXPECT_EQ(DrawnAreaFileName(fields), UserConfigFolder() + "tessellon/park_drawn.geojson");
}

TEST(AreaChoice, DrawnCornersBecomeOneCounterClockwisePolygon) {
    test::TempDir dir;
    const std::string path = dir.File("new/park_drawn.geojson");
    // Clockwise, the last corner clicked twice (a double-click) and once
    // more on the first.
    const std::vector<GeoPoint> corners{{13.3, 52.6}, {13.5, 52.6}, {13.5, 52.4},
                                        {13.3, 52.4}, {13.3, 52.4}, {13.3, 52.6}};
    ASSERT_EQ(WriteDrawnArea(corners, path), std::nullopt);
    const GeoShape shape = ReadAreaCopy(path);
    ASSERT_EQ(shape.Polygons.size(), 1u);
    EXPECT_EQ(shape.Polygons[0].Outer,
              (GeoRing{{13.3, 52.4}, {13.5, 52.4}, {13.5, 52.6}, {13.3, 52.6}}));
    EXPECT_TRUE(shape.Polygons[0].Holes.empty());
}

TEST(AreaChoice, CornersThatEncloseNoAreaLeaveNoFile) {
    test::TempDir dir;
    const std::string path = dir.File("a_drawn.geojson");
    EXPECT_EQ(WriteDrawnArea({{1, 1}, {2, 2}, {2, 2}}, path),
              "Click at least three corners to draw an area.");
    EXPECT_EQ(WriteDrawnArea({{1, 1}, {2, 2}, {3, 3}}, path),
              "The corners lie on one line: they enclose no area.");
    EXPECT_FALSE(FileExists(path));
    // Wholly north of the tile grid: the area reader refuses it, naming the
    // file, and the drawing is not kept.
    const auto polar = WriteDrawnArea({{10, 86}, {20, 86}, {20, 88}}, path);
    ASSERT_TRUE(polar);
    EXPECT_NE(polar->find("a_drawn.geojson"), std::string::npos) << *polar;
    EXPECT_FALSE(FileExists(path));
}

TEST(AreaChoice, TheMapShowsTheRectangleOrTheShapeAtOneZoom) {
    TaskFields fields;
    fields.LeftLongitude = "116.3";
    fields.RightLongitude = "116.5";
    fields.TopLatitude = "40";
    fields.BottomLatitude = "39.8";
    std::string problem;
    const auto rectangle = ShowFieldsArea(fields, 13, problem);
    ASSERT_TRUE(rectangle);
    EXPECT_FALSE(rectangle->Shape);
    EXPECT_EQ(rectangle->Tiles.Count(),
              TileCover::OfRectangle({116.3, 116.5, 40, 39.8}, 13, 13).Count());
    EXPECT_FALSE(ShowFieldsArea(fields, 20, problem));
    fields.TopLatitude = "39";  // south of the bottom: no area, no reason
    EXPECT_FALSE(ShowFieldsArea(fields, 13, problem));
    EXPECT_EQ(problem, "");

    test::TempDir dir;
    const std::string triangle = dir.File("triangle_drawn.geojson");
    ASSERT_EQ(WriteDrawnArea({{116.3, 39.8}, {116.5, 39.8}, {116.3, 40}}, triangle), std::nullopt);
    fields.AreaFile = triangle;
    const auto shaped = ShowFieldsArea(fields, 13, problem);
    ASSERT_TRUE(shaped);
    ASSERT_TRUE(shaped->Shape);
    EXPECT_EQ(shaped->Bounds.Left, 116.3);
    EXPECT_EQ(shaped->Bounds.Top, 40);
    EXPECT_EQ(shaped->Tiles.Count(), TileCover::OfShape(*shaped->Shape, 13, 13).Count());
    // Half the rectangle's tiles and its diagonal.
    EXPECT_LT(shaped->Tiles.Count(), rectangle->Tiles.Count() * 3 / 4);
    EXPECT_GT(shaped->Tiles.Count(), rectangle->Tiles.Count() / 2);

    fields.Buffer = "2 parsecs";
    EXPECT_FALSE(ShowFieldsArea(fields, 13, problem));
    EXPECT_NE(problem, "");
    fields.Buffer = "1km";
    const auto buffered = ShowFieldsArea(fields, 13, problem);
    ASSERT_TRUE(buffered);
    EXPECT_GT(buffered->Tiles.Count(), shaped->Tiles.Count());

    fields.AreaFile = dir.File("missing.geojson");
    EXPECT_FALSE(ShowFieldsArea(fields, 13, problem));
    EXPECT_NE(problem.find("missing.geojson"), std::string::npos) << problem;
}

TEST(AreaChoice, AShapeNeedsItsFile) {
    TaskFields fields;
    EXPECT_EQ(CheckAreaChoice(false, fields), std::nullopt);
    EXPECT_EQ(CheckAreaChoice(true, fields),
              "Please choose the area file, or draw the area on the map.");
    fields.AreaFile = "park.kml";
    EXPECT_EQ(CheckAreaChoice(true, fields), std::nullopt);
}

TEST(AreaChoice, TheHighestZoomFollowsTheLowest) {
    EXPECT_EQ(ZoomToAfter(13, 14, 13), 14);  // one zoom stays one
    EXPECT_EQ(ZoomToAfter(13, 12, 13), 12);
    EXPECT_EQ(ZoomToAfter(12, 13, 15), 15);  // a range keeps its top
    EXPECT_EQ(ZoomToAfter(12, 16, 15), 16);  // but never below the lowest
    EXPECT_EQ(ZoomToText(13, 13), "");
    EXPECT_EQ(ZoomToText(12, 15), "15");
}

}  // namespace
}  // namespace tessellon
