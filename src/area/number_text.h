#pragma once
// Numbers as the area files write them: the shortest text that reads back as
// the same double, with "." whatever the locale, and 0 for -0, so that the
// same shape always gives the same bytes.

#include <charconv>
#include <string>

namespace tessellon {

inline void AppendShortest(std::string& text, double value) {
    char digits[32];
    text.append(digits,
                std::to_chars(digits, digits + sizeof digits, value == 0 ? 0.0 : value).ptr);
}

inline std::string ShortestText(double value) {
    std::string text;
    AppendShortest(text, value);
    return text;
}

}  // namespace tessellon
