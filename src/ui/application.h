#pragma once
// The desktop program's start-up: the application with its title and icon,
// the main window with the four windows it owns, and the message loop.

namespace tessellon {

// Reads no command-line arguments; `argv[0]` is passed on to Qt only.
int RunDesktopProgram(int argc, char** argv);

}  // namespace tessellon
