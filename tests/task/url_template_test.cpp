#include "task/url_template.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "geo/tile_math.h"

namespace tessellon {
namespace {

const std::vector<std::string> kAbc{"a", "b", "c"};

struct ExpansionCase {
    const char* Template;
    std::int32_t X;
    std::int32_t Y;
    int Zoom;
    const char* Url;
};

// Known values of each placeholder, at the edges of the grid and inside it.
const ExpansionCase kExpansions[] = {
    {"https://example.org/{z}/{x}/{y}.png", 3, 5, 3, "https://example.org/3/3/5.png"},
    {"{-y}", 3, 5, 3, "2"},
    {"{-y}", 0, 0, 0, "0"},
    {"{-y}", 0, 0, 19, "524287"},
    {"{-y}", 0, 524287, 19, "0"},
    {"{q}", 3, 5, 3, "213"},
    {"{q}", 0, 0, 1, "0"},
    {"{q}", 1, 0, 1, "1"},
    {"{q}", 0, 1, 1, "2"},
    {"{q}", 1, 1, 1, "3"},
    {"{q}", 0, 0, 0, ""},
    {"{q}", 524287, 524287, 19, "3333333333333333333"},
    {"{q}", 35210, 21493, 16, "1202102332221212"},
    {"{s}", 0, 0, 5, "a"},
    {"{s}", 1, 0, 5, "b"},
    {"{s}", 1, 1, 5, "c"},
    {"{s}", 2, 1, 5, "a"},
    {"{s}", 1, 2, 5, "a"},
    {"{bbox}", 0, 0, 0, "-20037508.342789,-20037508.342789,20037508.342789,20037508.342789"},
    {"{bbox}", 0, 0, 1, "-20037508.342789,0.000000,0.000000,20037508.342789"},
    {"{bbox}", 3, 1, 2, "10018754.171395,0.000000,20037508.342789,10018754.171395"},
    {"{bbox}", 4100, 2730, 13, "19567.879241,6677538.790993,24459.849051,6682430.760803"},
    {"{bbox}", 300001, 174762, 19, "2893676.579792,6679143.968587,2893753.016820,6679220.405615"},
    {"{bbox}", 0, 524287, 19,
     "-20037508.342789,-20037508.342789,-20037431.905761,-20037431.905761"},
    {"{bbox}", 524287, 0, 19, "20037431.905761,20037431.905761,20037508.342789,20037508.342789"},
    {"{bbox}", 262143, 262144, 19, "-76.437028,-76.437028,0.000000,0.000000"},
    {"{bbox}", 12345, 67890, 17, "-16263047.886067,-720036.806446,-16262742.137954,-719731.058333"},
    {"https://example.org/wms?SERVICE=WMS&BBOX={bbox}&WIDTH=256", 1, 1, 1,
     "https://example.org/wms?SERVICE=WMS&BBOX=0.000000,-20037508.342789,20037508.342789,0.000000"
     "&WIDTH=256"},
    {"https://{s}.example.org/{z}/{x}/{-y}.jpg?k=1", 4, 6, 4,
     "https://b.example.org/4/4/9.jpg?k=1"},
    {"{x}{y}{z}", 12, 34, 5, "12345"},
    {"no placeholders } here", 1, 2, 3, "no placeholders } here"},
    {"", 1, 2, 3, ""},
};

TEST(UrlTemplate, ExpandsEachPlaceholderToItsKnownValue) {
    for (const ExpansionCase& row : kExpansions) {
        SCOPED_TRACE(std::string(row.Template) + " x=" + std::to_string(row.X) +
                     " y=" + std::to_string(row.Y) + " z=" + std::to_string(row.Zoom));
        EXPECT_EQ(UrlTemplate(row.Template).Url(row.X, row.Y, row.Zoom, kAbc), row.Url);
    }
}

// The bounds agree with the grid's edges in degrees, taken through the
// spherical Mercator formulas.
TEST(UrlTemplate, BboxMatchesTheTileEdgesOfTheGrid) {
    constexpr double kRadius = 6378137.0;
    constexpr double kPi = 3.14159265358979323846;
    const auto metresX = [&](double longitude) { return longitude * kPi / 180 * kRadius; };
    const auto metresY = [&](double latitude) {
        return std::log(std::tan(kPi / 4 + latitude * kPi / 360)) * kRadius;
    };
    const UrlTemplate url("{bbox}");
    for (int zoom = 1; zoom <= 6; ++zoom) {
        for (std::int32_t x = 0; x < (1 << zoom); x += 3) {
            const std::int32_t y = (1 << zoom) - 1 - x / 2;
            SCOPED_TRACE(std::to_string(zoom) + "/" + std::to_string(x) + "/" + std::to_string(y));
            double minX = 0, minY = 0, maxX = 0, maxY = 0;
            ASSERT_EQ(std::sscanf(url.Url(x, y, zoom, {}).c_str(), "%lf,%lf,%lf,%lf", &minX, &minY,
                                  &maxX, &maxY),
                      4);
            EXPECT_NEAR(minX, metresX(TileXToLongitude(x, zoom)), 1e-4);
            EXPECT_NEAR(maxX, metresX(TileXToLongitude(x + 1, zoom)), 1e-4);
            EXPECT_NEAR(maxY, metresY(TileYToLatitude(y, zoom)), 1e-4);
            EXPECT_NEAR(minY, metresY(TileYToLatitude(y + 1, zoom)), 1e-4);
        }
    }
}

TEST(UrlTemplate, TellsWhichPlaceholdersItUses) {
    const UrlTemplate tms("https://example.org/{z}/{x}/{-y}.png");
    EXPECT_TRUE(tms.Uses(TilePlaceholder::X));
    EXPECT_TRUE(tms.Uses(TilePlaceholder::Z));
    EXPECT_TRUE(tms.Uses(TilePlaceholder::TmsY));
    EXPECT_FALSE(tms.Uses(TilePlaceholder::Y));
    EXPECT_FALSE(tms.Uses(TilePlaceholder::Quadkey));
    EXPECT_EQ(tms.Text(), "https://example.org/{z}/{x}/{-y}.png");
}

TEST(UrlTemplate, RefusesWhatIsNoPlaceholder) {
    const std::pair<const char*, const char*> kRefused[] = {
        {"https://example.org/{zoom}/{x}/{y}.png", "unknown placeholder {zoom}"},
        {"{X}", "unknown placeholder {X}"},
        {"{}", "unknown placeholder {}"},
        {"{{x}}", "unknown placeholder {{x}"},
        {"{ x}", "unknown placeholder { x}"},
        {"https://example.org/{z}/{x", "a \"{\" without \"}\""},
    };
    for (const auto& [text, message] : kRefused) {
        SCOPED_TRACE(text);
        try {
            UrlTemplate{text};
            ADD_FAILURE() << "accepted";
        } catch (const ETileSourceError& error) {
            EXPECT_STREQ(error.what(), message);
        }
    }
}

}  // namespace
}  // namespace tessellon
