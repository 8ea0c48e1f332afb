#include "platform/stop_signal.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace tessellon {

namespace {

void Signal(int handle) {
    const std::uint64_t one = 1;
    // A full counter is still readable, so a failed write loses nothing.
    [[maybe_unused]] const ssize_t written = ::write(handle, &one, sizeof one);
}

}  // namespace

StopSignal::~StopSignal() {
    if (wakeHandle_ >= 0) {
        ::close(wakeHandle_);
    }
}

void StopSignal::Request() {
    {
        std::lock_guard lock(mutex_);
        requested_ = true;
        if (wakeHandle_ >= 0) {
            Signal(wakeHandle_);
        }
    }
    changed_.notify_all();
}

int StopSignal::WakeHandle() {
    std::lock_guard lock(mutex_);
    if (wakeHandle_ < 0) {
        wakeHandle_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (wakeHandle_ >= 0 && requested_) {
            Signal(wakeHandle_);
        }
    }
    return wakeHandle_;
}

}  // namespace tessellon
