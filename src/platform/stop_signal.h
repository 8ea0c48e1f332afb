#pragma once
// A stop request that a sleeping thread notices at once, a thread waiting on
// a socket too (through a descriptor that becomes readable with the request),
// and what a long job throws when it has seen one.

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>

namespace tessellon {

class StopSignal {
public:
    StopSignal() = default;
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    void Request();

    bool Requested() const {
        std::lock_guard lock(mutex_);
        return requested_;
    }

    // Sleeps for `duration` or until a stop is requested. True when the sleep
    // was cut short by the request.
    bool SleepFor(std::chrono::milliseconds duration) {
        std::unique_lock lock(mutex_);
        if (duration <= std::chrono::milliseconds::zero()) {
            // No pause (an unpaced source's): no call into the system either.
            return requested_;
        }
        return changed_.wait_for(lock, duration, [&] { return requested_; });
    }

    // A descriptor for poll() that becomes readable, and stays so, once a
    // stop is requested: a wait on a socket watches it beside the socket.
    // Made at the first call, so a signal that no socket waits on costs no
    // descriptor; -1 when the system gives none (waits then end only by
    // their own limits).
    int WakeHandle();

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool requested_ = false;
    int wakeHandle_ = -1;
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
