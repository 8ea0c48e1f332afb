#pragma once
// Text from outside (a server's status, a URL, a file name from a list) as a
// line quotes it. Header-only, so the network library, which is built on its
// own, shows a server's text the same way.

#include <algorithm>
#include <string>
#include <string_view>

namespace tessellon {

inline bool IsControlCharacter(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

// Each control character but tab (bytes below 0x20, and 0x7F) becomes "\xNN"
// with upper-case hex digits, so a log line is always one line and a terminal
// shows what came instead of obeying it.
inline std::string ShowControlCharacters(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string shown;
    shown.reserve(text.size());
    for (const char c : text) {
        if (c == '\t' || !IsControlCharacter(c)) {
            shown += c;
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        shown += "\\x";
        shown += kHex[byte >> 4];
        shown += kHex[byte & 0xF];
    }
    return shown;
}

// True when `text` holds a control character, tab and NUL included.
inline bool HasControlCharacter(std::string_view text) {
    return std::any_of(text.begin(), text.end(), IsControlCharacter);
}

}  // namespace tessellon
