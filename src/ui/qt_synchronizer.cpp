#include "qt_synchronizer.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include "handler_guard.h"

namespace tessellon {

QtSynchronizer::QtSynchronizer(Desktop& desktop, QWidget* window)
    : desktop_(desktop), window_(window) {}

void QtSynchronizer::Synchronize(const std::function<void()>& method) {
    // A blocking queued call onto its own thread would wait forever.
    if (QThread::currentThread() == thread()) {
        RunHandler(desktop_, window_, method);
        return;
    }
    QMetaObject::invokeMethod(
        this, [this, &method] { RunHandler(desktop_, window_, method); },
        Qt::BlockingQueuedConnection);
}

void QtSynchronizer::ServePending(std::chrono::milliseconds maxWait) {
    // The timer's event ends the wait when no call arrives in time.
    QTimer wake;
    wake.setSingleShot(true);
    wake.start(maxWait);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                    QEventLoop::WaitForMoreEvents);
}

}  // namespace tessellon
