#include "platform/queue_synchronizer.h"

#include <algorithm>

namespace tessellon {

void QueueSynchronizer::Enqueue(std::unique_lock<std::mutex>& lock, Entry entry) {
    const bool wasEmpty = pending_.empty();
    const bool waiting = entry.waiting != nullptr;
    pending_.push_back(std::move(entry));
    if (loopLooks_ ? !waiting : !wasEmpty) {
        return;
    }
    lock.unlock();
    arrived_.notify_one();
    if (queued_ && wasEmpty) {
        queued_();
    }
    lock.lock();
}

void QueueSynchronizer::Synchronize(const std::function<void()>& method) {
    WaitingCall call{.method = &method, .served = {}, .done = false};
    std::unique_lock lock(mutex_);
    ++waiting_;
    Enqueue(lock, {&call, {}});
    call.served.wait(lock, [&] { return call.done; });
}

void QueueSynchronizer::Post(std::function<void()> method) {
    std::unique_lock lock(mutex_);
    if (posted_ >= kMaxPosted) {
        postersWait_ = true;
        room_.wait(lock, [&] { return posted_ < kMaxPosted; });
    }
    ++posted_;
    Enqueue(lock, {nullptr, std::move(method)});
}

void QueueSynchronizer::ServePending(std::chrono::milliseconds maxWait) {
    std::unique_lock lock(mutex_);
    if (loopLooks_) {
        arrived_.wait_for(lock, std::min(maxWait, kPostedLatency), [&] { return waiting_ > 0; });
    } else {
        arrived_.wait_for(lock, maxWait, [&] { return !pending_.empty(); });
    }
    bool servedPosted = false;
    // A waiting call is marked done under the lock, so its worker, and the
    // call with it, lives until the notice is given.
    const auto release = [&](WaitingCall* call) {
        if (call != nullptr) {
            call->done = true;
            call->served.notify_one();
        }
    };
    while (!pending_.empty()) {
        Entry entry = std::move(pending_.front());
        pending_.pop_front();
        if (entry.waiting != nullptr) {
            --waiting_;
        } else {
            servedPosted = true;
            --posted_;
            if (postersWait_) {
                postersWait_ = false;
                room_.notify_all();
            }
        }
        lock.unlock();
        // A waiting caller keeps its function alive until released. An
        // exception escaping a call belongs to the main thread's loop, after
        // its caller is released.
        try {
            if (entry.waiting != nullptr) {
                (*entry.waiting->method)();
            } else {
                entry.posted();
            }
        } catch (...) {
            lock.lock();
            release(entry.waiting);
            throw;
        }
        lock.lock();
        release(entry.waiting);
    }
    loopLooks_ = servedPosted && !queued_;
}

}  // namespace tessellon
