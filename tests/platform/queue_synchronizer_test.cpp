// The queue the workers' calls wait in: the order of waiting and handed-over
// calls, a worker that goes on while its lines wait, the limit that holds it
// back when the main thread falls behind, and a call that throws.

#include "platform/queue_synchronizer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace tessellon {
namespace {

using namespace std::chrono_literals;

TEST(QueueSynchronizer, RunsHandedOverAndWaitingCallsOnTheServingThreadInTheirOrder) {
    QueueSynchronizer sync;
    std::vector<std::string> ran;
    std::vector<std::thread::id> threads;
    std::atomic<bool> finished = false;
    std::thread worker([&] {
        for (int i = 0; i < 100; ++i) {
            sync.Post([&, i] {
                ran.push_back("line " + std::to_string(i));
                threads.push_back(std::this_thread::get_id());
            });
        }
        sync.Synchronize([&] { ran.emplace_back("done"); });
        finished = true;
    });
    while (!finished) {
        sync.ServePending(10ms);
    }
    worker.join();
    ASSERT_EQ(ran.size(), 101U);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(ran[static_cast<std::size_t>(i)], "line " + std::to_string(i));
    }
    EXPECT_EQ(ran.back(), "done");
    for (const std::thread::id id : threads) {
        EXPECT_EQ(id, std::this_thread::get_id());
    }
}

// Up to the limit a worker hands its calls over and goes on with nobody
// serving; one more waits until the main thread has served some, even when
// the queue filled while it was being served.
TEST(QueueSynchronizer, AWorkerWaitsOnlyWhileTheMainThreadIsFarBehind) {
    int rings = 0;
    QueueSynchronizer sync([&] { ++rings; });
    std::atomic<std::size_t> handed = 0;
    std::atomic<int> served = 0;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::thread worker([&] {
        // The first call is served only when the test says so: the rest
        // fill the queue meanwhile.
        sync.Post([&, released] {
            released.wait();
            ++served;
        });
        ++handed;
        for (std::size_t i = 0; i <= QueueSynchronizer::kMaxPosted; ++i) {
            sync.Post([&] { ++served; });
            ++handed;
        }
    });
    std::thread server([&] { sync.ServePending(5s); });
    constexpr std::size_t kFit = QueueSynchronizer::kMaxPosted + 1;
    while (handed < kFit) {
        std::this_thread::sleep_for(1ms);
    }
    std::this_thread::sleep_for(100ms);
    // One call is being served and the limit's worth wait: the last one
    // waits too.
    EXPECT_EQ(handed, kFit);
    release.set_value();
    server.join();
    worker.join();
    sync.ServePending(0ms);
    EXPECT_EQ(served, static_cast<int>(kFit) + 1);
    // Rung for the empty queue only, not for every call.
    EXPECT_LE(rings, 3);
}

// A loop of its own is woken for the first line after a quiet spell, looks
// for more by itself while they keep coming, and is woken at once for a
// waiting call whatever lines wait before it: no call waits for the loop's
// longest wait.
TEST(QueueSynchronizer, ALoopIsNeverLeftAsleepWithCallsWaiting) {
    QueueSynchronizer sync;
    using Clock = std::chrono::steady_clock;
    const auto serve = [&] {
        const auto start = Clock::now();
        sync.ServePending(5s);
        return Clock::now() - start;
    };
    int served = 0;
    std::thread quietThenLine([&] {
        std::this_thread::sleep_for(50ms);
        sync.Post([&] { ++served; });
    });
    EXPECT_LT(serve(), 2s);
    quietThenLine.join();
    EXPECT_EQ(served, 1);
    // Lines came: the next pass looks again soon, with nothing arriving.
    EXPECT_LT(serve(), 2s);
    std::thread lineThenWait([&] {
        sync.Post([&] { ++served; });
        sync.Synchronize([&] { ++served; });
    });
    while (served < 3) {
        ASSERT_LT(serve(), 2s);
    }
    lineThenWait.join();
}

TEST(QueueSynchronizer, ACallThatThrowsReachesTheLoopAndTheCallsBehindItRunNext) {
    QueueSynchronizer sync;
    std::vector<int> ran;
    std::thread worker([&] {
        sync.Post([&] { ran.push_back(1); });
        sync.Post([] { throw std::runtime_error("Unable to write to /x"); });
        sync.Post([&] { ran.push_back(3); });
    });
    worker.join();
    EXPECT_THROW(sync.ServePending(0ms), std::runtime_error);
    EXPECT_EQ(ran, std::vector<int>{1});
    sync.ServePending(0ms);
    EXPECT_EQ(ran, (std::vector<int>{1, 3}));
}

}  // namespace
}  // namespace tessellon
