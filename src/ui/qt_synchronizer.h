#pragma once
// The synchronised call on Qt: a worker's function runs on the main thread
// as a blocking queued call, so it touches the windows only there and the
// worker waits until it has run.

#include <QObject>

#include "desktop.h"
#include "platform/synchronizer.h"

namespace tessellon {

class QtSynchronizer final : public QObject, public Synchronizer {
    Q_OBJECT
public:
    // Construct on the main thread. What escapes a function is shown over
    // `window` like any error of a window handler; the worker goes on.
    QtSynchronizer(Desktop& desktop, QWidget* window);

    void Synchronize(const std::function<void()>& method) override;
    // Processes events, user input excepted, until one batch has been served
    // or `maxWait` has passed.
    void ServePending(std::chrono::milliseconds maxWait) override;

private:
    Desktop& desktop_;
    QWidget* window_;
};

}  // namespace tessellon
