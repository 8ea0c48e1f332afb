#include "control/map_tiles.h"

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <tuple>

#include "control/source_check.h"
#include "control/start_checks.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "task/md_task.h"
#include "task/tile_layer.h"

namespace tessellon {

namespace {

// A digest that names a source's cache folder: the same template gives the
// same folder in every run. FNV-1a, 64 bits.
std::string Digest(std::string_view text) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (const char c : text) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    }
    char digits[17];
    std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(hash));
    return digits;
}

}  // namespace

MapService MapService::Of(const TaskFields& fields, const Configuration& config) {
    MapService service;
    service.proxy_ = config.ReadProxy();
    service.maxTileBytes_ = config.ReadMaxTileBytes();
    service.source_ = fields.Source;
    if (!fields.Source) {
        const TileLayer* layer = FindTileLayer(&TileLayer::WindowItem, fields.MapsTypeItem);
        // A choice no layer has is taken as the window's first one, as a
        // start takes it.
        service.mapsType_ = layer != nullptr ? layer->MapsType : kMapsTypeSatellite;
        const TileServiceSettings hosts = config.ReadTileService();
        service.host_ = service.mapsType_ == kMapsTypeMap ? hosts.MapHost : hosts.SatelliteHost;
    }
    return service;
}

std::string MapService::TileUrl(const TileKey& key) const {
    if (source_) {
        return source_->TileUrl(key.X, key.Y, key.Zoom);
    }
    const TileLayer* layer = FindTileLayer(&TileLayer::MapsType, mapsType_);
    return LayerTileUrl(*layer, host_, key.X, key.Y, key.Zoom);
}

TileClientSettings MapService::ClientSettings(const TNetTimeLimits& limits) const {
    return {source_, ProxyOf(proxy_), limits, maxTileBytes_, false};
}

std::string MapService::CacheName() const {
    if (source_) {
        return "source-" + Digest(source_->Url().Text());
    }
    return std::string(FindTileLayer(&TileLayer::MapsType, mapsType_)->CliType);
}

std::string MapService::Format() const {
    return TileNamingOf(mapsType_, source_).Extension;
}

std::string MapService::Attribution() const {
    return source_ ? source_->Attribution() : "";
}

int MapService::MinZoom() const {
    return source_ ? source_->MinZoom() : kMinZoom;
}

int MapService::MaxZoom() const {
    return source_ ? source_->MaxZoom() : kMaxZoom;
}

bool MapService::operator==(const MapService& other) const {
    const auto keys = [](const MapService& service) {
        return service.source_ ? service.source_->Keys() : SourceKeys{};
    };
    const auto proxy = [](const MapService& service) {
        const ProxySettings& p = service.proxy_;
        return std::tie(p.UseProxy, p.ProxyServer, p.ProxyPort, p.ProxyUsername, p.ProxyPassword);
    };
    return mapsType_ == other.mapsType_ && host_ == other.host_ &&
           maxTileBytes_ == other.maxTileBytes_ &&
           source_.has_value() == other.source_.has_value() && keys(*this) == keys(other) &&
           proxy(*this) == proxy(other);
}

std::chrono::milliseconds MapService::FetchPause(const Pacing& pace) const {
    return PauseAfterTile(source_, pace) * MapTileFetcher::kFetchers / WorkersOf(source_);
}

std::string MapTileCacheFolder() {
    return UserCacheFolder() + "tessellon/tiles/";
}

std::optional<std::string> OversizeImageReason(std::string_view bytes) {
    const std::optional<ImageSize> size = ClaimedImageSize(bytes);
    if (!size || (size->Width <= kLargestMapTileSide && size->Height <= kLargestMapTileSide)) {
        return std::nullopt;
    }
    return "The image claims " + std::to_string(size->Width) + " x " +
           std::to_string(size->Height) + " pixels, more than a tile has.";
}

MapTileCache::MapTileCache(std::string folder, ImageKind kind, std::size_t memoryBytes)
    : kind_(kind), memoryLimit_(memoryBytes) {
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    name_ = ExtractFileName(folder);
    root_ = ExtractFilePath(folder);
    if (root_.empty()) {
        root_ = "./";
    }
}

std::string MapTileCache::PathOf(const TileKey& key) const {
    return name_ + "/" + std::to_string(key.Zoom) + "/" + std::to_string(key.X) + "/" +
           std::to_string(key.Y);
}

bool MapTileCache::IsTile(const std::string& bytes) const {
    // Vector tiles have no magic to check; an empty file is no tile of any kind.
    return !bytes.empty() && (kind_ == ImageKind::None || DetectImageKind(bytes) == kind_);
}

std::optional<std::string> MapTileCache::Find(const TileKey& key) {
    {
        const std::lock_guard lock(mutex_);
        if (const auto found = index_.find(key); found != index_.end()) {
            recent_.splice(recent_.begin(), recent_, found->second);
            return found->second->second;
        }
    }
    const std::string path = PathOf(key);
    std::string bytes;
    std::string refusal;
    if (ReadFileBelow(root_, path, kDefaultMaxTileBytes, bytes, refusal) != UntrustedRead::Read) {
        return std::nullopt;
    }
    if (!IsTile(bytes) || OversizeImageReason(bytes)) {
        // Only an image under the cache's name is one it wrote.
        if (DetectImageKind(bytes) != ImageKind::None) {
            RemoveFileBelow(root_, path);
        }
        return std::nullopt;
    }
    const std::lock_guard lock(mutex_);
    Remember(key, bytes);
    return bytes;
}

void MapTileCache::Store(const TileKey& key, const std::string& bytes) {
    {
        const std::lock_guard lock(mutex_);
        Remember(key, bytes);
    }
    // A failed write leaves the tile in memory; a later run fetches it again.
    WriteFileBelow(root_, PathOf(key), bytes);
}

void MapTileCache::Remember(const TileKey& key, const std::string& bytes) {
    if (const auto found = index_.find(key); found != index_.end()) {
        memoryBytes_ -= found->second->second.size();
        recent_.erase(found->second);
        index_.erase(found);
    }
    recent_.emplace_front(key, bytes);
    index_[key] = recent_.begin();
    memoryBytes_ += bytes.size();
    // The tile just kept stays, whatever its size.
    while (memoryBytes_ > memoryLimit_ && recent_.size() > 1) {
        memoryBytes_ -= recent_.back().second.size();
        index_.erase(recent_.back().first);
        recent_.pop_back();
    }
}

std::size_t MapTileCache::MemoryBytes() const {
    const std::lock_guard lock(mutex_);
    return memoryBytes_;
}

MapTileFetcher::MapTileFetcher(MapService service, MapTileCache& cache, Delivery deliver,
                               const Pacing& pace, const TNetTimeLimits& limits)
    : service_(std::move(service)),
      cache_(cache),
      deliver_(std::move(deliver)),
      pause_(service_.FetchPause(pace)),
      limits_(limits) {
    if (service_.Source()) {
        backoff_.emplace(SourcePacing(*service_.Source(), pace));
    }
    for (int i = 0; i < kFetchers; ++i) {
        threads_.emplace_back([this] { Run(); });
    }
}

MapTileFetcher::~MapTileFetcher() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    stopFetching_.Request();
    changed_.notify_all();
    for (std::thread& thread : threads_) {
        thread.join();
    }
}

void MapTileFetcher::Request(const TileKey& key) {
    if (std::optional<std::string> bytes = cache_.Find(key)) {
        deliver_({key, std::move(*bytes), ""});
        return;
    }
    {
        const std::lock_guard lock(mutex_);
        if (std::find(waiting_.begin(), waiting_.end(), key) != waiting_.end() ||
            std::find(fetching_.begin(), fetching_.end(), key) != fetching_.end()) {
            return;
        }
        waiting_.push_back(key);
    }
    changed_.notify_one();
}

void MapTileFetcher::Retain(const std::function<bool(const TileKey&)>& wanted) {
    const std::lock_guard lock(mutex_);
    std::erase_if(waiting_, [&](const TileKey& key) { return !wanted(key); });
}

void MapTileFetcher::Run() {
    // Each fetcher keeps its connection from tile to tile.
    TileFetcher fetcher(service_.ClientSettings(limits_), backoff_ ? &*backoff_ : nullptr,
                        stopFetching_);
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
        if (stopping_) {
            return;
        }
        const TileKey key = waiting_.back();
        waiting_.pop_back();
        fetching_.push_back(key);
        lock.unlock();
        const MapTileResult result = Fetch(fetcher, key);
        lock.lock();
        std::erase(fetching_, key);
        lock.unlock();
        deliver_(result);
        lock.lock();
        // The pace holds between fetches; a stop cuts the pause short.
        changed_.wait_for(lock, Pause(), [this] { return stopping_; });
    }
}

std::chrono::milliseconds MapTileFetcher::Pause() const {
    if (!backoff_) {
        return pause_;
    }
    // The service's pause, as the backoff lengthens it, spread as FetchPause
    // spreads the source's own.
    return backoff_->PauseAfterTile() * MapTileFetcher::kFetchers / WorkersOf(service_.Source());
}

MapTileResult MapTileFetcher::Fetch(TileFetcher& fetcher, const TileKey& key) const {
    FetchedTile tile = fetcher.Fetch(service_.TileUrl(key));
    if (!tile.Error.empty()) {
        return {key, "", std::move(tile.Error)};
    }
    if (!tile.NotATile.empty()) {
        return {key, "", std::move(tile.NotATile)};
    }
    if (auto reason = NotATileReason(service_.Format(), tile.Body, tile.ContentType)) {
        return {key, "", std::move(*reason)};
    }
    if (auto reason = OversizeImageReason(tile.Body)) {
        return {key, "", std::move(*reason)};
    }
    cache_.Store(key, tile.Body);
    return {key, std::move(tile.Body), ""};
}

}  // namespace tessellon
