#include "handler_guard.h"

#include <exception>

namespace tessellon {

void RunHandler(Desktop& desktop, QWidget* window, const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        desktop.ShowMessage(window, QString::fromStdString(e.what()));
    } catch (...) {
        // Not of the general exception class: shown with an empty text.
        desktop.ShowMessage(window, QString());
    }
}

}  // namespace tessellon
