#pragma once
// What the server answers to a request before any fault bends it: a
// synthetic tile, a file of a task's image folder, or a fixed body for
// throughput runs; or the error status a real tile service would give. The
// old endpoints and the template paths (template_path.h) reach the same
// tiles: one tile's PNG or JPEG is the same bytes by either way.

#include <cstddef>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "http_request.h"
#include "tile_address.h"

namespace tessellon::tileserver {

struct Payload {
    int status = 200;
    std::string_view reason = "OK";
    std::string_view contentType = "text/plain";
    std::shared_ptr<const std::string> body;
};

// The status line's usual reason phrase for the codes this server sends.
std::string_view ReasonPhrase(int status);

// A status reply with a one-line text body naming the status.
Payload TextPayload(int status);

// The synthetic tile in its layer's encoding (PNG or JPEG).
std::string EncodeSyntheticTile(const TileAddress& tile);

// What a tile of a real service weighs, about.
inline constexpr std::size_t kFastImageBytes = 20480;

// A tile in the layer's encoding that holds at least kFastImageBytes, and
// barely more: a synthetic tile with rows of noise at its foot.
std::string EncodeFastImage(TileLayer layer);

class TileSource {
public:
    // `root`: the image folder to serve from, "" for synthetic tiles.
    // `fixedBodySize`: when set, both endpoints answer that many bytes
    // without looking at the tile keys, and so does every template path
    // that names a tile. `fast`: as fixed, but a PNG or JPEG tile is one
    // real image of about kFastImageBytes, the same for every tile, and the
    // fixed body is kFastImageBytes unless set.
    TileSource(std::string root, std::optional<std::size_t> fixedBodySize, bool fast = false);

    Payload Answer(const HttpRequest& request);

private:
    // The old endpoints, /hx/tl and /ae/ximg, with their query keys.
    Payload AnswerEndpoint(std::string_view query, TileLayer layer);
    // A file of the root folder, or 404.
    Payload FilePayload(const std::string& fileName, std::string_view contentType) const;
    std::shared_ptr<const std::string> SyntheticTile(const TileAddress& tile);

    // The fixed answer for a tile whose format `painted` names the layer of
    // (none: a format without an encoder); null when tiles are not fixed.
    std::shared_ptr<const std::string> FixedBody(std::optional<TileLayer> painted) const;

    std::string root_;
    std::shared_ptr<const std::string> fixedBody_;
    // By layer: the fixed image of --fast; null otherwise.
    std::shared_ptr<const std::string> fastImages_[2];

    // Encoded synthetic tiles, least recently used dropped first.
    struct CacheEntry {
        std::string key;
        std::shared_ptr<const std::string> bytes;
    };
    std::mutex cacheMutex_;
    std::list<CacheEntry> cacheOrder_;
    std::unordered_map<std::string, std::list<CacheEntry>::iterator> cacheIndex_;
    std::size_t cacheBytes_ = 0;
};

}  // namespace tessellon::tileserver
