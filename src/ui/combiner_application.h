#pragma once
// The combiner program started without arguments: the application, the Map
// Combiner's window and the message loop. Free of Qt, for the program's main.

namespace tessellon {

// Reads no command-line arguments; `argv[0]` is passed on to Qt only.
int RunCombinerWindow(int argc, char** argv);

}  // namespace tessellon
