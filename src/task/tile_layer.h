#pragma once
// The layers a task can download, one row each. A row joins everything that
// tells one layer from another: the main window's choice, the MapsType of the
// project file, the CLI's --type name, the tile file names and the tile URL.
// Code that needs any of these looks the row up by the key it holds instead of
// switching on the layer, so a further layer is one more row. The texts of a
// row are a contract: project files, tile folders and servers depend on them.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "task/task_parameters.h"

namespace tessellon {

// Ids of the main window's "Maps Type" radio buttons.
inline constexpr int kMapItem = 0;
inline constexpr int kSatelliteItem = 1;

struct TileLayer {
    int WindowItem;
    std::string_view WindowLabel;
    std::int32_t MapsType;
    std::string_view CliType;
    // A tile's file is FilePrefix_X_Y_Z.Extension in the task's image folder.
    std::string_view FilePrefix;
    std::string_view Extension;
    // A tile's URL is "http://" + host + PathAndQuery + "x=X&y=ROW&z=ZOOM",
    // the host being the one the task parameters give for this layer.
    std::string TaskParameters::*Host;
    std::string_view PathAndQuery;
};

inline constexpr std::array<TileLayer, 2> kTileLayers = {{
    {kMapItem, "Map", kMapsTypeMap, "map", "yn", "png", &TaskParameters::MapHost,
     "/hx/tl?v=4.3&r=1&"},
    {kSatelliteItem, "Satellite", kMapsTypeSatellite, "satellite", "ys", "jpg",
     &TaskParameters::SatelliteHost, "/ae/ximg?v=1.9&t=a&s=256&r=1&"},
}};

// The row whose `key` equals `value`, or nullptr when no row has it:
// FindTileLayer(&TileLayer::MapsType, 3), FindTileLayer(&TileLayer::CliType, "map").
template <typename Key>
constexpr const TileLayer* FindTileLayer(Key TileLayer::*key,
                                         const std::type_identity_t<Key>& value) {
    for (const TileLayer& layer : kTileLayers) {
        if (layer.*key == value) {
            return &layer;
        }
    }
    return nullptr;
}

}  // namespace tessellon
