#include "geo/coordinate_text.h"

#include <gtest/gtest.h>

namespace tessellon {
namespace {

constexpr CoordinateAxis kLon = CoordinateAxis::Longitude;
constexpr CoordinateAxis kLat = CoordinateAxis::Latitude;

TEST(CoordinateText, ReadsTheFormsPeopleWrite) {
    const struct {
        const char* Text;
        CoordinateAxis Axis;
        double Value;
    } rows[] = {
        {"-122.4194", kLon, -122.4194},
        {" 48,8566 ", kLat, 48.8566},
        {"+7.5", kLon, 7.5},
        {"1E-5", kLat, 1e-5},  // the general format of a stored tiny bound
        {"122 25 W", kLon, -(122 + 25 / 60.0)},
        {"122 25 10 W", kLon, -(122 + 25 / 60.0 + 10 / 3600.0)},
        {"-122 25 10", kLon, -(122 + 25 / 60.0 + 10 / 3600.0)},
        {"-0 30", kLat, -0.5},
        {"7 36 00", kLat, 7.6},
        {"N 37\xC2\xB0 46\xE2\x80\xB2 29.6\xE2\x80\xB3", kLat, 37 + 46 / 60.0 + 29.6 / 3600.0},
        {"37\xC2\xB0"
         "46'29.6\"S",
         kLat, -(37 + 46 / 60.0 + 29.6 / 3600.0)},
        {"12\xC2\xBA 30,5' e", kLon, 12 + 30.5 / 60.0},
        {"12W", kLon, -12},
        {"s 33.85", kLat, -33.85},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Text);
        const std::optional<double> value = ParseCoordinate(row.Text, row.Axis);
        ASSERT_TRUE(value.has_value());
        EXPECT_NEAR(*value, row.Value, 1e-12);
    }
}

TEST(CoordinateText, ReadsATextWholeOrNotAtAll) {
    const struct {
        const char* Text;
        CoordinateAxis Axis;
    } rows[] = {
        {"", kLon},           {"  ", kLat},         {"E", kLon},       {"122 25 N", kLon},
        {"48 S", kLon},       {"12 E", kLat},       {"-122 W", kLon},  {"W -122", kLon},
        {"12abc", kLon},      {"12 30 15 5", kLat}, {"12.5 30", kLat}, {"12 60", kLat},
        {"12 30.5 10", kLat}, {"12 30 60", kLat},   {"12 -30", kLat},  {"--12", kLon},
        {"inf", kLon},        {"nan", kLat},        {"1e999", kLon},   {"0x10", kLon},
        {"12;30", kLat},      {"12\xC3\xA9", kLon}, {"12 30 X", kLat},
    };
    for (const auto& row : rows) {
        EXPECT_FALSE(ParseCoordinate(row.Text, row.Axis).has_value()) << row.Text;
    }
}

}  // namespace
}  // namespace tessellon
