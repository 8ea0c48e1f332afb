#include "area/area_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "temp_dir.h"

namespace tessellon {
namespace {

std::string Data(const std::string& name) {
    return std::string(TESSELLON_AREA_DATA) + name;
}

// The message of the EAreaError that reading `path` throws; "" when none.
std::string Refusal(const std::string& path, const AreaLimits& limits = {}) {
    try {
        ReadAreaGeometry(path, limits);
    } catch (const EAreaError& e) {
        return e.what();
    }
    return "";
}

std::size_t Points(const AreaGeometry& geometry) {
    std::size_t count = 0;
    for (const GeoPolygon& polygon : geometry.Polygons) {
        count += polygon.Outer.size();
        for (const GeoRing& hole : polygon.Holes) {
            count += hole.size();
        }
    }
    for (const auto& line : geometry.Lines) {
        count += line.size();
    }
    return count;
}

// One row per file: what the reader finds in it.
struct Kind {
    const char* File;
    std::size_t Polygons;
    std::size_t Holes;
    std::size_t Lines;
    std::size_t Points;
};

TEST(AreaFile, ReadsEveryFormatAndKindOfGeometry) {
    const Kind kinds[] = {
        // A bare geometry; the closing point is not kept.
        {"polygon.geojson", 1, 0, 0, 4},
        // Two islands, two lakes in the larger; the harbour point is left out.
        {"islands_with_lakes.geojson", 2, 2, 0, 4 + 4 + 4 + 3},
        {"line_feature.geojson", 0, 0, 1, 3},
        {"multiline.geojson", 0, 0, 2, 5},
        {"collection.geojson", 1, 0, 1, 4 + 2},
        {"park.kml", 1, 1, 1, 4 + 4 + 2},
        {"multigeometry.kml", 2, 0, 0, 4 + 3},
        {"park.kmz", 1, 1, 1, 4 + 4 + 2},
        {"nested.kmz", 1, 1, 1, 4 + 4 + 2},
        // Two track segments; the waypoint is left out.
        {"hike.gpx", 0, 0, 2, 5},
        {"route.gpx", 0, 0, 1, 3},
        {"berlin_utm33.shp", 1, 0, 0, 4},
    };
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.File);
        const AreaGeometry geometry = ReadAreaGeometry(Data(kind.File));
        EXPECT_EQ(geometry.Polygons.size(), kind.Polygons);
        std::size_t holes = 0;
        for (const GeoPolygon& polygon : geometry.Polygons) {
            holes += polygon.Holes.size();
        }
        EXPECT_EQ(holes, kind.Holes);
        EXPECT_EQ(geometry.Lines.size(), kind.Lines);
        EXPECT_EQ(Points(geometry), kind.Points);
    }
}

TEST(AreaFile, KeepsTheCoordinatesAsLongitudeThenLatitude) {
    const AreaGeometry kml = ReadAreaGeometry(Data("park.kml"));
    EXPECT_EQ(kml.Polygons[0].Outer[0], (GeoPoint{-0.20, 51.50}));
    EXPECT_EQ(kml.Polygons[0].Holes[0][2], (GeoPoint{-0.17, 51.51}));
    const AreaGeometry gpx = ReadAreaGeometry(Data("route.gpx"));
    EXPECT_EQ(gpx.Lines[0][1], (GeoPoint{151.25, -33.85}));
}

TEST(AreaFile, TransformsAFilesOwnCoordinateSystemToDegrees) {
    // Web Mercator metres of 0..10 degrees east and north.
    const AreaGeometry mercator = ReadAreaGeometry(Data("mercator_crs.geojson"));
    ASSERT_EQ(mercator.Polygons.size(), 1u);
    EXPECT_NEAR(mercator.Polygons[0].Outer[2].Longitude, 10, 1e-9);
    EXPECT_NEAR(mercator.Polygons[0].Outer[2].Latitude, 10, 1e-9);
    // UTM zone 33 metres of the Berlin square in polygon.geojson.
    const AreaGeometry utm = ReadAreaGeometry(Data("berlin_utm33.shp"));
    const AreaGeometry degrees = ReadAreaGeometry(Data("polygon.geojson"));
    ASSERT_EQ(utm.Polygons.size(), 1u);
    for (std::size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        bool found = false;
        for (const GeoPoint& point : degrees.Polygons[0].Outer) {
            found =
                found || (std::abs(point.Longitude - utm.Polygons[0].Outer[i].Longitude) < 1e-7 &&
                          std::abs(point.Latitude - utm.Polygons[0].Outer[i].Latitude) < 1e-7);
        }
        EXPECT_TRUE(found);
    }
}

// One row per refused file: the reason its message must give.
struct Refused {
    const char* File;
    const char* Reason;
};

TEST(AreaFile, RefusesFilesWithoutAUsableAreaNamingTheFileAndTheReason) {
    const Refused refused[] = {
        {"empty.geojson", ": the file is empty."},
        {"truncated.geojson",
         ": not an area file that can be read (GeoJSON, KML, KMZ, GPX, "
         "GeoPackage or Shapefile): "},
        {"berlin_utm33.prj",
         ": not an area file that can be read (GeoJSON, KML, KMZ, GPX, "
         "GeoPackage or Shapefile)."},
        {"truncated.kml", ": not an area file that can be read"},
        {"truncated.gpx", ": not an area file that can be read"},
        {"no_features.geojson",
         ": the file holds no area: no polygon, line, track or route "
         "(points alone make no area)."},
        {"points_only.geojson", ": the file holds no area"},
        {"waypoints_only.gpx", ": the file holds no area"},
        {"picture_only.kmz", ": the KMZ archive holds no KML document."},
        {"antimeridian.geojson",
         ": the area crosses the antimeridian (180 degrees longitude); "
         "split it into two areas."},
        {"beyond_180.geojson", ": the area crosses the antimeridian"},
        {"swapped.geojson",
         ": a latitude of 95 degrees lies beyond the pole; are longitude and "
         "latitude swapped?"},
        {"missing.geojson", "missing.geojson"},
    };
    for (const Refused& row : refused) {
        SCOPED_TRACE(row.File);
        const std::string path = Data(row.File);
        const std::string message = Refusal(path);
        EXPECT_NE(message.find(row.Reason), std::string::npos) << message;
        EXPECT_NE(message.find(path), std::string::npos) << message;
    }
}

TEST(AreaFile, TheShapeIsValidCanonicalAndOnTheGrid) {
    // Clockwise from a middle point: counter-clockwise from the least.
    const GeoRing clockwise = {{1, 1}, {1, 0}, {0, 0}, {0, 1}};
    EXPECT_EQ(ShapeOfArea({{{clockwise, {}}}, {}}, std::nullopt, "x").Polygons[0].Outer,
              (GeoRing{{0, 0}, {1, 0}, {1, 1}, {0, 1}}));
    // A ring that crosses itself becomes the two parts it encloses.
    EXPECT_EQ(ReadAreaShape(Data("bow_tie.geojson"), std::nullopt).Polygons.size(), 2u);
    // Cut at the grid's edge: there are no tiles beyond it.
    const GeoRect polar = ShapeBounds(ReadAreaShape(Data("polar.geojson"), std::nullopt));
    EXPECT_DOUBLE_EQ(polar.Top, 85.051128779806589);
    EXPECT_DOUBLE_EQ(polar.Bottom, 80);
    EXPECT_DOUBLE_EQ(polar.Left, 10);
    EXPECT_DOUBLE_EQ(polar.Right, 20);
    try {
        ReadAreaShape(Data("arctic_only.geojson"), std::nullopt);
        FAIL();
    } catch (const EAreaError& e) {
        EXPECT_EQ(std::string(e.what()),
                  Data("arctic_only.geojson") +
                      ": the area lies wholly beyond 85.0511 degrees north or south, where the "
                      "map has no tiles.");
    }
    try {
        ReadAreaShape(Data("flat.geojson"), std::nullopt);
        FAIL();
    } catch (const EAreaError& e) {
        EXPECT_EQ(std::string(e.what()),
                  Data("flat.geojson") + ": the area's polygons enclose nothing.");
    }
}

TEST(AreaFile, RefusesAFolderAndFilesBeyondTheLimits) {
    EXPECT_NE(Refusal(TESSELLON_AREA_DATA).find("Not a regular file"), std::string::npos);

    // The size is refused before anything is read.
    const test::TempDir dir;
    const std::string huge = dir.File("huge.geojson");
    std::ofstream(huge).close();
    std::filesystem::resize_file(huge, 64 * 1024 * 1024 + 1);
    EXPECT_EQ(Refusal(huge),
              huge + ": the file is larger than 64 MiB, the most an area file may be.");

    const AreaLimits small{200, 9};
    const std::string long_ = Data("islands_with_lakes.geojson");
    EXPECT_EQ(Refusal(long_, small),
              long_ + ": the file is larger than 200 bytes, the most an area file may be.");
    const std::string many = Data("park.kml");
    EXPECT_EQ(Refusal(many, AreaLimits{1 << 20, 11}),
              many + ": the area has more than 11 points, the most an area may have.");
    EXPECT_EQ(Refusal(many, AreaLimits{1 << 20, 12}), "");
    // A KMZ archive is small; the document inside it counts.
    const std::string packed = Data("park.kmz");
    EXPECT_EQ(Refusal(packed, AreaLimits{600, 100}),
              packed +
                  ": the KML document in the KMZ archive is larger than 600 bytes, the most an "
                  "area file may be.");
}

}  // namespace
}  // namespace tessellon
