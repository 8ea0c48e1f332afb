#pragma once
// How a client that fetches tiles is set up from a task's settings: one way
// for a download's workers, the map window, and the check of a tile source.

#include <cstddef>
#include <optional>
#include <string>

#include "net/http_client.h"
#include "net/net_limits.h"
#include "task/tile_source.h"

namespace tessellon {

struct ProxyTexts {
    std::string Server;
    std::string Port;  // as typed: must be a whole number
    std::string Username;
    std::string Password;
};

// Sends the client's requests through the proxy. When the port is not a
// whole number, nothing is set and the message
// "'<port>' is not a valid integer value" comes back.
[[nodiscard]] std::optional<std::string> UseProxy(THttpClient& http, const ProxyTexts& proxy);

// The source's user agent, referer, extra headers and certificate choice.
void UseSource(THttpClient& http, const TileSource& source);

// Everything a client that fetches tiles is set up from.
struct TileClientSettings {
    // None for a built-in layer.
    std::optional<TileSource> Source;
    // None for a direct connection.
    std::optional<ProxyTexts> Proxy;
    TNetTimeLimits TimeLimits;
    // The most bytes one body may have.
    std::size_t MaxTileBytes = kDefaultMaxTileBytes;
    // A tile server that redirects is not serving the tile; a service's
    // description may move.
    bool FollowRedirects = false;
};

// Sets `http` up as `settings` say; the message of UseProxy when the proxy's
// port is not a whole number.
[[nodiscard]] std::optional<std::string> SetUpTileClient(THttpClient& http,
                                                         const TileClientSettings& settings);

}  // namespace tessellon
