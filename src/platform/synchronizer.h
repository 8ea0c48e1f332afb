#pragma once
// The synchronised call: a worker thread runs a function on the main thread
// and waits until it has run. The desktop program serves the calls from its
// event loop, the command-line program and the tests from their own loop.

#include <chrono>
#include <functional>

namespace tessellon {

class Synchronizer {
public:
    virtual ~Synchronizer() = default;

    // Called on a worker thread: runs `method` on the main thread and returns
    // when it has run.
    virtual void Synchronize(const std::function<void()>& method) = 0;

    // Called on the main thread: runs the calls that wait, waiting up to
    // `maxWait` for the first one to arrive.
    virtual void ServePending(std::chrono::milliseconds maxWait) = 0;
};

}  // namespace tessellon
