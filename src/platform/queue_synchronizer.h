#pragma once
// A Synchronizer whose calls wait in a queue until the main thread's loop
// serves them, for front ends without an event loop of their own.

#include <condition_variable>
#include <deque>
#include <mutex>

#include "platform/synchronizer.h"

namespace tessellon {

class QueueSynchronizer : public Synchronizer {
public:
    void Synchronize(const std::function<void()>& method) override;
    void ServePending(std::chrono::milliseconds maxWait) override;

private:
    struct Call {
        const std::function<void()>* method;
        bool done = false;
    };

    std::mutex mutex_;
    std::condition_variable arrived_;
    std::condition_variable served_;
    std::deque<Call*> pending_;
};

}  // namespace tessellon
