#pragma once
// Every pause of a download in one place, all scaled from one length: the
// pause after a tile. The program's pace is a scale of one second; a run
// against a local server (the tests, TESSELLON_PACE_MS) shrinks the scale and
// keeps the ratios between the pauses.

#include <chrono>

namespace tessellon {

struct Pacing {
    static constexpr std::chrono::milliseconds kProgramScale{1000};

    constexpr Pacing() : Pacing(kProgramScale) {}
    constexpr explicit Pacing(std::chrono::milliseconds scale)
        : Second(scale),
          StartOffset(scale / 10),
          AfterTile(scale),
          Retry(scale),
          SocketRetry(2 * scale),
          AddressInUseRetry(8 * scale) {}

    // A second as a server counts it: a Retry-After of N seconds waits N of
    // these.
    std::chrono::milliseconds Second;
    // Between the starts of two workers.
    std::chrono::milliseconds StartOffset;
    // After every tile a worker has saved.
    std::chrono::milliseconds AfterTile;
    // Before retrying most failures.
    std::chrono::milliseconds Retry;
    // Before retrying after a socket error.
    std::chrono::milliseconds SocketRetry;
    // Before retrying when the local address is in use.
    std::chrono::milliseconds AddressInUseRetry;
};

}  // namespace tessellon
