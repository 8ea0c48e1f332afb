#include "platform/terminal.h"

#include <unistd.h>

namespace tessellon {

bool StandardErrorIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

bool StandardInputIsTerminal() {
    return ::isatty(STDIN_FILENO) == 1;
}

}  // namespace tessellon
