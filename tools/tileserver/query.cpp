#include "query.h"

#include <algorithm>

#include "net/net_text.h"
#include "platform/numbers.h"

namespace tessellon::tileserver {

namespace {

// A "%" not followed by two hex digits stays as it is.
std::string Unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::optional<unsigned char> byte =
            text[i] == '%' && i + 2 < text.size()
                ? ParseInteger<unsigned char>(text.substr(i + 1, 2), 16)
                : std::nullopt;
        if (byte) {
            out += static_cast<char>(*byte);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Calls `visit(pair, name, value)` for each pair until it returns false.
template <typename Visit>
void ForEachPair(std::string_view query, Visit visit) {
    while (!query.empty()) {
        const std::size_t end = query.find('&');
        const std::string_view pair = query.substr(0, end);
        const std::size_t equals = pair.find('=');
        const std::string_view name = pair.substr(0, equals);
        const std::string_view value =
            equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1);
        if (!visit(pair, name, value)) {
            return;
        }
        query = end == std::string_view::npos ? std::string_view() : query.substr(end + 1);
    }
}

// The value of the first pair whose name `matches` accepts, unescaped.
template <typename Matches>
std::optional<std::string> FirstValue(std::string_view query, Matches matches) {
    std::optional<std::string> found;
    ForEachPair(query, [&](std::string_view, std::string_view name, std::string_view value) {
        if (matches(name)) {
            found = Unescape(value);
            return false;
        }
        return true;
    });
    return found;
}

}  // namespace

std::optional<std::string> QueryValue(std::string_view query, std::string_view key) {
    return FirstValue(query, [key](std::string_view name) { return name == key; });
}

std::optional<std::string> QueryValueAnyCase(std::string_view query, std::string_view key) {
    return FirstValue(query, [key](std::string_view name) { return SameText(name, key); });
}

std::string QueryWithout(std::string_view query, std::initializer_list<std::string_view> names) {
    std::string kept;
    ForEachPair(query, [&](std::string_view pair, std::string_view name, std::string_view) {
        if (std::find(names.begin(), names.end(), name) == names.end()) {
            if (!kept.empty()) {
                kept += '&';
            }
            kept += pair;
        }
        return true;
    });
    return kept;
}

}  // namespace tessellon::tileserver
