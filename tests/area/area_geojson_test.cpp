#include "area/area_geojson.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "area/area_file.h"
#include "area/area_formats.h"
#include "platform/files.h"
#include "platform/shared_module.h"

namespace tessellon {
namespace {

RawArea Read(std::string_view text, std::size_t pointLimit = 1000) {
    std::optional<RawArea> area = ReadGeoJson(text, "a.geojson", pointLimit);
    EXPECT_TRUE(area.has_value());
    return area.value_or(RawArea{});
}

std::string Refusal(std::string_view text, std::size_t pointLimit = 1000) {
    try {
        ReadGeoJson(text, "a.geojson", pointLimit);
    } catch (const EAreaError& e) {
        return e.what();
    }
    return "";
}

RawArea ReadWithGdal(const std::string& path) {
    const auto read = reinterpret_cast<ReadAreaFormats>(
        ModuleFunction(ProgramFolder() + kAreaFormatsModule, kAreaFormatsEntry));
    FormatReading reading;
    read(path.c_str(), 1 << 20, 1000, &reading);
    EXPECT_EQ(reading.Failure, FormatFailure::None) << reading.Detail;
    return reading.Area;
}

TEST(AreaGeoJson, ReadsEveryFileAsGdalDoes) {
    std::size_t compared = 0;
    for (const auto& entry : std::filesystem::directory_iterator(TESSELLON_AREA_DATA)) {
        const std::string path = entry.path().string();
        if (entry.path().extension() != ".geojson") {
            continue;
        }
        const std::string text = ReadFileBytes(path);
        std::optional<RawArea> ours;
        try {
            if (!LooksLikeJson(text) || !(ours = ReadGeoJson(text, path, 1000))) {
                continue;
            }
        } catch (const EAreaError&) {
            // Refusals are compared in area_file_test.cpp.
            continue;
        }
        SCOPED_TRACE(path);
        EXPECT_EQ(*ours, ReadWithGdal(path));
        ++compared;
    }
    EXPECT_GE(compared, 10u);
}

TEST(AreaGeoJson, TakesGeometriesOnlyWhereGeoJsonPutsThem) {
    // "type" after "coordinates"; a geometry inside properties and under an
    // unknown member is no part of the area; a null geometry is none.
    const RawArea area = Read(R"({"features": [
        {"properties": {"geometry": {"type": "LineString", "coordinates": [[5, 5], [6, 6]]}},
         "geometry": {"coordinates": [[[0, 0], [1, 0], [1, 1], [0, 0]]], "type": "Polygon"},
         "type": "Feature"},
        {"type": "Feature", "geometry": null},
        {"type": "Feature", "other": {"type": "Point", "coordinates": [9, 9]},
         "geometry": {"type": "GeometryCollection", "geometries": [
            {"type": "GeometryCollection", "geometries": [
                {"type": "MultiLineString", "coordinates": [[[2, 2], [3, 3, 100]], [[4, 4], [5, 5]]]}]},
            {"type": "MultiPolygon", "coordinates": [[[[0, 0], [2, 0], [2, 2]], [[0.5, 0.5], [1, 0.5], [1, 1]]], []]},
            {"type": "MultiPoint", "coordinates": [[7, 7]]}]}}],
        "type": "FeatureCollection"})");
    const RawArea expected = {
        {{{{0, 0}, {1, 0}, {1, 1}, {0, 0}}}, false},
        {{{{2, 2}, {3, 3}}}, true},
        {{{{4, 4}, {5, 5}}}, true},
        {{{{0, 0}, {2, 0}, {2, 2}}, {{0.5, 0.5}, {1, 0.5}, {1, 1}}}, false},
    };
    EXPECT_EQ(area, expected);
    // A byte order mark and a named system of degrees change nothing.
    EXPECT_EQ(Read("\xEF\xBB\xBF{\"crs\": {\"type\": \"name\", \"properties\": {\"name\": "
                   "\"urn:ogc:def:crs:OGC:1.3:CRS84\"}}, \"type\": \"LineString\", "
                   "\"coordinates\": [[1, 2], [3, 4]]}"),
              (RawArea{{{{{1, 2}, {3, 4}}}, true}}));
    // Another system is GDAL's to read.
    EXPECT_FALSE(ReadGeoJson(R"({"type": "Point", "coordinates": [1, 2],
        "crs": {"type": "name", "properties": {"name": "EPSG:3857"}}})",
                             "a.geojson", 10));
}

TEST(AreaGeoJson, RefusesMalformedDocumentsSayingWhy) {
    const std::string unreadable =
        "a.geojson: not an area file that can be read (GeoJSON, KML, KMZ, GPX, GeoPackage or "
        "Shapefile): ";
    const std::pair<const char*, const char*> rows[] = {
        {R"({"type": "Polygon", "coordinates": [[[0, 0], [1, 0]])",
         "the JSON text ends too early."},
        {R"({"type": "Polygon", "coordinates": [[[0, 0], [1, 0]]]]})",
         "not valid JSON at byte 54."},
        {R"({"type": "Topology", "objects": {}})", "a JSON document, but not GeoJSON."},
        {R"({"type": "Polygon"})", "a Polygon has no coordinates."},
        {R"({"type": "Polygon", "coordinates": [[0, 0], [1, 0], [1, 1]]})",
         "the coordinates of a Polygon are not an array of rings, each an array of positions."},
        {R"({"type": "LineString", "coordinates": [[0, 0], [[1, 0]]]})",
         "a geometry's coordinates hold something other than arrays of numbers."},
        {R"({"type": "LineString", "coordinates": [[0, 0], [1, "0"]]})",
         "a geometry's coordinates hold something other than arrays of numbers."},
        {R"({"type": "LineString", "coordinates": [[0, 0], [1, {}]]})",
         "a geometry's coordinates hold something other than arrays of numbers."},
        {R"({"type": "LineString", "coordinates": "0 0, 1 1"})",
         "a geometry's coordinates hold something other than arrays of numbers."},
        {R"({"type": "LineString", "coordinates": [[0, 0], [1]]})",
         "a position has fewer than two numbers."},
        {R"({"type": "MultiPolygon", "coordinates": [[[[[0, 0]]]]]})",
         "a geometry's coordinates hold something other than arrays of numbers."},
    };
    for (const auto& [text, reason] : rows) {
        SCOPED_TRACE(text);
        EXPECT_EQ(Refusal(text), unreadable + reason);
    }
    // Brackets nested without end stop at a depth, not at the memory's end.
    const std::string deep = "{\"a\":" + std::string(100000, '[') + std::string(100000, ']') + "}";
    EXPECT_EQ(Refusal(deep), unreadable + "nested deeper than 64 levels.");
    // Points are counted as they come.
    EXPECT_EQ(Refusal(R"({"type": "LineString", "coordinates": [[0, 0], [1, 1], [2, 2]]})", 2),
              "a.geojson: the area has more than 2 points, the most an area may have.");
}

TEST(AreaGeoJson, TellsJsonFromOtherFormatsAndNamesAMissingModule) {
    EXPECT_TRUE(LooksLikeJson(" \n{\"type\""));
    EXPECT_FALSE(LooksLikeJson("<?xml version=\"1.0\"?><kml>"));
    EXPECT_FALSE(LooksLikeJson(""));
    try {
        ModuleFunction(ProgramFolder() + "no-such-module.so", kAreaFormatsEntry);
        FAIL();
    } catch (const EModuleError& e) {
        EXPECT_NE(std::string(e.what()).find("no-such-module.so"), std::string::npos);
    }
}

}  // namespace
}  // namespace tessellon
