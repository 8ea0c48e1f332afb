#pragma once
// A stop request that a sleeping thread notices at once.

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tessellon {

class StopSignal {
public:
    void Request() {
        {
            std::lock_guard lock(mutex_);
            requested_ = true;
        }
        changed_.notify_all();
    }

    bool Requested() const {
        std::lock_guard lock(mutex_);
        return requested_;
    }

    // Sleeps for `duration` or until a stop is requested. True when the sleep
    // was cut short by the request.
    bool SleepFor(std::chrono::milliseconds duration) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, duration, [&] { return requested_; });
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool requested_ = false;
};

}  // namespace tessellon
