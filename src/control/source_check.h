#pragma once
// The sources file as the command line shows it: a line for each source, the
// reason for each source refused, and on request one tile fetched from each
// source, so a user sees that a service answers with images of the source's
// kind before a download counts on it.

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "control/configuration.h"
#include "download/image_kind.h"
#include "download/pacing.h"
#include "download/tile_fetcher.h"
#include "net/net_limits.h"
#include "platform/stop_signal.h"
#include "task/tile_source.h"

namespace tessellon {

// What fetching a source's first tile gave.
struct SourceCheck {
    // The tile asked for: x = y = 0 at the source's least zoom.
    int Zoom = 0;
    std::string Url;
    // 0 when no reply came.
    int Status = 0;
    std::chrono::milliseconds Time{0};
    std::size_t Bytes = 0;
    // The reply's body, for a window that shows the tile.
    std::string Body;
    std::string ContentType;
    ImageKind Kind = ImageKind::None;
    // Why the fetch failed; empty when a 2xx reply came.
    std::string Error;
    // Why a 2xx reply's body is no tile; empty when it is one.
    std::string NotATile;
    // Waits the server asked for before it answered.
    int ServerWaits = 0;
    bool Passed = false;
};

// The proxy a client of the settings goes through; none when they ask for
// a direct connection.
std::optional<ProxyTexts> ProxyOf(const ProxySettings& proxy);

// A pace for fetches outside a download: the source's own pause after a
// tile at the program's scale (or `pace`'s), to start a ServerBackoff from.
Pacing SourcePacing(const TileSource& source, const Pacing& pace = {});

// Fetches `url` once, as a download's worker would: with the user agent,
// referer, extra headers and certificate choice of `source` (none for a
// built-in layer or a service's description), through the proxy when `proxy`
// asks for one, waiting when the source's server asks to (Retry-After), and
// refusing a body longer than `maxBodyBytes` or, for a source, one that is
// not a whole tile of its kind. Redirects are followed only when asked (a
// tile server that redirects is not serving the tile). `stop` cuts it short.
FetchedTile FetchOneTile(const std::string& url, const std::optional<TileSource>& source,
                         const ProxySettings& proxy, const TNetTimeLimits& limits,
                         std::size_t maxBodyBytes = kDefaultMaxTileBytes,
                         bool followRedirects = false, const Pacing& pace = {},
                         StopSignal* stop = nullptr);

// "sources.ini" of the running program, as SettingsFileIn places it.
std::string DefaultSourcesFileName();

// Fetches tile 0/0 at the source's MinZoom as its download would (see
// FetchOneTile). Passes on a 2xx reply whose body is an image of the
// source's kind (any body for "pbf") of at most `maxTileBytes`, the bound a
// download's workers keep.
SourceCheck CheckSource(const TileSource& source, const ProxySettings& proxy,
                        const TNetTimeLimits& limits = {},
                        std::size_t maxTileBytes = kDefaultMaxTileBytes, const Pacing& pace = {},
                        StopSignal* stop = nullptr);

// "Topo: https://{s}.example.org/{z}/{x}/{y}.png, zooms 1-19, workers 2, pause 1000 ms"
std::string DescribeSource(const TileSource& source);
// "  check 1/0/0: ok, HTTP 200, 12 ms, 1234 bytes, PNG"
std::string DescribeCheck(const SourceCheck& check, const TileSource& source);

struct SourcesListing {
    std::string SourcesFileName;
    // The catalogue whose sources follow the file's; empty for none.
    std::string CatalogueFileName;
    // Gives the version of the default user agent and the proxy.
    std::string ConfigFileName;
    bool Check = false;
    TNetTimeLimits TimeLimits;
    // Scales the waits a server asks for.
    Pacing Pace;
};

enum class SourcesVerdict {
    AllGood,
    // The file could not be read, or a source in it was refused.
    Refused,
    // Every source was read, and a check failed.
    CheckFailed,
};

// Writes each line as soon as it is known (a check may take a while):
// descriptions and checks to `out`, the parser's messages to `errors`.
SourcesVerdict ListSources(const SourcesListing& listing,
                           const std::function<void(const std::string&)>& out,
                           const std::function<void(const std::string&)>& errors);

}  // namespace tessellon
