#include "tile_source.h"

#include "platform/files.h"
#include "template_path.h"
#include "tile_painter.h"

namespace tessellon::tileserver {

namespace {

constexpr std::size_t kCacheLimitBytes = 64 * 1024 * 1024;
constexpr int kJpegQuality = 85;

}  // namespace

std::string_view ReasonPhrase(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 204:
            return "No Content";
        case 302:
            return "Found";
        case 304:
            return "Not Modified";
        case 400:
            return "Bad Request";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 411:
            return "Length Required";
        case 429:
            return "Too Many Requests";
        case 431:
            return "Request Header Fields Too Large";
        case 500:
            return "Internal Server Error";
        case 503:
            return "Service Unavailable";
        default:
            return "Unknown";
    }
}

Payload TextPayload(int status) {
    const std::string_view reason = ReasonPhrase(status);
    return {status, reason, "text/plain",
            std::make_shared<const std::string>(std::to_string(status) + " " + std::string(reason) +
                                                "\n")};
}

std::string EncodeSyntheticTile(const TileAddress& tile) {
    const RgbImage image = PaintTile(tile);
    return tile.layer == TileLayer::Map ? EncodePng(image) : EncodeJpeg(image, kJpegQuality);
}

std::string EncodeFastImage(TileLayer layer) {
    const RgbImage tile = PaintTile({layer, 0, 0, 1});
    const auto encode = [&](int noisyRows) {
        RgbImage image = tile;
        std::uint32_t state = 1;
        for (int y = kTileSize - noisyRows; y < kTileSize; ++y) {
            for (int x = 0; x < kTileSize; ++x) {
                state = state * 1664525 + 1013904223;
                image.Set(
                    x, y,
                    {static_cast<std::uint8_t>(state >> 24), static_cast<std::uint8_t>(state >> 16),
                     static_cast<std::uint8_t>(state >> 8)});
            }
        }
        return layer == TileLayer::Map ? EncodePng(image) : EncodeJpeg(image, kJpegQuality);
    };
    // The fewest rows of noise that bring the encoding to the size.
    int fewest = 0;
    int most = kTileSize;
    while (fewest < most) {
        const int middle = (fewest + most) / 2;
        if (encode(middle).size() >= kFastImageBytes) {
            most = middle;
        } else {
            fewest = middle + 1;
        }
    }
    return encode(fewest);
}

TileSource::TileSource(std::string root, std::optional<std::size_t> fixedBodySize, bool fast)
    : root_(std::move(root)) {
    if (fast) {
        for (const TileLayer layer : {TileLayer::Map, TileLayer::Satellite}) {
            fastImages_[static_cast<int>(layer)] =
                std::make_shared<const std::string>(EncodeFastImage(layer));
        }
        fixedBodySize = fixedBodySize.value_or(kFastImageBytes);
    }
    if (fixedBodySize) {
        std::string body(*fixedBodySize, '\0');
        for (std::size_t i = 0; i < body.size(); ++i) {
            body[i] = static_cast<char>('a' + i % 26);
        }
        fixedBody_ = std::make_shared<const std::string>(std::move(body));
    }
}

Payload TileSource::Answer(const HttpRequest& request) {
    TileLayer layer;
    if (LayerForPath(request.path, layer)) {
        return AnswerEndpoint(request.query, layer);
    }
    TemplateTile tile;
    switch (ParseTemplateRequest(request.path, request.query, tile)) {
        case TemplateResult::NotFound:
            return TextPayload(404);
        case TemplateResult::BadRequest:
            return TextPayload(400);
        case TemplateResult::Ok:
            break;
    }
    const std::string_view contentType = tile.format->contentType;
    if (auto body = FixedBody(tile.format->painted)) {
        return {200, "OK", contentType, std::move(body)};
    }
    if (!root_.empty()) {
        return FilePayload(TemplateFileName(tile), contentType);
    }
    if (!tile.format->painted) {
        return TextPayload(404);  // no encoder for it
    }
    return {200, "OK", contentType,
            SyntheticTile({*tile.format->painted, tile.x, tile.y, tile.zoom})};
}

Payload TileSource::AnswerEndpoint(std::string_view query, TileLayer layer) {
    const std::string_view contentType = ContentTypeOf(layer);
    if (auto body = FixedBody(layer)) {
        return {200, "OK", contentType, std::move(body)};
    }
    TileAddress tile;
    switch (ParseTileQuery(query, layer, tile)) {
        case TileQueryResult::Malformed:
            return TextPayload(400);
        case TileQueryResult::OutOfRange:
            return TextPayload(404);
        case TileQueryResult::Ok:
            break;
    }
    if (root_.empty()) {
        return {200, "OK", contentType, SyntheticTile(tile)};
    }
    return FilePayload(TileFileName(tile), contentType);
}

std::shared_ptr<const std::string> TileSource::FixedBody(std::optional<TileLayer> painted) const {
    if (painted && fastImages_[static_cast<int>(*painted)]) {
        return fastImages_[static_cast<int>(*painted)];
    }
    return fixedBody_;
}

Payload TileSource::FilePayload(const std::string& fileName, std::string_view contentType) const {
    const std::string path = root_ + fileName;
    if (!FileExists(path)) {
        return TextPayload(404);
    }
    try {
        return {200, "OK", contentType, std::make_shared<const std::string>(ReadFileBytes(path))};
    } catch (const EFileError&) {
        return TextPayload(404);  // removed or unreadable since the check
    }
}

std::shared_ptr<const std::string> TileSource::SyntheticTile(const TileAddress& tile) {
    const std::string key = TileFileName(tile);
    {
        std::lock_guard lock(cacheMutex_);
        const auto found = cacheIndex_.find(key);
        if (found != cacheIndex_.end()) {
            cacheOrder_.splice(cacheOrder_.begin(), cacheOrder_, found->second);
            return found->second->bytes;
        }
    }
    // Encoding runs unlocked; two threads asking for one new tile at once
    // both encode it, and the bytes are the same.
    auto bytes = std::make_shared<const std::string>(EncodeSyntheticTile(tile));
    std::lock_guard lock(cacheMutex_);
    if (cacheIndex_.count(key) == 0) {
        cacheOrder_.push_front({key, bytes});
        cacheIndex_[key] = cacheOrder_.begin();
        cacheBytes_ += bytes->size();
        while (cacheBytes_ > kCacheLimitBytes) {
            cacheBytes_ -= cacheOrder_.back().bytes->size();
            cacheIndex_.erase(cacheOrder_.back().key);
            cacheOrder_.pop_back();
        }
    }
    return bytes;
}

}  // namespace tessellon::tileserver
