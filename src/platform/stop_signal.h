#pragma once
// A stop request that a sleeping thread notices at once, and what a long job
// throws when it has seen one.

#include <chrono>
#include <condition_variable>
#include <exception>
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

// A job ended by its stop request, having left nothing half made. Not a
// failure: a caller tells it apart from one by its type.
class ECancelled : public std::exception {
public:
    const char* what() const noexcept override { return "Cancelled."; }
};

// Throws ECancelled when `stop` is given and requested.
inline void ThrowIfStopped(const StopSignal* stop) {
    if (stop != nullptr && stop->Requested()) {
        throw ECancelled();
    }
}

}  // namespace tessellon
