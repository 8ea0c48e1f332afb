#pragma once
// Tiles fetched one after another the way a download's workers fetch them,
// for everything that is not a download: the map window, a source's check
// and its test in the Tile sources window. One client kept alive between
// fetches, the body bounded by MaxTileBytes, a source's server waited for
// when it asks (Retry-After) and slowed for after a 429, and a body that is
// not a whole tile of the source's kind refused.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "download/client_setup.h"
#include "download/server_backoff.h"
#include "net/http_client.h"
#include "platform/stop_signal.h"

namespace tessellon {

// Why a 2xx reply's body is no tile a worker keeps: an image cut short by a
// close, or for a source, a body that is not an image of its kind; nothing
// when it is one (a 304 keeps the tile the request named).
std::optional<std::string> RefusedTileBody(const THttpClient& http, std::string_view body,
                                           const std::optional<TileSource>& source);

// What one fetch gave.
struct FetchedTile {
    // Of the last reply; 0 when no reply came.
    int Status = 0;
    // From the first request to the end, waits included.
    std::chrono::milliseconds Time{0};
    std::string Body;
    std::string ContentType;
    // Why the fetch failed, in one line; empty when a 2xx reply came.
    std::string Error;
    // Why the 2xx reply's body is no tile (RefusedTileBody); empty when it
    // is one.
    std::string NotATile;
    // Waits the server asked for before this reply.
    int ServerWaits = 0;
};

class TileFetcher {
public:
    // `backoff` holds the fetchers of one source together, as it holds a
    // task's workers; none for a built-in layer, whose replies go as they
    // come. `stop` cuts a wait or a fetch short.
    TileFetcher(TileClientSettings settings, ServerBackoff* backoff, StopSignal& stop);

    // Fetches `url` on the kept connection when there is one.
    FetchedTile Fetch(const std::string& url);

private:
    const TileClientSettings settings_;
    ServerBackoff* const backoff_;
    StopSignal& stop_;
    THttpClient http_;
    // Set when the settings cannot be used; every fetch fails with it.
    std::optional<std::string> setupError_;
};

}  // namespace tessellon
