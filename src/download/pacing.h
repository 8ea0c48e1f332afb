#pragma once
// Every pause of a download in one place. The defaults are the program's
// pace; tests hand in shorter ones.

#include <chrono>

namespace tessellon {

struct Pacing {
    // Between the starts of two workers.
    std::chrono::milliseconds StartOffset{100};
    // After every tile a worker has saved.
    std::chrono::milliseconds AfterTile{1000};
    // Before retrying most failures.
    std::chrono::milliseconds Retry{1000};
    // Before retrying after a socket error.
    std::chrono::milliseconds SocketRetry{2000};
    // Before retrying when the local address is in use.
    std::chrono::milliseconds AddressInUseRetry{8000};
};

}  // namespace tessellon
