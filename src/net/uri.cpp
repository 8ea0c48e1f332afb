#include "net/uri.h"

#include <algorithm>

namespace tessellon {

namespace {

// A port is a run of decimal digits that fits an int; anything else names
// no port.
int PortFromText(const std::string& text) {
    if (text.empty() || text.size() > 9) {
        return -1;
    }
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return -1;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

}  // namespace

TUri::TUri(std::string url) {
    std::replace(url.begin(), url.end(), '\\', '/');
    // Everything after the first "#" is the bookmark, even when a "/"
    // follows it.
    const std::size_t hash = url.find('#');
    if (hash != std::string::npos) {
        bookmark_ = url.substr(hash + 1);
        url.erase(hash);
    }
    std::string rest = std::move(url);
    const std::size_t schemeEnd = rest.find("://");
    if (schemeEnd != std::string::npos) {
        protocol_ = rest.substr(0, schemeEnd);
        rest.erase(0, schemeEnd + 3);
        const std::size_t slash = rest.find('/');
        std::string hostAndPort = rest.substr(0, slash);
        rest = slash == std::string::npos ? std::string() : rest.substr(slash + 1);
        const std::size_t colon = hostAndPort.find(':');
        host_ = hostAndPort.substr(0, colon);
        if (colon != std::string::npos) {
            port_ = hostAndPort.substr(colon + 1);
        }
    }
    const std::size_t lastSlash = rest.rfind('/');
    if (lastSlash != std::string::npos) {
        path_ = rest.substr(0, lastSlash + 1);
        document_ = rest.substr(lastSlash + 1);
    } else {
        document_ = std::move(rest);
    }
    if (path_.empty() || path_.front() != '/') {
        path_.insert(0, 1, '/');
    }
    portNumber_ = PortFromText(port_);
}

}  // namespace tessellon
