#pragma once
// Reading numbers that a user typed, by the rules the windows apply.

#include <cstdint>
#include <string_view>

namespace tessellon {

// The rule of the C library's atof, independent of the process locale: leading
// white space is skipped, the longest leading part that forms a decimal number
// (optionally signed, with a decimal point and an exponent) is converted, and
// a text without such a part gives 0. "12abc" gives 12, "abc" gives 0.
double ParseLeadingDecimal(std::string_view text);

// A whole number: leading blanks, an optional sign, then only digits, within
// 32 bits. False for anything else, the empty text included.
bool ParseWholeNumber(std::string_view text, std::int32_t& value);

}  // namespace tessellon
