#include "qt_synchronizer.h"

#include <QWidget>

#include "handler_guard.h"

namespace tessellon {

QtSynchronizer::QtSynchronizer(Desktop& desktop, QWidget* window)
    : QueueSynchronizer([this] { doorbell_.Report([](CallsWaiting&) {}); }),
      desktop_(desktop),
      window_(window),
      doorbell_(window, [this](const CallsWaiting&) { ServePending({}); }) {}

void QtSynchronizer::ServePending(std::chrono::milliseconds maxWait) {
    // A call that throws releases its worker first; the calls behind it are
    // served in the next round, without waiting again.
    for (bool served = false; !served; maxWait = {}) {
        RunHandler(desktop_, window_, [&] {
            QueueSynchronizer::ServePending(maxWait);
            served = true;
        });
    }
}

}  // namespace tessellon
