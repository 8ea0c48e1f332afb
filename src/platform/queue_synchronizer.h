#pragma once
// A Synchronizer whose calls wait in a queue until the main thread's loop
// serves them: the command line's own loop, or the window's event loop when
// told of each call.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "platform/synchronizer.h"

namespace tessellon {

class QueueSynchronizer : public Synchronizer {
public:
    // `queued`, when given, is called on the worker's thread after each call
    // joins the queue, before the worker waits; it must not wait for the
    // main thread.
    explicit QueueSynchronizer(std::function<void()> queued = {}) : queued_(std::move(queued)) {}

    void Synchronize(const std::function<void()>& method) override;
    void ServePending(std::chrono::milliseconds maxWait) override;

private:
    struct Call {
        const std::function<void()>* method;
        bool done = false;
    };

    const std::function<void()> queued_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::condition_variable served_;
    std::deque<Call*> pending_;
};

}  // namespace tessellon
