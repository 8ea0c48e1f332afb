#include "download/server_backoff.h"

#include <algorithm>
#include <cmath>

#include "platform/numbers.h"

namespace tessellon {

namespace {

constexpr double kSecondsPerDay = 86400.0;
// 1970-01-01 as a day number counted from 1899-12-30.
constexpr double kUnixEpochDay = 25569.0;

std::string_view Trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace

std::optional<std::chrono::seconds> ParseRetryAfter(std::string_view value, TDateTime now) {
    value = Trimmed(value);
    if (value.empty()) {
        return std::nullopt;
    }
    if (std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        // Digits too many for any integer ask for far more than the cap.
        const std::optional<std::uint64_t> seconds = ParseInteger<std::uint64_t>(value);
        if (!seconds || *seconds > static_cast<std::uint64_t>(kLongestServerWait.count())) {
            return kLongestServerWait;
        }
        return std::chrono::seconds(*seconds);
    }
    const std::optional<TDateTime> date = ParseInternetDate(value);
    if (!date) {
        return std::nullopt;
    }
    // Day fractions carry rounding noise far below a millisecond, which
    // must not tip a whole second over to the next.
    const double ahead = std::ceil((*date - now) * kSecondsPerDay - 0.001);
    return std::chrono::seconds(
        static_cast<std::int64_t>(std::clamp(ahead, 0.0, double(kLongestServerWait.count()))));
}

TDateTime UtcNow() {
    const std::chrono::duration<double> sinceEpoch =
        std::chrono::system_clock::now().time_since_epoch();
    return kUnixEpochDay + sinceEpoch.count() / kSecondsPerDay;
}

ServerBackoff::ServerBackoff(const Pacing& pace)
    : sourcePause_(pace.AfterTile), second_(pace.Second), pause_(pace.AfterTile) {}

std::optional<std::string> ServerBackoff::AskToWait(Clock::time_point fetchStarted,
                                                    std::chrono::seconds wait,
                                                    const std::string& statusText) {
    const Clock::time_point now = Clock::now();
    const Clock::time_point end = now + wait.count() * second_;
    const std::lock_guard<std::mutex> lock(mutex_);
    tilesWithout429_ = 0;
    const bool sameWait = fetchStarted < waitSet_;
    notBefore_ = std::max(notBefore_, end);
    if (sameWait) {
        return std::nullopt;
    }
    waitSet_ = now;
    return "Server asks to wait " + std::to_string(wait.count()) + " s (" + statusText + ").";
}

ServerBackoff::Clock::time_point ServerBackoff::NotBefore() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return notBefore_;
}

void ServerBackoff::TooManyRequests() {
    const std::lock_guard<std::mutex> lock(mutex_);
    tilesWithout429_ = 0;
    pause_ = std::clamp<std::chrono::milliseconds>(
        2 * pause_, kLeastRateLimitPause.count() * second_, kMostRateLimitPause.count() * second_);
}

void ServerBackoff::TileFetched() {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (++tilesWithout429_ < kTilesBeforeEasing || pause_ == sourcePause_) {
        return;
    }
    tilesWithout429_ = 0;
    // Below the least doubled pause, the source's own pause takes over again.
    pause_ /= 2;
    if (pause_ < std::max(sourcePause_, kLeastRateLimitPause.count() * second_)) {
        pause_ = sourcePause_;
    }
}

std::chrono::milliseconds ServerBackoff::PauseAfterTile() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return pause_;
}

bool ServerAsksToWait(ServerBackoff& backoff, int status, std::string_view retryAfter,
                      const std::string& statusText, ServerBackoff::Clock::time_point fetchStarted,
                      int& waits, std::optional<std::string>& line) {
    line.reset();
    if (status != 429 && status != 503) {
        return false;
    }
    const std::optional<std::chrono::seconds> wait = ParseRetryAfter(retryAfter, UtcNow());
    if (!wait) {
        if (status == 429) {
            backoff.TooManyRequests();
        }
        return false;
    }
    if (waits == kServerWaitsPerTile) {
        return false;
    }
    ++waits;
    line = backoff.AskToWait(fetchStarted, *wait, statusText);
    return true;
}

bool WaitForServer(const ServerBackoff& backoff, StopSignal& stop) {
    for (;;) {
        const auto now = ServerBackoff::Clock::now();
        const auto notBefore = backoff.NotBefore();
        if (notBefore <= now) {
            return false;
        }
        if (stop.SleepFor(std::chrono::ceil<std::chrono::milliseconds>(notBefore - now))) {
            return true;
        }
    }
}

}  // namespace tessellon
