#include "net/uri.h"

#include <algorithm>

#include "platform/numbers.h"

namespace tessellon {

namespace {

// A port is a run of decimal digits that fits an int; anything else names
// no port.
int PortFromText(std::string_view text) {
    if (text.empty() || text.size() > 9) {
        return -1;
    }
    // Unsigned, so that a sign is refused rather than read.
    const std::optional<std::uint32_t> value = ParseInteger<std::uint32_t>(text);
    return value ? static_cast<int>(*value) : -1;
}

}  // namespace

TUri::TUri(std::string_view url) {
    std::string slashes;
    if (url.find('\\') != std::string_view::npos) {
        slashes.assign(url);
        std::replace(slashes.begin(), slashes.end(), '\\', '/');
        url = slashes;
    }
    // Everything after the first "#" is the bookmark, even when a "/"
    // follows it.
    const std::size_t hash = url.find('#');
    if (hash != std::string_view::npos) {
        bookmark_ = url.substr(hash + 1);
        url = url.substr(0, hash);
    }
    std::string_view rest = url;
    const std::size_t schemeEnd = rest.find("://");
    if (schemeEnd != std::string_view::npos) {
        protocol_ = rest.substr(0, schemeEnd);
        rest.remove_prefix(schemeEnd + 3);
        const std::size_t slash = rest.find('/');
        const std::string_view hostAndPort = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        const std::size_t colon = hostAndPort.find(':');
        host_ = hostAndPort.substr(0, colon);
        if (colon != std::string_view::npos) {
            port_ = hostAndPort.substr(colon + 1);
        }
    }
    const std::size_t lastSlash = rest.rfind('/');
    std::string_view path;
    if (lastSlash != std::string_view::npos) {
        path = rest.substr(0, lastSlash + 1);
        document_ = rest.substr(lastSlash + 1);
    } else {
        document_ = rest;
    }
    if (path.empty() || path.front() != '/') {
        path_.push_back('/');
    }
    path_ += path;
    portNumber_ = PortFromText(port_);
}

}  // namespace tessellon
