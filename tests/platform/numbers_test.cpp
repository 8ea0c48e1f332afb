#include "platform/numbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tessellon {
namespace {

TEST(ParseLeadingDecimal, ConvertsTheLongestLeadingDecimalNumber) {
    const struct {
        const char* text;
        double value;
    } cases[] = {
        {"116.5", 116.5}, {"  -33.8688", -33.8688},
        {"12abc", 12},    {"abc", 0},
        {"", 0},          {"+3", 3},
        {".5", 0.5},      {"-.25x", -0.25},
        {"7.", 7},        {".", 0},
        {"-", 0},         {"1.5e3", 1500},
        {"2E-2", 0.02},   {"1e", 1},
        {"1e+", 1},       {"3e2.5", 300},
        {"0x10", 0},      {"inf", 0},
        {"nan", 0},       {"116,5", 116},
        {"\t\n 85", 85},  {"1 2", 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseLeadingDecimal(c.text), c.value) << c.text;
    }
    EXPECT_TRUE(std::isinf(ParseLeadingDecimal("1e400")));
    EXPECT_EQ(ParseLeadingDecimal("1e-400"), 0);
}

// A text that reads as 0 only because no number begins it reads as nothing.
TEST(ReadLeadingDecimal, HasNoValueWhenNoNumberBeginsTheText) {
    for (const char* text : {"", "abc", "north", ".", "-", " +x", "inf", "nan", "e5"}) {
        EXPECT_FALSE(ReadLeadingDecimal(text)) << text;
    }
    for (const auto& [text, value] : {std::pair{"0", 0.0},
                                      {"-0.0abc", 0.0},
                                      {" .5", 0.5},
                                      {"12abc", 12.0},
                                      {"-7e1x", -70.0},
                                      {"0x10", 0.0}}) {
        EXPECT_EQ(ReadLeadingDecimal(text), value) << text;
    }
}

// Every other integer reading builds on this one, so its edges are pinned for
// a signed and an unsigned type of different widths: which signs pass, where
// each type overflows, and that nothing but the digits of the base is taken.
TEST(ParseInteger, TakesTheWholeTextAsDigitsOfTheBaseWithinTheType) {
    const struct {
        const char* text;
        int base;
        std::optional<std::int32_t> asInt32;
        std::optional<std::uint8_t> asUint8;
    } cases[] = {
        {"", 10, {}, {}},
        {"0", 10, 0, 0},
        {"00012", 10, 12, 12},
        {"255", 10, 255, 255},
        {"256", 10, 256, {}},
        {"-1", 10, -1, {}},
        {"-0", 10, 0, {}},
        {"+1", 10, {}, {}},
        {"-", 10, {}, {}},
        {"--1", 10, {}, {}},
        {" 1", 10, {}, {}},
        {"1 ", 10, {}, {}},
        {"12abc", 10, {}, {}},
        {"1.5", 10, {}, {}},
        {"2147483647", 10, INT32_MAX, {}},
        {"2147483648", 10, {}, {}},
        {"-2147483648", 10, INT32_MIN, {}},
        {"-2147483649", 10, {}, {}},
        {"99999999999999999999999", 10, {}, {}},
        {"ff", 10, {}, {}},
        {"ff", 16, 255, 255},
        {"Fe", 16, 254, 254},
        {"100", 16, 256, {}},
        {"7fffffff", 16, INT32_MAX, {}},
        {"80000000", 16, {}, {}},
        {"-80000000", 16, INT32_MIN, {}},
        {"0x10", 16, {}, {}},
        {"1g", 16, {}, {}},
        {"777", 8, 511, {}},
        {"8", 8, {}, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseInteger<std::int32_t>(c.text, c.base), c.asInt32)
            << c.text << " base " << c.base;
        EXPECT_EQ(ParseInteger<std::uint8_t>(c.text, c.base), c.asUint8)
            << c.text << " base " << c.base;
    }
    // The widest type reaches its very last value and no further.
    EXPECT_EQ(ParseInteger<std::uint64_t>("18446744073709551615"), UINT64_MAX);
    EXPECT_EQ(ParseInteger<std::uint64_t>("18446744073709551616"), std::nullopt);
    // Only the span given is read, not what lies beyond it in memory.
    EXPECT_EQ(ParseInteger<int>(std::string_view("123", 2)), 12);
}

TEST(ParseWholeNumber, AcceptsLeadingBlanksASignAndDigitsOnly) {
    const struct {
        const char* text;
        bool valid;
        std::int32_t value;
    } cases[] = {
        {"39", true, 39},
        {"-10", true, -10},
        {"  +7", true, 7},
        {"2147483647", true, 2147483647},
        {"-2147483648", true, INT32_MIN},
        {"2147483648", false, 0},
        {"", false, 0},
        {" ", false, 0},
        {"39.5", false, 0},
        {"3 ", false, 0},
        {"0x10", false, 0},
        {"--1", false, 0},
        {"99999999999999999999", false, 0},
        {"+-1", false, 0},
        {"-+1", false, 0},
        {"-2147483649", false, 0},
        {"\t1", false, 0},
    };
    for (const auto& c : cases) {
        std::int32_t value = -1;
        EXPECT_EQ(ParseWholeNumber(c.text, value), c.valid) << c.text;
        if (c.valid) {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
}

}  // namespace
}  // namespace tessellon
