#pragma once
// A Synchronizer whose calls wait in a queue until the main thread's loop
// serves them: the command line's own loop, or the window's event loop when
// told of each call.
//
// A loop of its own is woken at once for a waiting call. For handed-over
// calls it is woken when they start to arrive, and while they keep arriving
// it looks for them every kPostedLatency instead: a download's log lines
// then cost the main thread a few wake-ups a second, not one per tile.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "platform/synchronizer.h"

namespace tessellon {

class QueueSynchronizer : public Synchronizer {
public:
    // `queued`, when given, is called on the worker's thread when a call
    // joins an empty queue, before the worker waits; it must not wait for
    // the main thread.
    explicit QueueSynchronizer(std::function<void()> queued = {}) : queued_(std::move(queued)) {}

    void Synchronize(const std::function<void()>& method) override;
    void Post(std::function<void()> method) override;
    void ServePending(std::chrono::milliseconds maxWait) override;

    // How many handed-over calls may wait before the workers handing over
    // more wait too.
    static constexpr std::size_t kMaxPosted = 4096;
    // How long a handed-over call may wait for a loop that looks for them.
    static constexpr std::chrono::milliseconds kPostedLatency{20};

private:
    // A call whose worker waits until it has run, woken alone.
    struct WaitingCall {
        const std::function<void()>* method;
        std::condition_variable served;
        bool done = false;
    };
    // Either a waiting call or one handed over.
    struct Entry {
        WaitingCall* waiting = nullptr;
        std::function<void()> posted;
    };

    // Under the lock: appends and rings when the queue was empty, since a
    // queue that is not is being served or about to be; rings a loop that
    // looks for handed-over calls by itself for a waiting call only.
    void Enqueue(std::unique_lock<std::mutex>& lock, Entry entry);

    const std::function<void()> queued_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    // Handed-over calls fell below the limit.
    std::condition_variable room_;
    std::deque<Entry> pending_;
    std::size_t posted_ = 0;
    std::size_t waiting_ = 0;
    bool postersWait_ = false;
    // The loop served handed-over calls in its last pass and looks for more
    // by itself. Never with `queued_`: the window's loop must be told.
    bool loopLooks_ = false;
};

}  // namespace tessellon
