#include "platform/queue_synchronizer.h"

namespace tessellon {

void QueueSynchronizer::Synchronize(const std::function<void()>& method) {
    Call call{&method};
    {
        const std::lock_guard lock(mutex_);
        pending_.push_back(&call);
    }
    arrived_.notify_one();
    if (queued_) {
        queued_();
    }
    std::unique_lock lock(mutex_);
    served_.wait(lock, [&] { return call.done; });
}

void QueueSynchronizer::ServePending(std::chrono::milliseconds maxWait) {
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, maxWait, [&] { return !pending_.empty(); });
    while (!pending_.empty()) {
        Call* call = pending_.front();
        pending_.pop_front();
        lock.unlock();
        // The caller waits, so its function outlives this call. An exception
        // escaping it belongs to the main thread's loop, after the caller is
        // released.
        try {
            (*call->method)();
        } catch (...) {
            lock.lock();
            call->done = true;
            served_.notify_all();
            throw;
        }
        lock.lock();
        call->done = true;
        served_.notify_all();
    }
}

}  // namespace tessellon
