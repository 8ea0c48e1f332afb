#pragma once
// The synchronised call on Qt: a worker's call joins the same queue the
// command line serves, and the window's mailbox has the window's thread serve
// it, so the worker touches the windows only there. Waiting for the workers (Shutdown) serves the
// queue alone, with no window event run underneath.

#include <QObject>
#include <chrono>

#include "desktop.h"
#include "platform/queue_synchronizer.h"
#include "report_mailbox.h"

namespace tessellon {

class QtSynchronizer final : public QueueSynchronizer {
public:
    // Construct on the window's thread. What escapes a call is shown over
    // `window` like any error of a window handler; the worker goes on.
    QtSynchronizer(Desktop& desktop, QWidget* window);

    // As the queue's, but what escapes a call is shown and the calls behind
    // it are served too.
    void ServePending(std::chrono::milliseconds maxWait) override;

private:
    // Nothing to report but that calls wait.
    struct CallsWaiting {};

    Desktop& desktop_;
    QWidget* window_;
    ReportMailbox<CallsWaiting> doorbell_;
};

}  // namespace tessellon
