#pragma once
// The tiles the map window shows: any tile of a service at any zoom, fetched
// the way its download fetches tiles, at most two at a time and no faster
// than the service's pace, and kept in memory (bounded) and on disk, so that
// panning back and a later run never fetch a tile again. Never in bulk: only
// what the window asks for, newest request first, and requests for tiles
// that left the view are dropped before they are fetched.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "control/configuration.h"
#include "control/task_fields.h"
#include "download/image_kind.h"
#include "download/pacing.h"
#include "download/server_backoff.h"
#include "download/tile_fetcher.h"
#include "net/net_limits.h"

namespace tessellon {

struct TileKey {
    int Zoom = 0;
    std::int32_t X = 0;
    std::int32_t Y = 0;

    bool operator==(const TileKey&) const = default;
};

struct TileKeyHash {
    std::size_t operator()(const TileKey& key) const {
        return std::hash<std::uint64_t>()((static_cast<std::uint64_t>(key.Zoom) << 58) ^
                                          (static_cast<std::uint64_t>(key.X) << 29) ^
                                          static_cast<std::uint64_t>(key.Y));
    }
};

// The service a map shows and how its tiles are reached.
class MapService {
public:
    // The service the fields choose: their source, or their built-in layer
    // with the configuration's host; the proxy from the configuration.
    static MapService Of(const TaskFields& fields, const Configuration& config);

    std::string TileUrl(const TileKey& key) const;
    // Names the service's folder in the disk cache: "map", "satellite", or
    // "source-" and a digest of the source's URL template.
    std::string CacheName() const;
    // "png", "jpg", "webp" or "pbf".
    std::string Format() const;
    // Text the service asks to be shown with its tiles; empty when none.
    std::string Attribution() const;
    // The pause after each fetch of one of the two fetchers, so that together
    // they go no faster than a download's workers.
    std::chrono::milliseconds FetchPause(const Pacing& pace) const;

    // The zooms the service has tiles for: its source's, else 1..19.
    int MinZoom() const;
    int MaxZoom() const;

    const std::optional<TileSource>& Source() const { return source_; }
    const ProxySettings& Proxy() const { return proxy_; }
    // How its tiles are fetched: as a download's workers fetch them.
    TileClientSettings ClientSettings(const TNetTimeLimits& limits) const;

    // The same tiles fetched the same way: the same layer from the same
    // host, or a source with the very same keys, through the same proxy. A
    // map window needs a new fetcher only for another service.
    bool operator==(const MapService& other) const;

private:
    std::int32_t mapsType_ = kMapsTypeSatellite;
    std::string host_;
    std::optional<TileSource> source_;
    ProxySettings proxy_;
    std::size_t maxTileBytes_ = kDefaultMaxTileBytes;
};

// UserCacheFolder() + "tessellon/tiles/".
std::string MapTileCacheFolder();

// The widest and tallest image the map window takes from its cache or a
// service: tiles are 256 or 512 pixels, and a larger claim is a decoding
// bomb, not a tile.
inline constexpr std::uint32_t kLargestMapTileSide = 4096;

// Why a tile's bytes are not shown, though an image: it claims more pixels
// than kLargestMapTileSide a side. Nothing when it may be shown.
std::optional<std::string> OversizeImageReason(std::string_view bytes);

// Tiles by key: the most recently used in memory up to a bound, every tile on
// disk as folder/ZOOM/X/Y. Safe to share between threads. The cache's own
// folder and those below it are made, opened and written without following
// a symbolic link, so a link put in their place leads nothing elsewhere.
class MapTileCache {
public:
    // `folder` ends in "/"; made when the first tile is stored.
    MapTileCache(std::string folder, ImageKind kind, std::size_t memoryBytes);

    // From memory, else from disk. A file on disk that is an image, but cut
    // short, of another kind or claiming too many pixels, is one the cache
    // wrote: it is removed and counts as not there, so it is fetched again.
    // Anything else (not an image, a link, too large) counts as not there,
    // and stays: the cache removes only what it wrote.
    std::optional<std::string> Find(const TileKey& key);
    // Kept in memory and written to disk; a failed disk write only loses the
    // disk copy.
    void Store(const TileKey& key, const std::string& bytes);

    std::size_t MemoryBytes() const;

private:
    // Below root_.
    std::string PathOf(const TileKey& key) const;
    bool IsTile(const std::string& bytes) const;
    // Holding the lock.
    void Remember(const TileKey& key, const std::string& bytes);

    // The folder that holds the cache's folder, which is taken as it is, and
    // the cache's folder's name, reached from it without following a link.
    std::string root_;
    std::string name_;
    const ImageKind kind_;
    const std::size_t memoryLimit_;
    mutable std::mutex mutex_;
    // Most recently used first.
    std::list<std::pair<TileKey, std::string>> recent_;
    std::unordered_map<TileKey, decltype(recent_)::iterator, TileKeyHash> index_;
    std::size_t memoryBytes_ = 0;
};

// How one request ended: the tile's bytes, or why there are none.
struct MapTileResult {
    TileKey Key;
    std::string Bytes;
    // Empty when Bytes hold the tile.
    std::string Error;
};

class MapTileFetcher {
public:
    // Called on a fetcher's own thread, never with a lock held.
    using Delivery = std::function<void(const MapTileResult&)>;

    static constexpr int kFetchers = 2;

    MapTileFetcher(MapService service, MapTileCache& cache, Delivery deliver,
                   const Pacing& pace = {}, const TNetTimeLimits& limits = {});
    // Stops the fetchers; a fetch under way ends first.
    ~MapTileFetcher();
    MapTileFetcher(const MapTileFetcher&) = delete;
    MapTileFetcher& operator=(const MapTileFetcher&) = delete;

    // Asks for a tile; a tile the cache holds is delivered at once, on the
    // caller's thread. A tile waiting or being fetched is not asked again.
    void Request(const TileKey& key);
    // Drops the requests not yet fetched that `wanted` turns down.
    void Retain(const std::function<bool(const TileKey&)>& wanted);

private:
    void Run();
    MapTileResult Fetch(TileFetcher& fetcher, const TileKey& key) const;
    // After each fetch of one fetcher: the service's pause, lengthened while
    // its server asks for fewer requests.
    std::chrono::milliseconds Pause() const;

    const MapService service_;
    MapTileCache& cache_;
    const Delivery deliver_;
    const std::chrono::milliseconds pause_;
    const TNetTimeLimits limits_;
    // A source's server slows both fetchers, as it slows a task's workers.
    std::optional<ServerBackoff> backoff_;
    // Cuts a fetch or a wait for the server short when the fetcher goes.
    StopSignal stopFetching_;
    std::mutex mutex_;
    std::condition_variable changed_;
    // Newest last; fetched from the back.
    std::vector<TileKey> waiting_;
    std::vector<TileKey> fetching_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace tessellon
