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
#include "net/net_limits.h"
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
    bool Passed = false;
};

// One tile fetched as a download fetches it.
struct FetchedTile {
    // 0 when no reply came.
    int Status = 0;
    std::chrono::milliseconds Time{0};
    std::string Body;
    std::string ContentType;
    // Why the fetch failed, in one line; empty when a 2xx reply came.
    std::string Error;
};

// Fetches `url` with the user agent, referer, extra headers and certificate
// choice of `source` (none for a built-in layer), through the proxy when
// `proxy` asks for one. A body longer than `maxBodyBytes` fails the fetch;
// redirects are followed only when asked (a tile server that redirects is
// not serving the tile).
FetchedTile FetchOneTile(const std::string& url, const std::optional<TileSource>& source,
                         const ProxySettings& proxy, const TNetTimeLimits& limits,
                         std::size_t maxBodyBytes = kDefaultMaxTileBytes,
                         bool followRedirects = false);

// "sources.ini" of the running program, as SettingsFileIn places it.
std::string DefaultSourcesFileName();

// Fetches tile 0/0 at the source's MinZoom as its download would: its user
// agent, referer, extra headers and certificate choice, through the proxy
// when `proxy` asks for one. Passes on a 2xx reply whose body is an image of
// the source's kind (any body for "pbf") of at most `maxTileBytes`, the
// bound a download's workers keep.
SourceCheck CheckSource(const TileSource& source, const ProxySettings& proxy,
                        const TNetTimeLimits& limits = {},
                        std::size_t maxTileBytes = kDefaultMaxTileBytes);

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
