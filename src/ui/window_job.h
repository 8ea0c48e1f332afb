#pragma once
// A window's long job on a thread of its own. The job reports through a
// ReportMailbox and checks its stop request between steps; letting go of the
// job asks it to stop and waits for it, so a window that closes during a job
// waits only for the step under way, never for the whole job.

#include <QObject>
#include <functional>
#include <thread>
#include <utility>

#include "platform/stop_signal.h"
#include "report_mailbox.h"

namespace tessellon {

template <typename Reports>
class WindowJob {
public:
    // Runs on the job's thread; lets nothing escape.
    using Work = std::function<void(WindowJob&)>;

    // Starts `work` at once; `deliver` and `afterTake` as for ReportMailbox.
    WindowJob(QObject* window, typename ReportMailbox<Reports>::Deliver deliver, Work work,
              typename ReportMailbox<Reports>::AfterTake afterTake = {})
        : mailbox_(window, std::move(deliver), std::move(afterTake)),
          thread_([this, work = std::move(work)] { work(*this); }) {}

    ~WindowJob() {
        stop_.Request();
        thread_.join();
    }

    WindowJob(const WindowJob&) = delete;
    WindowJob& operator=(const WindowJob&) = delete;

    // Any thread: the job ends after the step under way.
    void RequestStop() { stop_.Request(); }

    // For the work: what it checks between steps, and how it reports.
    const StopSignal& Stop() const { return stop_; }
    // For work that hands the request on to a wait or a fetch it makes.
    StopSignal& Stop() { return stop_; }
    template <typename Change>
    void Report(Change change) {
        mailbox_.Report(std::move(change));
    }

private:
    StopSignal stop_;
    ReportMailbox<Reports> mailbox_;
    // Last: the thread starts when everything it uses is there.
    std::thread thread_;
};

}  // namespace tessellon
