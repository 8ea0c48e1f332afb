#include "download/server_backoff.h"

#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <thread>
#include <vector>

namespace tessellon {
namespace {

using namespace std::chrono_literals;
using Clock = ServerBackoff::Clock;

TEST(ParseRetryAfter, ReadsSecondsAndDatesAndRefusesTheRest) {
    const TDateTime now = *ParseInternetDate("Sun, 06 Nov 1994 08:49:37 GMT");
    struct Case {
        const char* value;
        std::optional<std::chrono::seconds> wait;
    };
    const Case cases[] = {
        {"120", 120s},
        {" 7\t", 7s},
        {"0", 0s},  // no wait, yet still the server's answer
        {"600", 600s},
        {"601", 600s},
        {"99999999999999999999999999", 600s},
        {"-5", std::nullopt},
        {"1.5", std::nullopt},
        {"soon", std::nullopt},
        {"", std::nullopt},
        {"Sun, 06 Nov 1994 08:50:07 GMT", 30s},
        {"Sunday, 06-Nov-94 08:50:07 GMT", 30s},
        {"Sun, 06 Nov 1994 09:49:37 +0100", 0s},  // the same moment as now
        {"Sun, 06 Nov 1994 08:00:00 GMT", 0s},    // already past
        {"Mon, 07 Nov 1994 08:49:37 GMT", 600s},
        {"Sun, 06 Nov", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseRetryAfter(c.value, now), c.wait) << '"' << c.value << '"';
    }
    // A date between whole seconds of the clock still waits until it.
    EXPECT_EQ(ParseRetryAfter("Sun, 06 Nov 1994 08:49:40 GMT", now + 0.5 / 86400), 3s);
}

TEST(ParseRetryAfter, CountsADateFromTheClockNow) {
    const std::time_t in90 = std::time(nullptr) + 90;
    std::tm utc{};
    ::gmtime_r(&in90, &utc);
    char date[64];
    std::strftime(date, sizeof date, "%d %b %Y %H:%M:%S GMT", &utc);
    const std::optional<std::chrono::seconds> wait = ParseRetryAfter(date, UtcNow());
    ASSERT_TRUE(wait);
    EXPECT_GE(*wait, 88s);
    EXPECT_LE(*wait, 90s);
}

class Backoff : public ::testing::Test {
protected:
    static Pacing Pace(std::chrono::milliseconds sourcePause) {
        Pacing pace(10ms);
        pace.AfterTile = sourcePause;
        return pace;
    }
};

TEST_F(Backoff, TooManyRequestsDoublesThePauseFromTheLeastUpToTheMost) {
    ServerBackoff unpaced(Pace(0ms));
    EXPECT_EQ(unpaced.PauseAfterTile(), 0ms);
    std::vector<std::chrono::milliseconds> pauses;
    for (int i = 0; i < 8; ++i) {
        unpaced.TooManyRequests();
        pauses.push_back(unpaced.PauseAfterTile());
    }
    // Server seconds of 10 ms: 1 s, 2 s, ... up to 60 s.
    EXPECT_EQ(pauses, (std::vector<std::chrono::milliseconds>{10ms, 20ms, 40ms, 80ms, 160ms, 320ms,
                                                              600ms, 600ms}));

    ServerBackoff paced(Pace(30ms));
    paced.TooManyRequests();
    EXPECT_EQ(paced.PauseAfterTile(), 60ms);
}

TEST_F(Backoff, EveryHundredCleanTilesHalveThePauseBackToTheSources) {
    ServerBackoff backoff(Pace(15ms));
    for (int i = 0; i < 3; ++i) {
        backoff.TooManyRequests();  // 30, 60, 120 ms
    }
    const auto cleanTiles = [&](int count) {
        for (int i = 0; i < count; ++i) {
            backoff.TileFetched();
        }
        return backoff.PauseAfterTile();
    };
    EXPECT_EQ(cleanTiles(99), 120ms);
    EXPECT_EQ(cleanTiles(1), 60ms);
    // A 429 starts the count again and doubles once more.
    EXPECT_EQ(cleanTiles(50), 60ms);
    backoff.TooManyRequests();
    EXPECT_EQ(cleanTiles(99), 120ms);
    EXPECT_EQ(cleanTiles(1), 60ms);
    EXPECT_EQ(cleanTiles(100), 30ms);
    EXPECT_EQ(cleanTiles(100), 15ms);
    EXPECT_EQ(cleanTiles(300), 15ms);

    // Halving below the least doubled pause goes straight to the source's.
    ServerBackoff unpaced(Pace(0ms));
    unpaced.TooManyRequests();
    unpaced.TooManyRequests();
    EXPECT_EQ(unpaced.PauseAfterTile(), 20ms);
    for (int i = 0; i < 100; ++i) {
        unpaced.TileFetched();
    }
    EXPECT_EQ(unpaced.PauseAfterTile(), 10ms);
    for (int i = 0; i < 100; ++i) {
        unpaced.TileFetched();
    }
    EXPECT_EQ(unpaced.PauseAfterTile(), 0ms);
}

TEST_F(Backoff, AWaitHoldsFetchesAndIsLoggedOncePerWait) {
    ServerBackoff backoff(Pace(0ms));
    EXPECT_LE(backoff.NotBefore(), Clock::now());

    const Clock::time_point before = Clock::now();
    EXPECT_EQ(backoff.AskToWait(before, 30s, "429 Too Many Requests"),
              "Server asks to wait 30 s (429 Too Many Requests).");
    const Clock::time_point held = backoff.NotBefore();
    EXPECT_GE(held, before + 300ms);
    EXPECT_LE(held, Clock::now() + 300ms);

    // A fetch that was already under way when the wait was set belongs to it:
    // no second line, and it can lengthen the wait but never shorten it.
    EXPECT_EQ(backoff.AskToWait(before, 1s, "503 Service Unavailable"), std::nullopt);
    EXPECT_EQ(backoff.NotBefore(), held);
    EXPECT_EQ(backoff.AskToWait(before, 50s, "429 Too Many Requests"), std::nullopt);
    EXPECT_GE(backoff.NotBefore(), held + 200ms);

    // A fetch started after it is a new refusal.
    EXPECT_EQ(backoff.AskToWait(Clock::now(), 0s, "503 Service Unavailable"),
              "Server asks to wait 0 s (503 Service Unavailable).");
}

TEST_F(Backoff, WorkersRefusedTogetherLogTheWaitOnce) {
    ServerBackoff backoff(Pace(1ms));
    const Clock::time_point fetchesStarted = Clock::now();
    std::atomic<int> lines{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> workers;
    for (int i = 0; i < 8; ++i) {
        workers.emplace_back([&, i] {
            while (!go) {
                std::this_thread::yield();
            }
            for (int tile = 0; tile < 200; ++tile) {
                if (backoff.AskToWait(fetchesStarted, std::chrono::seconds(i), "429 Slow down")) {
                    ++lines;
                }
                backoff.TooManyRequests();
                backoff.TileFetched();
            }
        });
    }
    go = true;
    for (std::thread& worker : workers) {
        worker.join();
    }
    EXPECT_EQ(lines, 1);
    EXPECT_GE(backoff.NotBefore(), fetchesStarted + 70ms);
    EXPECT_EQ(backoff.PauseAfterTile(), 600ms);
}

}  // namespace
}  // namespace tessellon
