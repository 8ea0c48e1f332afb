#pragma once
// The combiner program started as a window: the application, the Map
// Combiner's window and the message loop. Free of Qt, for the program's main.

#include <string>

namespace tessellon {

// Reads no command-line arguments; `argv[0]` is passed on to Qt only. The
// window opens on `project` unless it is empty.
int RunCombinerWindow(int argc, char** argv, const std::string& project = {});

}  // namespace tessellon
