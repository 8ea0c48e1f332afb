#include "download/tile_fetcher.h"

#include "download/image_kind.h"
#include "net/net_errors.h"

namespace tessellon {

namespace {

// The engine's messages come in lines ("Socket Error # 11001\r\nHost not
// found."); a fetch's failure is told in one.
std::string OneLine(std::string_view text) {
    std::string line;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        if (end > start) {
            line += (line.empty() ? "" : " ") + std::string(text.substr(start, end - start));
        }
        start = end + 1;
    }
    return line;
}

}  // namespace

std::optional<std::string> RefusedTileBody(const THttpClient& http, std::string_view body,
                                           const std::optional<TileSource>& source) {
    // A plain body that ran until the close may have been cut: only an image
    // that reaches its end is taken.
    if (http.BodyRanUntilClose() && !ImageLooksWhole(body)) {
        return CutImageMessage(body.size());
    }
    if (!source || http.StatusCode() == 304) {
        return std::nullopt;
    }
    return NotATileReason(source->Format(), body, http.Reply().ContentType);
}

TileFetcher::TileFetcher(TileClientSettings settings, ServerBackoff* backoff, StopSignal& stop)
    : settings_(std::move(settings)), backoff_(backoff), stop_(stop) {
    http_.StopOn(stop_);
    setupError_ = SetUpTileClient(http_, settings_);
}

FetchedTile TileFetcher::Fetch(const std::string& url) {
    FetchedTile tile;
    if (setupError_) {
        tile.Error = *setupError_;
        return tile;
    }
    const auto start = std::chrono::steady_clock::now();
    TNetBuffer body;
    for (;;) {
        if (backoff_ != nullptr && WaitForServer(*backoff_, stop_)) {
            tile.Error = ECancelled().what();
            tile.Status = 0;
            break;
        }
        body.Clear();
        tile.Error.clear();
        tile.NotATile.clear();
        tile.Status = 0;
        const auto fetchStarted = std::chrono::steady_clock::now();
        const std::uint64_t receivedBefore = http_.BytesReceived();
        try {
            http_.GetUrl(url, body);
            tile.Status = http_.StatusCode();
            if (auto refusal = RefusedTileBody(http_, body.View(), settings_.Source)) {
                tile.NotATile = std::move(*refusal);
            }
        } catch (const EProtocolReplyError& e) {
            tile.Status = e.ReplyCode();
            std::optional<std::string> line;
            if (backoff_ != nullptr &&
                ServerAsksToWait(*backoff_, e.ReplyCode(),
                                 http_.Reply().ExtraHeaders.ValueOf("Retry-After"), e.what(),
                                 fetchStarted, tile.ServerWaits, line)) {
                continue;
            }
            tile.Error = OneLine(e.what());
        } catch (const std::exception& e) {
            // A reply past its head may still break a limit.
            if (http_.BytesReceived() != receivedBefore) {
                tile.Status = http_.StatusCode();
            }
            tile.Error = OneLine(e.what());
        }
        break;
    }
    tile.Time = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    // The client keeps an earlier reply's status and headers past a fetch
    // that got none.
    if (tile.Status != 0) {
        tile.Body = std::string(body.View());
        tile.ContentType = http_.Reply().ContentType;
    }
    if (backoff_ != nullptr && tile.Error.empty()) {
        backoff_->TileFetched();
    }
    return tile;
}

}  // namespace tessellon
