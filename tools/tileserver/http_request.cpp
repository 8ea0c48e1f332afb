#include "http_request.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "platform/numbers.h"

namespace tessellon::tileserver {

namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view Trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Calls `visit(token)` for each comma-separated token of a list-valued field.
template <typename Visit>
void ForEachToken(std::string_view value, Visit visit) {
    while (!value.empty()) {
        const std::size_t comma = value.find(',');
        visit(Trim(value.substr(0, comma)));
        value = comma == std::string_view::npos ? std::string_view() : value.substr(comma + 1);
    }
}

bool ParseRequestLine(std::string_view line, HttpRequest& request, bool& http11) {
    const std::size_t first = line.find(' ');
    const std::size_t last = line.rfind(' ');
    if (first == std::string_view::npos || first == last || first == 0) {
        return false;
    }
    const std::string_view version = line.substr(last + 1);
    if (version != "HTTP/1.1" && version != "HTTP/1.0") {
        return false;
    }
    http11 = version == "HTTP/1.1";
    request.method = line.substr(0, first);
    request.target = line.substr(first + 1, last - first - 1);
    std::string_view target = request.target;
    if (target.starts_with("http://")) {
        const std::size_t slash = target.find('/', 7);
        target = slash == std::string_view::npos ? std::string_view("/") : target.substr(slash);
    }
    if (!target.starts_with('/')) {
        return false;
    }
    const std::size_t question = target.find('?');
    request.path = target.substr(0, question);
    request.query = question == std::string_view::npos ? "" : target.substr(question + 1);
    return true;
}

}  // namespace

RequestHeadResult ParseRequestHead(std::string_view head, HttpRequest& request) {
    request = HttpRequest{};
    bool http11 = true;
    bool sawClose = false;
    bool sawKeepAlive = false;
    bool sawLength = false;
    bool firstLine = true;
    while (!head.empty()) {
        const std::size_t end = head.find('\n');
        std::string_view line = head.substr(0, end);
        head = end == std::string_view::npos ? std::string_view() : head.substr(end + 1);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        if (firstLine) {
            if (!ParseRequestLine(line, request, http11)) {
                return RequestHeadResult::Malformed;
            }
            firstLine = false;
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0) {
            return RequestHeadResult::Malformed;
        }
        const std::string_view name = line.substr(0, colon);
        const std::string_view value = Trim(line.substr(colon + 1));
        if (EqualsNoCase(name, "Connection")) {
            ForEachToken(value, [&](std::string_view token) {
                sawClose |= EqualsNoCase(token, "close");
                sawKeepAlive |= EqualsNoCase(token, "keep-alive");
            });
        } else if (EqualsNoCase(name, "Content-Length")) {
            const std::optional<std::size_t> length = ParseInteger<std::size_t>(value);
            // Two differing lengths could frame the body two ways: refuse both.
            if (!length || (sawLength && *length != request.bodyLength)) {
                return RequestHeadResult::Malformed;
            }
            sawLength = true;
            request.bodyLength = *length;
        } else if (EqualsNoCase(name, "If-None-Match")) {
            request.ifNoneMatch = std::string(value);
        } else if (EqualsNoCase(name, "Transfer-Encoding")) {
            return RequestHeadResult::ChunkedBody;
        }
    }
    if (firstLine) {
        return RequestHeadResult::Malformed;
    }
    request.keepAlive = http11 ? !sawClose : (sawKeepAlive && !sawClose);
    return RequestHeadResult::Ok;
}

}  // namespace tessellon::tileserver
