#include "control/degrees_converter.h"

#include <gtest/gtest.h>

namespace tessellon {
namespace {

TEST(DegreesConverter, AddsMinutesAndSecondsInSinglePrecision) {
    const struct {
        const char *d, *m, *s, *result;
    } cases[] = {
        {"10", "30", "0", "10.5"},
        {"39", "55", "30", "39.9249992370605"},
        {"0", "0", "36", "0.00999999977648258"},
        {"-10", "30", "0", "-10.5"},  // the sign is the whole angle's
        {"-0", "30", "0", "-0.5"},
        {"-122", "25", "10", "-122.419441223145"},
        {"39", "55", "", "39.9166679382324"},
        {"39", "55", "abc", "39.9166679382324"},  // no number in the seconds reads as 0
        {"10", "90", "0", "11.5"},                // no range check
        {" 10", "+30", " 1.5e1x", "10.5041666030884"},
    };
    for (const auto& c : cases) {
        const auto result = ConvertDegreesMinutesSeconds(c.d, c.m, c.s);
        ASSERT_TRUE(result.has_value()) << c.d << " " << c.m << " " << c.s;
        EXPECT_EQ(*result, c.result) << c.d << " " << c.m << " " << c.s;
    }
    EXPECT_EQ(ConvertDegreesMinutesSeconds("39", "55", ""),
              ConvertDegreesMinutesSeconds("39", "55", "0"));
}

TEST(DegreesConverter, RefusesDegreesOrMinutesThatAreNotWholeNumbers) {
    const struct {
        const char *d, *m, *s;
    } cases[] = {
        {"39.5", "0", "0"}, {"39", "", "0"}, {"", "0", "0"}, {"x", "1", "1"}, {"1", "1", "1e40"},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(ConvertDegreesMinutesSeconds(c.d, c.m, c.s).has_value())
            << c.d << " " << c.m << " " << c.s;
    }
    EXPECT_STREQ(kConverterInputError, "Input Error.");
}

// The hemisphere makes the whole angle negative for S and W, never only
// the degrees; a minus as well is refused rather than guessed at.
TEST(DegreesConverter, TheHemisphereSignsTheWholeAngle) {
    std::string error;
    EXPECT_EQ(ConvertInHemisphere("122", "25", "10", Hemisphere::West, error),
              ConvertDegreesMinutesSeconds("-122", "25", "10"));
    EXPECT_EQ(*ConvertInHemisphere("122", "25", "10", Hemisphere::West, error),
              "-122.419441223145");
    EXPECT_EQ(*ConvertInHemisphere(" 37", "46", "0", Hemisphere::South, error),
              "-37.7666664123535");
    EXPECT_EQ(*ConvertInHemisphere("37", "46", "0", Hemisphere::North, error), "37.7666664123535");
    EXPECT_EQ(*ConvertInHemisphere("-10", "30", "0", Hemisphere::East, error), "-10.5");
    EXPECT_EQ(*ConvertInHemisphere("0", "30", "0", Hemisphere::West, error), "-0.5");

    EXPECT_FALSE(ConvertInHemisphere("-122", "25", "10", Hemisphere::West, error));
    EXPECT_EQ(error, kSignAndHemisphereError);
    EXPECT_FALSE(ConvertInHemisphere("", "25", "10", Hemisphere::South, error));
    EXPECT_EQ(error, kConverterInputError);
    EXPECT_FALSE(ConvertInHemisphere("12.5", "0", "0", Hemisphere::North, error));
    EXPECT_EQ(error, kConverterInputError);

    EXPECT_EQ(AxisOf(Hemisphere::North), CoordinateAxis::Latitude);
    EXPECT_EQ(AxisOf(Hemisphere::South), CoordinateAxis::Latitude);
    EXPECT_EQ(AxisOf(Hemisphere::East), CoordinateAxis::Longitude);
    EXPECT_EQ(AxisOf(Hemisphere::West), CoordinateAxis::Longitude);
}

TEST(DegreesConverter, AResultGoesIntoAFieldOnlyWithinItsRange) {
    EXPECT_FALSE(UseAsRefusal("-122.419441223145", CoordinateAxis::Longitude, "Left Longitude"));
    EXPECT_FALSE(UseAsRefusal("180", CoordinateAxis::Longitude, "Right Longitude"));
    EXPECT_FALSE(UseAsRefusal("-85", CoordinateAxis::Latitude, "Bottom Latitude"));
    EXPECT_EQ(UseAsRefusal("180.5", CoordinateAxis::Longitude, "Left Longitude"),
              "Left Longitude should be between -180 and 180.");
    EXPECT_EQ(UseAsRefusal("85.0000001", CoordinateAxis::Latitude, "Top Latitude"),
              "Top Latitude should be between -85 and 85.");
    // Nothing converted yet: nothing goes into a field.
    EXPECT_EQ(UseAsRefusal("", CoordinateAxis::Latitude, "Top Latitude"),
              "Top Latitude should be between -85 and 85.");
}

}  // namespace
}  // namespace tessellon
