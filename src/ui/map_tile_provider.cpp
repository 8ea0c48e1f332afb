#include "map_tile_provider.h"

#include <unordered_set>

#include "download/image_kind.h"

namespace tessellon {

namespace {

// Decoded tiles live in the view; this bounds the bytes kept for a pan back.
constexpr std::size_t kMemoryBytes = 32 * 1024 * 1024;

// Runs where the fetcher delivers: a fetched tile is decoded on a fetcher's
// thread, so a slow service never holds up the window.
TileAnswer Decode(const MapTileResult& result) {
    if (!result.Error.empty()) {
        return {TileLook::Unavailable, {}, QString::fromStdString(result.Error)};
    }
    const QImage image = QImage::fromData(reinterpret_cast<const uchar*>(result.Bytes.data()),
                                          static_cast<int>(result.Bytes.size()));
    if (image.isNull()) {
        return {TileLook::Unavailable, {}, QObject::tr("The service sent no image")};
    }
    return {TileLook::Image, image.convertToFormat(QImage::Format_ARGB32_Premultiplied), {}};
}

}  // namespace

MapTileProvider::MapTileProvider(const MapService& service, const std::string& cacheFolder,
                                 const Pacing& pace, QObject* parent)
    : TileProvider(parent),
      cache_(cacheFolder + service.CacheName() + "/", ImageKindOfFormat(service.Format()),
             kMemoryBytes),
      answers_(
          this,
          [this](const Answers& answers) {
              for (const auto& [key, answer] : answers) {
                  Answer(key, answer);
              }
          },
          [](Answers& answers) { answers.clear(); }) {
    fetcher_ = std::make_unique<MapTileFetcher>(
        service, cache_,
        [this](const MapTileResult& result) {
            TileAnswer answer = Decode(result);
            answers_.Report(
                [&](Answers& answers) { answers.emplace_back(result.Key, std::move(answer)); });
        },
        pace);
}

void MapTileProvider::Want(const std::vector<TileRequest>& tiles) {
    std::unordered_set<TileKey, TileKeyHash> wanted;
    for (const TileRequest& tile : tiles) {
        wanted.insert({tile.Zoom, tile.X, tile.Y});
    }
    fetcher_->Retain([&wanted](const TileKey& key) { return wanted.contains(key); });
    // The fetchers take the newest request first, so the most wanted goes last.
    for (auto tile = tiles.rbegin(); tile != tiles.rend(); ++tile) {
        const TileKey key{tile->Zoom, tile->X, tile->Y};
        sizes_[key] = tile->Size;
        fetcher_->Request(key);
    }
}

void MapTileProvider::Answer(const TileKey& key, const TileAnswer& answer) {
    const auto wanted = sizes_.find(key);
    const int size = wanted == sizes_.end() ? TileView::kTileSize : wanted->second;
    if (wanted != sizes_.end()) {
        sizes_.erase(wanted);
    }
    TileAnswer scaled = answer;
    if (answer.Look == TileLook::Image &&
        (answer.Image.width() > size || answer.Image.height() > size)) {
        scaled.Image =
            answer.Image.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    emit Arrived({key.Zoom, key.X, key.Y, size}, scaled);
}

}  // namespace tessellon
