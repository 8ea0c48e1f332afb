#include "platform/signals.h"

#include <atomic>
#include <csignal>

namespace tessellon {

namespace {

// The signal that asked to stop; 0 while none has.
std::atomic<int> stopSignal{0};
std::atomic<int> stopRequests{0};

extern "C" void NoteStopSignal(int signal) {
    stopSignal = signal;
    stopRequests.fetch_add(1);
}

}  // namespace

void CatchStopSignals() {
    std::signal(SIGINT, NoteStopSignal);
    std::signal(SIGTERM, NoteStopSignal);
}

bool StopRequestedBySignal() {
    return stopSignal.load() != 0;
}

bool SecondStopRequestedBySignal() {
    return stopRequests.load() >= 2;
}

void EndAtStopSignals() {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    if (const int signal = stopSignal.load(); signal != 0) {
        std::raise(signal);
    }
}

}  // namespace tessellon
