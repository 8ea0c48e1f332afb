#pragma once
// What the command-line programs ask of the terminal they run in.

namespace tessellon {

// True when standard error is a terminal, where a progress line that
// rewrites itself ("\r" and the erase-line sequence) is shown; false when it
// goes to a file or a pipe, which get plain lines only.
bool StandardErrorIsTerminal();

// True when standard input is a terminal too, so a question can be answered
// there; a pipe or a file never answers one.
bool StandardInputIsTerminal();

}  // namespace tessellon
