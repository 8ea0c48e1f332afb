#pragma once
// The synchronised call: a worker thread runs a function on the main thread
// and waits until it has run, or hands it over and goes on. The desktop
// program serves the calls from its event loop, the command-line program and
// the tests from their own loop.

#include <chrono>
#include <functional>

namespace tessellon {

class Synchronizer {
public:
    virtual ~Synchronizer() = default;

    // Called on a worker thread: runs `method` on the main thread and returns
    // when it has run.
    virtual void Synchronize(const std::function<void()>& method) = 0;

    // Called on a worker thread: `method` runs on the main thread after the
    // calls handed over before it, while the worker goes on; it waits only
    // while the main thread is far behind.
    virtual void Post(std::function<void()> method) = 0;

    // Called on the main thread: runs the calls that wait or were handed
    // over, in the order they came, waiting up to `maxWait` for the first
    // one to arrive.
    virtual void ServePending(std::chrono::milliseconds maxWait) = 0;
};

}  // namespace tessellon
