#pragma once
// Reading numbers from text: what a user typed, by the rules the windows
// apply, and the one integer reader that every other reading of an integer
// (profile files, the tile server's options and requests) builds on.

#include <charconv>
#include <concepts>
#include <cstdint>
#include <optional>
#include <string_view>
#include <system_error>

namespace tessellon {

// The whole of `text` as an integer in `base` (2 to 36), by the rules of
// std::from_chars: no blanks, no "+", a "-" only for a signed type, no "0x";
// past 9 the digits are letters of either case. Nothing for an empty text,
// any character left over, or a value the type cannot hold. Each caller
// wraps its own rules (blanks, signs, prefixes, ranges) around it.
template <std::integral Integer>
[[nodiscard]] std::optional<Integer> ParseInteger(std::string_view text, int base = 10) {
    Integer value{};
    const char* const end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, base);
    if (error != std::errc() || stop != end) {
        return std::nullopt;
    }
    return value;
}

// The rule of the C library's atof, independent of the process locale: leading
// white space is skipped, the longest leading part that forms a decimal number
// (optionally signed, with a decimal point and an exponent) is converted, and
// a text without such a part gives 0. "12abc" gives 12, "abc" gives 0.
double ParseLeadingDecimal(std::string_view text);
// The same, but nothing for a text without such a part, so that "abc" and
// "0" can be told apart.
[[nodiscard]] std::optional<double> ReadLeadingDecimal(std::string_view text);

// A whole number: leading blanks, an optional sign, then only digits, within
// 32 bits. False for anything else, the empty text included.
[[nodiscard]] bool ParseWholeNumber(std::string_view text, std::int32_t& value);

}  // namespace tessellon
