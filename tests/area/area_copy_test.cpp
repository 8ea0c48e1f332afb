#include "area/area_copy.h"

#include <gtest/gtest.h>

#include "area/area_file.h"
#include "platform/files.h"
#include "temp_dir.h"

namespace tessellon {
namespace {

std::string Data(const std::string& name) {
    return std::string(TESSELLON_AREA_DATA) + name;
}

TEST(AreaCopy, WritesOneMultiPolygonFeatureInTheShortestNumbers) {
    // Clockwise, starting mid-ring: written counter-clockwise from its first
    // point and closed; the hole the other way round.
    const GeoShape shape{
        {{{{1, 1}, {1, 0}, {0, 0}, {0, 1}}, {{{0.25, 0.25}, {0.75, 0.25}, {0.75, 0.75}}}},
         {{{-0.1, 2.5}, {3.0000000000000004, 2.5}, {-0.0, 3}}, {}}}};
    EXPECT_EQ(
        AreaCopyText(shape),
        R"({"type":"FeatureCollection","features":[{"type":"Feature","properties":{},)"
        R"("geometry":{"type":"MultiPolygon","coordinates":[)"
        R"([[[1,1],[0,1],[0,0],[1,0],[1,1]],[[0.25,0.25],[0.75,0.75],[0.75,0.25],[0.25,0.25]]],)"
        R"([[[-0.1,2.5],[3.0000000000000004,2.5],[0,3],[-0.1,2.5]]])"
        "]}}]}\n");
}

TEST(AreaCopy, TheSameFileAndBufferGiveTheSameBytesWhichReadBackEqual) {
    const test::TempDir dir;
    for (const char* file : {"islands_with_lakes.geojson", "hike.gpx", "park.kmz"}) {
        SCOPED_TRACE(file);
        const std::string first = dir.File("first_area.geojson");
        const std::string second = dir.File("second_area.geojson");
        const GeoShape shape = ReadAreaShape(Data(file), 1500.0);
        WriteAreaCopy(first, shape);
        WriteAreaCopy(second, ReadAreaShape(Data(file), 1500.0));
        EXPECT_EQ(ReadFileBytes(first), ReadFileBytes(second));
        // Every double comes back as it was.
        EXPECT_EQ(ReadAreaCopy(first), shape);
        // A copy made from the copy is the copy.
        WriteAreaCopy(second, ReadAreaShape(first, std::nullopt));
        EXPECT_EQ(ReadFileBytes(first), ReadFileBytes(second));
    }
    // Another buffer is another shape.
    const std::string other = dir.File("other_area.geojson");
    WriteAreaCopy(other, ReadAreaShape(Data("hike.gpx"), 1000.0));
    EXPECT_NE(ReadFileBytes(other), ReadFileBytes(dir.File("first_area.geojson")));
}

TEST(AreaCopy, TheCopyHoldsPolygonsOnly) {
    EXPECT_THROW(ReadAreaCopy(Data("hike.gpx")), EAreaError);
    EXPECT_EQ(ReadAreaCopy(Data("polygon.geojson")).Polygons.size(), 1u);
}

}  // namespace
}  // namespace tessellon
