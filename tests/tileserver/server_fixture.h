#pragma once
// Starting a tile server inside a test: on 127.0.0.1, on a free port, stopped
// when the handle goes.

#include <memory>

#include "tile_server.h"

namespace tessellon::test {

inline std::unique_ptr<tileserver::TileServer> StartServer(
    tileserver::TileServerOptions options = {}) {
    options.port = 0;
    auto server = std::make_unique<tileserver::TileServer>(std::move(options));
    server->Start();
    return server;
}

}  // namespace tessellon::test
