#include "platform/numbers.h"

#include <locale.h>
#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <string>

namespace tessellon {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::size_t SkipDigits(std::string_view text, std::size_t i) {
    while (i < text.size() && IsDigit(text[i])) {
        ++i;
    }
    return i;
}

}  // namespace

double ParseLeadingDecimal(std::string_view text) {
    return ReadLeadingDecimal(text).value_or(0);
}

std::optional<double> ReadLeadingDecimal(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) {
        ++i;
    }
    const std::size_t start = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        ++i;
    }
    const std::size_t integerEnd = SkipDigits(text, i);
    bool anyDigit = integerEnd > i;
    i = integerEnd;
    if (i < text.size() && text[i] == '.') {
        const std::size_t fractionEnd = SkipDigits(text, i + 1);
        anyDigit = anyDigit || fractionEnd > i + 1;
        i = fractionEnd;
    }
    if (!anyDigit) {
        return std::nullopt;
    }
    // An exponent counts only when digits follow it.
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
            ++j;
        }
        if (const std::size_t exponentEnd = SkipDigits(text, j); exponentEnd > j) {
            i = exponentEnd;
        }
    }
    // strtod_l under the "C" locale converts the span found above: the rule is
    // the same whatever locale the process runs under, and hexadecimal, "inf"
    // and "nan" never get this far.
    static const locale_t cLocale = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    const std::string number(text.substr(start, i - start));
    return ::strtod_l(number.c_str(), nullptr, cLocale);
}

bool ParseWholeNumber(std::string_view text, std::int32_t& value) {
    text.remove_prefix(std::min(text.find_first_not_of(' '), text.size()));
    const bool negative = text.starts_with('-');
    if (negative || text.starts_with('+')) {
        text.remove_prefix(1);
    }
    // Unsigned, so a second sign is refused.
    const std::optional<std::uint32_t> magnitude = ParseInteger<std::uint32_t>(text);
    const std::uint32_t limit = negative ? 2147483648U : INT32_MAX;
    if (!magnitude || *magnitude > limit) {
        return false;
    }
    value = static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(*magnitude)
                                               : static_cast<std::int64_t>(*magnitude));
    return true;
}

}  // namespace tessellon
