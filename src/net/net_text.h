#pragma once
// Small text helpers of the HTTP code. Blanks are spaces and tabs only:
// header text is bytes, not locale-dependent characters.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessellon {

// Equal without regard to ASCII case.
bool SameText(std::string_view a, std::string_view b);
std::string TrimLeft(std::string_view text);
std::string TrimRight(std::string_view text);
std::string Trim(std::string_view text);

// An optional sign and decimal digits, nothing else, within 32 bits.
std::optional<std::int32_t> ParseInt32(std::string_view text);
// Decimal digits only, nothing else, without overflow.
std::optional<std::uint64_t> ParseDigits(std::string_view text);

}  // namespace tessellon
