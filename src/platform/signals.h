#pragma once
// The requests from outside that a command-line program obeys as its Stop
// button: Ctrl-C (SIGINT) and the polite end the system or a service manager
// asks for (SIGTERM). A program catches them while it can stop cleanly and
// gives them back their usual effect where it cannot.

namespace tessellon {

// From now on a stop request is only noted (StopRequestedBySignal() tells),
// so the program ends in its own time with every file written.
void CatchStopSignals();
// Whether a stop request came since CatchStopSignals().
bool StopRequestedBySignal();
// Whether a second one came: the user will not wait for the first.
bool SecondStopRequestedBySignal();
// Gives the stop requests back their usual effect, ending the program; one
// that came already ends it now.
void EndAtStopSignals();

}  // namespace tessellon
