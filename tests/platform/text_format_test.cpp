#include "platform/text_format.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tessellon {
namespace {

TEST(FormatGeneral, FifteenSignificantDigitsWithoutTrailingZeros) {
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {116.3, "116.3"},
        {116, "116"},
        {-33.8688, "-33.8688"},
        {-180, "-180"},
        {0, "0"},
        {-0.0, "0"},
        {360, "360"},
        {40.01078714046551, "40.0107871404655"},
        {39.77476948529547, "39.7747694852955"},
        {116.279296875, "116.279296875"},
        {0.1, "0.1"},
        {0.00001, "0.00001"},
        {0.000012, "0.000012"},
        {0.0000099, "9.9E-6"},
        {1e-6, "1E-6"},
        {123456789012345.0, "123456789012345"},
        {1234567890123456.0, "1.23456789012346E15"},
        {-2.5e20, "-2.5E20"},
        {1.0 / 3.0, "0.333333333333333"},
        {2.0 / 3.0, "0.666666666666667"},
        {999999999999999.9, "1E15"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatGeneral(c.value, '.'), c.text) << c.value;
    }
}

TEST(FormatGeneral, UsesTheGivenDecimalSeparator) {
    EXPECT_EQ(FormatGeneral(116.3, ','), "116,3");
    EXPECT_EQ(FormatGeneral(1.5e-7, ','), "1,5E-7");
    EXPECT_EQ(FormatGeneral(116, ','), "116");
}

TEST(FormatFixed20_14, RightAlignsFourteenDecimalsInTwentyCharacters) {
    EXPECT_EQ(FormatFixed20_14(116.279296875), "  116.27929687500000");
    EXPECT_EQ(FormatFixed20_14(40.01078714046551), "   40.01078714046551");
    EXPECT_EQ(FormatFixed20_14(-85.0511287798066), "  -85.05112877980660");
    EXPECT_EQ(FormatFixed20_14(0), "    0.00000000000000");
    EXPECT_EQ(FormatFixed20_14(123456789.5), "123456789.50000000000000");  // widens
}

TEST(LocalDateTimeText, HoldsADateAndATimeSeparatedByABlank) {
    const std::string text = LocalDateTimeText();
    ASSERT_NE(text.find(' '), std::string::npos) << text;
    EXPECT_NE(text.find(':'), std::string::npos) << text;
}

}  // namespace
}  // namespace tessellon
