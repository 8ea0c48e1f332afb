#pragma once
// Window handlers run under a guard: an exception that escapes one is shown
// in a message box with its text, and the program goes on.

#include <QObject>
#include <functional>

#include "desktop.h"

namespace tessellon {

void RunHandler(Desktop& desktop, QWidget* window, const std::function<void()>& handler);

// Connects `signal` of `sender` to the handler method of `window`, guarded.
template <typename Sender, typename Signal, typename Window>
void ConnectHandler(Desktop& desktop, Sender* sender, Signal signal, Window* window,
                    void (Window::*handler)()) {
    QObject::connect(sender, signal, window, [&desktop, window, handler] {
        RunHandler(desktop, window, [window, handler] { (window->*handler)(); });
    });
}

}  // namespace tessellon
