#include "control/run_loop.h"

#include <algorithm>

namespace tessellon {

namespace {

using namespace std::chrono_literals;

// The longest wait for a call between two passes: a stop request and the
// progress display are never later than this, whatever the tick.
constexpr std::chrono::milliseconds kLongestWait = 100ms;

}  // namespace

RunLoop::RunLoop(DownloadControl& control, QueueSynchronizer& sync, std::chrono::milliseconds tick,
                 RunLoopHooks hooks)
    : control_(control),
      sync_(sync),
      tick_(tick),
      hooks_(std::move(hooks)),
      nextTick_(std::chrono::steady_clock::now() + tick) {}

bool RunLoop::RunUntil(std::chrono::steady_clock::time_point until) {
    while (control_.Running()) {
        auto now = std::chrono::steady_clock::now();
        if (now >= until) {
            return false;
        }
        if (now >= nextTick_) {
            control_.Timer1Timer();
            // Like a window timer, ticks missed while a tick ran are dropped:
            // catching up would leave the workers' calls unserved.
            nextTick_ += tick_;
            now = std::chrono::steady_clock::now();
            if (nextTick_ <= now) {
                nextTick_ = now + tick_;
            }
        }
        const auto wake = std::min(nextTick_, until);
        sync_.ServePending(std::min<std::chrono::milliseconds>(
            std::chrono::duration_cast<std::chrono::milliseconds>(wake - now) + 1ms, kLongestWait));
        // The last worker's end finishes the task now, not on the next tick.
        control_.FinishIfWorkersEnded();
        if (hooks_.StopRequested && !stopSent_ && hooks_.StopRequested()) {
            control_.Stop();
            stopSent_ = true;
        } else if (stopSent_ && hooks_.AbandonRequested && hooks_.AbandonRequested()) {
            control_.Abandon();
        }
        if (hooks_.AfterPass) {
            hooks_.AfterPass();
        }
    }
    stopSent_ = false;
    return true;
}

}  // namespace tessellon
