#pragma once
// Every limit of the network client, with its default, in one place. A peer
// that never answers, drips one byte at a time or announces an absurd size
// must not hold a worker or exhaust memory. Tests set short limits; a real
// run uses these defaults.

#include <chrono>
#include <cstddef>

namespace tessellon {

struct TNetTimeLimits {
    // Establishing a connection.
    std::chrono::milliseconds Connect{30'000};
    // Any single wait for data or for room to send.
    std::chrono::milliseconds Idle{30'000};
    // One whole request, redirects included.
    std::chrono::milliseconds Request{120'000};
};

struct THttpReplyLimits {
    // One status, header, chunk-size or trailer line.
    std::size_t MaxLineLength = 64 * 1024;
    // All lines of one reply head (status line and headers), or of one trailer.
    std::size_t MaxHeaderBlock = 1024 * 1024;
    // One reply body, however it is framed.
    std::size_t MaxBodySize = 256 * 1024 * 1024;
};

// One tile body: far beyond any real tile, and small enough that eight
// workers fed endless bodies stay well under 1 GiB.
inline constexpr std::size_t kDefaultMaxTileBytes = 64 * 1024 * 1024;

}  // namespace tessellon
