#pragma once
// The one way a worker thread reports to a window. The thread changes the
// reports under a lock and never waits for the window, so a window may wait
// for its threads (to stop them when it closes) without a deadlock. The first
// change after a delivery queues one on the window's thread, and that one
// delivery stands for every change until it runs: it takes the reports as
// they stand then and hands them to the window. Destroyed on the window's
// thread once its threads have ended, the mailbox drops a delivery still
// queued, so a window never hears from a run it has let go.

#include <QMetaObject>
#include <QObject>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

namespace tessellon {

template <typename Reports>
class ReportMailbox {
public:
    using Deliver = std::function<void(const Reports&)>;
    using AfterTake = std::function<void(Reports&)>;

    // `deliver` runs on the thread of `window`, which must outlive the
    // mailbox, with the reports taken; `afterTake` then clears in the mailbox
    // what is handed over only once, such as lines.
    ReportMailbox(QObject* window, Deliver deliver, AfterTake afterTake = {})
        : window_(window), box_(std::make_shared<Box>(std::move(deliver), std::move(afterTake))) {}

    ~ReportMailbox() {
        std::lock_guard lock(box_->mutex);
        box_->closed = true;
    }

    ReportMailbox(const ReportMailbox&) = delete;
    ReportMailbox& operator=(const ReportMailbox&) = delete;

    // Any thread: `change` gets the reports to change.
    template <typename Change>
    void Report(Change change) {
        std::lock_guard lock(box_->mutex);
        change(box_->reports);
        if (!box_->notified) {
            box_->notified = true;
            QMetaObject::invokeMethod(
                window_, [box = box_] { Take(*box); }, Qt::QueuedConnection);
        }
    }

private:
    struct Box {
        Box(Deliver d, AfterTake a) : deliver(std::move(d)), afterTake(std::move(a)) {}

        const Deliver deliver;
        const AfterTake afterTake;
        std::mutex mutex;
        Reports reports;
        bool notified = false;
        bool closed = false;
    };

    // On the window's thread. The window may let go of the mailbox while it
    // is told; the queued call keeps the box alive until it returns.
    static void Take(Box& box) {
        Reports taken;
        {
            std::lock_guard lock(box.mutex);
            if (box.closed) {
                return;
            }
            taken = box.reports;
            if (box.afterTake) {
                box.afterTake(box.reports);
            }
            box.notified = false;
        }
        box.deliver(taken);
    }

    QObject* const window_;
    const std::shared_ptr<Box> box_;
};

}  // namespace tessellon
