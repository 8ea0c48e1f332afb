#include "platform/numbers.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tessellon {
namespace {

TEST(ParseLeadingDecimal, ConvertsTheLongestLeadingDecimalNumber) {
    const struct {
        const char* text;
        double value;
    } cases[] = {
        {"116.5", 116.5},   {"  -33.8688", -33.8688}, {"12abc", 12},      {"abc", 0},
        {"", 0},            {"+3", 3},                {".5", 0.5},        {"-.25x", -0.25},
        {"7.", 7},          {".", 0},                 {"-", 0},           {"1.5e3", 1500},
        {"2E-2", 0.02},     {"1e", 1},                {"1e+", 1},         {"3e2.5", 300},
        {"0x10", 0},        {"inf", 0},               {"nan", 0},         {"116,5", 116},
        {"\t\n 85", 85},    {"1 2", 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseLeadingDecimal(c.text), c.value) << c.text;
    }
    EXPECT_TRUE(std::isinf(ParseLeadingDecimal("1e400")));
    EXPECT_EQ(ParseLeadingDecimal("1e-400"), 0);
}

TEST(ParseWholeNumber, AcceptsLeadingBlanksASignAndDigitsOnly) {
    const struct {
        const char* text;
        bool valid;
        std::int32_t value;
    } cases[] = {
        {"39", true, 39},       {"-10", true, -10},     {"  +7", true, 7},
        {"2147483647", true, 2147483647},               {"-2147483648", true, INT32_MIN},
        {"2147483648", false, 0},                       {"", false, 0},
        {" ", false, 0},        {"39.5", false, 0},     {"3 ", false, 0},
        {"0x10", false, 0},     {"--1", false, 0},      {"99999999999999999999", false, 0},
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
