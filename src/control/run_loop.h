#pragma once
// The main loop of a front end that has no event loop of its own (the
// command line, and the tests that drive the control as it does): it ticks
// the control's timer and, between ticks, serves the workers' synchronised
// calls. The task finishes as soon as the call that tells of the last
// worker's end has been served, without waiting for a tick (the window's
// timer finishes it on its next tick instead).

#include <chrono>
#include <functional>

#include "control/download_control.h"
#include "platform/queue_synchronizer.h"

namespace tessellon {

struct RunLoopHooks {
    // Asked after every pass; the first true presses Stop, once per download.
    std::function<bool()> StopRequested;
    // Asked after every pass once Stop was pressed; true ends the run at
    // once (DownloadControl::Abandon).
    std::function<bool()> AbandonRequested;
    // Called after every pass, for a progress display.
    std::function<void()> AfterPass;
};

class RunLoop {
public:
    // The first tick comes one `tick` after construction.
    RunLoop(DownloadControl& control, QueueSynchronizer& sync, std::chrono::milliseconds tick,
            RunLoopHooks hooks = {});

    // Runs until the download has ended. Returns at once when none runs.
    void Run() { RunUntil(std::chrono::steady_clock::time_point::max()); }
    // Runs until the download has ended or `until` has come; true when it
    // has ended.
    bool RunUntil(std::chrono::steady_clock::time_point until);

private:
    DownloadControl& control_;
    QueueSynchronizer& sync_;
    const std::chrono::milliseconds tick_;
    RunLoopHooks hooks_;
    std::chrono::steady_clock::time_point nextTick_;
    bool stopSent_ = false;
};

}  // namespace tessellon
