#include "area/area_buffer.h"

#include <algorithm>
#include <charconv>
#include <system_error>

#include "area/area_texts.h"
#include "area/number_text.h"

namespace tessellon {

namespace {

constexpr double kLeastBufferMetres = 1;

}  // namespace

std::optional<double> ParseBufferDistance(std::string_view text, std::string& error) {
    std::string_view rest = text;
    const auto skipBlanks = [&rest] {
        while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) {
            rest.remove_prefix(1);
        }
        while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t')) {
            rest.remove_suffix(1);
        }
    };
    skipBlanks();
    if (!rest.empty() && rest.front() == '-') {
        error = AreaText::BufferNegative(text);
        return std::nullopt;
    }
    // Digits with at most one decimal point: no sign, exponent or "inf".
    std::size_t length = 0;
    bool digits = false;
    bool point = false;
    for (; length < rest.size(); ++length) {
        const char c = rest[length];
        if (c >= '0' && c <= '9') {
            digits = true;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    double value = 0;
    if (!digits ||
        std::from_chars(rest.data(), rest.data() + length, value, std::chars_format::fixed).ec !=
            std::errc()) {
        error = AreaText::BufferNotADistance(text);
        return std::nullopt;
    }
    rest.remove_prefix(length);
    skipBlanks();
    std::string unit(rest);
    std::transform(unit.begin(), unit.end(), unit.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    double metres = 0;
    if (unit == "m") {
        metres = value;
    } else if (unit == "km") {
        metres = value * 1000;
    } else if (unit.empty() && value == 0) {
        metres = 0;
    } else {
        error = AreaText::BufferNotADistance(text);
        return std::nullopt;
    }
    if (metres > kMaxBufferMetres) {
        error = AreaText::BufferTooLarge(text);
        return std::nullopt;
    }
    if (metres > 0 && metres < kLeastBufferMetres) {
        error = AreaText::BufferTooSmall(text);
        return std::nullopt;
    }
    return metres;
}

std::string FormatBufferDistance(double metres) {
    return metres >= 1000 ? ShortestText(metres / 1000) + " km" : ShortestText(metres) + " m";
}

}  // namespace tessellon
