#include "geo/coordinate_text.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <string>
#include <vector>

namespace tessellon {

namespace {

// The marks of degrees, minutes and seconds in UTF-8, beside ' and ".
constexpr std::array<std::string_view, 4> kMarks = {"\xC2\xB0", "\xC2\xBA", "\xE2\x80\xB2",
                                                    "\xE2\x80\xB3"};

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

// The length of the separator at the start of `text`: a blank, ' or ", or
// one of kMarks; 0 when none is there.
std::size_t SeparatorAt(std::string_view text) {
    const char c = text.front();
    if (std::isspace(static_cast<unsigned char>(c)) || c == '\'' || c == '"') {
        return 1;
    }
    for (const std::string_view mark : kMarks) {
        if (text.substr(0, mark.size()) == mark) {
            return mark.size();
        }
    }
    return 0;
}

// The numbers between the separators; nothing when any part is no number
// or carries a sign of its own.
std::optional<std::vector<double>> Numbers(std::string_view text) {
    std::vector<double> numbers;
    while (!text.empty()) {
        if (const std::size_t separator = SeparatorAt(text)) {
            text.remove_prefix(separator);
            continue;
        }
        std::size_t end = 0;
        while (end < text.size() && SeparatorAt(text.substr(end)) == 0) {
            ++end;
        }
        std::string word(text.substr(0, end));
        text.remove_prefix(end);
        for (char& c : word) {
            c = c == ',' ? '.' : c;
        }
        double value = 0;
        const char* const last = word.data() + word.size();
        const auto [stop, error] = std::from_chars(word.data(), last, value);
        if (error != std::errc() || stop != last || word.front() == '-' || !std::isfinite(value)) {
            return std::nullopt;
        }
        numbers.push_back(value);
    }
    return numbers;
}

// -1 or 1 for a hemisphere letter of `axis`; 0 for any other character.
int HemisphereSign(char c, CoordinateAxis axis) {
    switch (std::toupper(static_cast<unsigned char>(c))) {
        case 'E':
            return axis == CoordinateAxis::Longitude ? 1 : 0;
        case 'W':
            return axis == CoordinateAxis::Longitude ? -1 : 0;
        case 'N':
            return axis == CoordinateAxis::Latitude ? 1 : 0;
        case 'S':
            return axis == CoordinateAxis::Latitude ? -1 : 0;
        default:
            return 0;
    }
}

bool IsHemisphereLetter(char c) {
    const int upper = std::toupper(static_cast<unsigned char>(c));
    return upper == 'E' || upper == 'W' || upper == 'N' || upper == 'S';
}

bool IsWhole(double value) {
    return value == std::floor(value);
}

}  // namespace

std::optional<double> ParseCoordinate(std::string_view text, CoordinateAxis axis) {
    text = Trimmed(text);
    if (text.empty()) {
        return std::nullopt;
    }
    // A letter at either end: "1e5" keeps its exponent, as no number ends in
    // one, and "E" alone is no coordinate.
    int sign = 0;
    if (IsHemisphereLetter(text.back())) {
        sign = HemisphereSign(text.back(), axis);
        text.remove_suffix(1);
    } else if (IsHemisphereLetter(text.front())) {
        sign = HemisphereSign(text.front(), axis);
        text.remove_prefix(1);
    } else {
        sign = 1;
        if (text.front() == '-' || text.front() == '+') {
            sign = text.front() == '-' ? -1 : 1;
            text.remove_prefix(1);
        }
    }
    text = Trimmed(text);
    if (sign == 0 || text.empty() || text.front() == '-' || text.front() == '+') {
        return std::nullopt;
    }
    const std::optional<std::vector<double>> numbers = Numbers(text);
    if (!numbers || numbers->empty() || numbers->size() > 3) {
        return std::nullopt;
    }
    const std::vector<double>& n = *numbers;
    double value = n[0];
    if (n.size() >= 2) {
        if (!IsWhole(n[0]) || n[1] >= 60) {
            return std::nullopt;
        }
        value += n[1] / 60;
    }
    if (n.size() == 3) {
        if (!IsWhole(n[1]) || n[2] >= 60) {
            return std::nullopt;
        }
        value += n[2] / 3600;
    }
    return sign * value;
}

}  // namespace tessellon
