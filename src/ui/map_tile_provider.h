#pragma once
// Feeds a tile view from a map service: the tiles the view wants are asked
// of a MapTileFetcher (memory and disk cache first, then the service at its
// pace) and answered on the window's thread. A tile that could not be had is
// answered as failed with the reason, which the view shows on hover.

#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "control/map_tiles.h"
#include "report_mailbox.h"
#include "tile_view.h"

namespace tessellon {

class MapTileProvider final : public TileProvider {
    Q_OBJECT

public:
    // Tiles are kept on disk under `cacheFolder` (ending in "/"), in the
    // service's own folder.
    MapTileProvider(const MapService& service, const std::string& cacheFolder, const Pacing& pace,
                    QObject* parent = nullptr);
    void Want(const std::vector<TileRequest>& tiles) override;

private:
    using Answers = std::vector<std::pair<TileKey, TileAnswer>>;

    // On the window's thread.
    void Answer(const TileKey& key, const TileAnswer& answer);

    MapTileCache cache_;
    // The fetchers' answers since the window last took them.
    ReportMailbox<Answers> answers_;
    // The edge each wanted tile is drawn at.
    std::unordered_map<TileKey, int, TileKeyHash> sizes_;
    // Last, so that its threads stop before the cache and the sizes go.
    std::unique_ptr<MapTileFetcher> fetcher_;
};

}  // namespace tessellon
