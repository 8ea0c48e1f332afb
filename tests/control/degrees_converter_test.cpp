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

}  // namespace
}  // namespace tessellon
