#pragma once
// How a client that fetches tiles is set up from a task's settings: one way
// for the workers and for the check of a tile source.

#include <optional>
#include <string>

#include "net/http_client.h"
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

}  // namespace tessellon
