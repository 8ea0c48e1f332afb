#pragma once
// How the workers of a source task slow down together when the server asks
// them to. A 429 or 503 reply with a usable Retry-After holds every worker
// of the task until the time the server named; a 429 without one doubles
// the task's pause after a tile, which comes back down as tiles pass without
// a 429. Built-in tasks have none of this: their failure table alone decides.

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "download/pacing.h"
#include "net/internet_date.h"
#include "platform/stop_signal.h"

namespace tessellon {

// The longest wait a Retry-After can ask for; a longer one is cut to it.
inline constexpr std::chrono::seconds kLongestServerWait{600};
// Waits one tile may get; the reply after them goes through the failure table.
inline constexpr int kServerWaitsPerTile = 5;
// The bounds of the pause after a tile that 429 replies without Retry-After
// double, in server seconds: it starts from the source's own pause, at least
// the least, and never passes the most.
inline constexpr std::chrono::seconds kLeastRateLimitPause{1};
inline constexpr std::chrono::seconds kMostRateLimitPause{60};
// Tiles in a row without a 429 that halve a doubled pause.
inline constexpr std::int64_t kTilesBeforeEasing = 100;

// The wait a Retry-After value asks for: whole seconds ("120"), or an HTTP
// date counted from `now` (UTC, as ParseInternetDate reads dates), rounded
// up to whole seconds, a date already past being no wait. None for a
// negative or unreadable value, which counts as no Retry-After at all. A
// wait over kLongestServerWait is cut to it.
std::optional<std::chrono::seconds> ParseRetryAfter(std::string_view value, TDateTime now);

// The current time as ParseInternetDate reads dates.
TDateTime UtcNow();

// One per source task, shared by all its workers (which are threads).
class ServerBackoff {
public:
    using Clock = std::chrono::steady_clock;

    // `pace.AfterTile` is the source's pause after a tile and `pace.Second`
    // the length of a server's second.
    explicit ServerBackoff(const Pacing& pace);

    // A 429 or 503 reply to a fetch started at `fetchStarted` asked for
    // `wait`. From now on no worker fetches before the wait is over. Returns
    // the line to log, "Server asks to wait N s (<status text>).", when this
    // starts a new wait: a refusal of a fetch that started before the
    // current wait was set belongs to that wait, which it can only lengthen.
    std::optional<std::string> AskToWait(Clock::time_point fetchStarted, std::chrono::seconds wait,
                                         const std::string& statusText);
    // The time before which no worker may start a fetch.
    Clock::time_point NotBefore() const;

    // A 429 reply without a usable Retry-After: doubles the pause after a tile.
    void TooManyRequests();
    // A tile fetched without a 429 on its way; every kTilesBeforeEasing of
    // them in a row halve the pause, down to the source's own.
    void TileFetched();
    // The pause after a fetched tile.
    std::chrono::milliseconds PauseAfterTile() const;

private:
    const std::chrono::milliseconds sourcePause_;
    const std::chrono::milliseconds second_;
    mutable std::mutex mutex_;
    Clock::time_point notBefore_{};
    Clock::time_point waitSet_{};
    std::chrono::milliseconds pause_;
    std::int64_t tilesWithout429_ = 0;
};

// Whether a fetch the server refused with `status` is to be asked again
// after a wait it named: a 429 or 503 with a usable `retryAfter`, while the
// tile has had fewer than kServerWaitsPerTile waits (`waits` counts them).
// The wait then holds every fetcher of `backoff`, and `line` receives the
// line to log when it is a new one. A 429 without a usable Retry-After
// doubles the pause instead. The same for a download's workers and every
// other fetch from a source.
bool ServerAsksToWait(ServerBackoff& backoff, int status, std::string_view retryAfter,
                      const std::string& statusText, ServerBackoff::Clock::time_point fetchStarted,
                      int& waits, std::optional<std::string>& line);

// Holds the calling fetcher until the wait `backoff` keeps is over (another
// fetcher may lengthen it meanwhile). True when `stop` cut it short.
[[nodiscard]] bool WaitForServer(const ServerBackoff& backoff, StopSignal& stop);

}  // namespace tessellon
