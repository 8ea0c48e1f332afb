#pragma once
// How the system schedules a thread of ours.

namespace tessellon {

// Marks the calling thread as bulk work when it runs under the system's
// ordinary policy. It keeps its priority (its nice value, so the same share
// of the processor), but a wakeup of it no longer preempts the thread
// running: it waits for its turn. A download worker waits for each reply and
// is woken thousands of times a second; preempting whoever sent the reply
// (on one machine, often the server itself) each time costs more than the
// reply does, and hands the worker one reply per wakeup where a moment later
// it would find several. A thread the user put under another policy (idle
// time only, say) stays under it, and a system that refuses leaves the
// thread as it was.
void RunThisThreadAsBulkWork();

}  // namespace tessellon
