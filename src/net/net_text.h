#pragma once
// Small text helpers of the HTTP code. Blanks are spaces and tabs only:
// header text is bytes, not locale-dependent characters.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessellon {

// Equal without regard to ASCII case. Inline: header names are compared
// many times per reply, and most comparisons end at the lengths.
inline bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    const auto lower = [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    };
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

std::string TrimLeft(std::string_view text);
std::string TrimRight(std::string_view text);
std::string Trim(std::string_view text);

// An optional sign and decimal digits, nothing else, within 32 bits.
std::optional<std::int32_t> ParseInt32(std::string_view text);

}  // namespace tessellon
