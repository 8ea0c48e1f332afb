#include "control/map_area.h"

#include <gtest/gtest.h>

#include <fstream>

#include "temp_dir.h"

namespace tessellon {
namespace {

TaskFields SampleFields() {
    TaskFields fields;
    fields.LeftLongitude = "116.3";
    fields.RightLongitude = "116.5";
    fields.TopLatitude = "40";
    fields.BottomLatitude = "39.8";
    fields.Zoom = "13";
    return fields;
}

TEST(MapArea, FieldsAndRectangleGoRoundWithinTheNumberFormat) {
    const TaskFields typed = SampleFields();
    const std::optional<GeoRect> area = AreaOfFields(typed);
    ASSERT_TRUE(area);
    TaskFields written;
    WriteAreaToFields(*area, written);
    EXPECT_EQ(written.LeftLongitude, "116.3");
    EXPECT_EQ(written.RightLongitude, "116.5");
    EXPECT_EQ(written.TopLatitude, "40");
    EXPECT_EQ(written.BottomLatitude, "39.8");

    // A dragged rectangle has every digit a pixel gives; the fields keep six
    // decimals, and reading them back gives the same texts again.
    WriteAreaToFields({116.39178466796875, 116.4111328125, 39.909736234537176, -0.0000001},
                      written);
    EXPECT_EQ(written.LeftLongitude, "116.391785");
    EXPECT_EQ(written.TopLatitude, "39.909736");
    EXPECT_EQ(written.BottomLatitude, "0");
    TaskFields again;
    WriteAreaToFields(*AreaOfFields(written), again);
    EXPECT_EQ(again.LeftLongitude, written.LeftLongitude);
    EXPECT_EQ(again.RightLongitude, written.RightLongitude);
    EXPECT_EQ(again.TopLatitude, written.TopLatitude);
    EXPECT_EQ(again.BottomLatitude, written.BottomLatitude);
}

TEST(MapArea, ARectangleDrawnAnyWayGivesFieldsThatStart) {
    TaskFields written;
    // Drawn from its south-east corner, reaching past the map's edges.
    WriteAreaToFields({190, 170, -89, 86}, written);
    EXPECT_EQ(written.LeftLongitude, "170");
    EXPECT_EQ(written.RightLongitude, "180");
    EXPECT_EQ(written.TopLatitude, "85");
    EXPECT_EQ(written.BottomLatitude, "-85");
    EXPECT_TRUE(AreaOfFields(written));
}

TEST(MapArea, FieldsAStartRefusesMakeNoRectangle) {
    TaskFields fields = SampleFields();
    fields.LeftLongitude = "east";
    EXPECT_FALSE(AreaOfFields(fields));
    fields = SampleFields();
    fields.LeftLongitude = "116.6";
    EXPECT_FALSE(AreaOfFields(fields));
    fields = SampleFields();
    fields.TopLatitude = "86";
    EXPECT_FALSE(AreaOfFields(fields));
    // A decimal comma reads as a start reads it.
    fields = SampleFields();
    fields.LeftLongitude = "116,3";
    ASSERT_TRUE(AreaOfFields(fields));
    EXPECT_DOUBLE_EQ(AreaOfFields(fields)->Left, 116.3);
}

TEST(MapArea, GoToTakesDecimalDegreesOrDegreesMinutesSeconds) {
    const struct {
        const char* text;
        double latitude, longitude;
    } places[] = {
        {"39.9, 116.4", 39.9, 116.4},
        {" -33.8688 ,151.2093 ", -33.8688, 151.2093},
        {"39.9N, 116.4E", 39.9, 116.4},
        {"39 54 26 N, 116 23 29 E", 39.907222, 116.391389},
        {"33\xC2\xB0"
         "52'8\" S, 151\xC2\xB0"
         "12'33\" e",
         -33.868889, 151.209167},
        {"51.5 n, 0.12 W", 51.5, -0.12},
        {"39 54, 116", 39.9, 116},
    };
    for (const auto& place : places) {
        const std::optional<GeoPoint> point = ParseGoTo(place.text);
        ASSERT_TRUE(point) << place.text;
        EXPECT_NEAR(point->Latitude, place.latitude, 1e-5) << place.text;
        EXPECT_NEAR(point->Longitude, place.longitude, 1e-5) << place.text;
    }
    for (const char* text : {"39.9", "a, b", "39.9, 116.4, 3", "86, 0", "0, 181", "39.9 W, 116",
                             "39 60, 116", "", "nan, 0", "39.9x, 116"}) {
        EXPECT_FALSE(ParseGoTo(text)) << text;
    }
}

TEST(MapArea, TheFiguresUnderTheMapAreTheHugeTaskQuestionsOnes) {
    TaskFields fields = SampleFields();
    std::optional<TaskEstimate> estimate = EstimateFieldsTask(fields);
    ASSERT_TRUE(estimate);
    EXPECT_EQ(estimate->Tiles, 42);
    EXPECT_EQ(EstimateText(*estimate),
              "42 tiles, under a minute at the service's pace, about 630 KiB on disk");

    // A source's own workers and pause: 42 tiles on 3 workers, 14 pauses of
    // half a second each.
    fields.Source = TileSource::Read(
        "Topo",
        {{"Url", "https://tiles.example/{z}/{x}/{y}.png"}, {"Workers", "3"}, {"PauseMs", "500"}},
        "1");
    estimate = EstimateFieldsTask(fields);
    ASSERT_TRUE(estimate);
    EXPECT_EQ(estimate->Duration, std::chrono::seconds(7));

    fields.Zoom = "20";
    EXPECT_FALSE(EstimateFieldsTask(fields));
    fields = SampleFields();
    fields.RightLongitude = "x";
    EXPECT_FALSE(EstimateFieldsTask(fields));
}

TEST(MapArea, TheFiguresCoverEveryZoomAndOnlyTheShapesTiles) {
    TaskFields fields = SampleFields();
    fields.ZoomTo = "14";
    // 6 x 7 tiles at zoom 13, and at 14 the rectangle's 11 x 13.
    std::optional<TaskEstimate> estimate = EstimateFieldsTask(fields);
    ASSERT_TRUE(estimate);
    EXPECT_EQ(estimate->Tiles, 42 + 143);
    fields.ZoomTo = "12";
    EXPECT_FALSE(EstimateFieldsTask(fields));

    // A triangle over half of the same rectangle: its bounds are those of
    // the rectangle, and the count is that of the tiles it touches, far
    // fewer than the rectangle's at zoom 16.
    const test::TempDir dir;
    const std::string path = dir.File("half.geojson");
    std::ofstream(path) << R"({"type":"Polygon","coordinates":[[[116.3,40],[116.5,40],)"
                           R"([116.3,39.8],[116.3,40]]]})";
    fields = SampleFields();
    fields.Zoom = fields.ZoomTo = "16";
    const std::int64_t rectangle = EstimateFieldsTask(fields)->Tiles;
    fields.AreaFile = path;
    estimate = EstimateFieldsTask(fields);
    ASSERT_TRUE(estimate);
    EXPECT_GT(estimate->Tiles, rectangle / 2);
    EXPECT_LT(estimate->Tiles, rectangle * 6 / 10);

    fields.AreaFile = dir.File("missing.geojson");
    EXPECT_FALSE(EstimateFieldsTask(fields));
}

}  // namespace
}  // namespace tessellon
