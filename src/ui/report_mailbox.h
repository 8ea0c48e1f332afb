#pragma once
// The reports a worker thread hands to a window. The thread changes them
// under a lock and never waits for the window; the first change after a take
// calls `notify` (which queues the take on the window's thread), and that one
// notification stands for every change until the take.

#include <functional>
#include <mutex>
#include <utility>

namespace tessellon {

template <typename Reports>
class ReportMailbox {
public:
    explicit ReportMailbox(std::function<void()> notify) : notify_(std::move(notify)) {}

    template <typename Change>
    void Report(Change change) {
        std::lock_guard lock(mutex_);
        change(reports_);
        if (!notified_) {
            notified_ = true;
            notify_();
        }
    }

    // The reports as they stand; `afterTake` then clears what is handed over
    // once, such as lines.
    template <typename AfterTake>
    Reports Take(AfterTake afterTake) {
        std::lock_guard lock(mutex_);
        Reports taken = reports_;
        afterTake(reports_);
        notified_ = false;
        return taken;
    }

private:
    std::function<void()> notify_;
    std::mutex mutex_;
    Reports reports_;
    bool notified_ = false;
};

}  // namespace tessellon
