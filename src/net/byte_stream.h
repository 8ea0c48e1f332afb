#pragma once
// What the stream reader reads from: bytes in order and nothing else. The
// socket side of a connection is one; an encrypted stream over the socket,
// or bytes in memory, can stand in its place without the reader knowing.

#include <cstddef>

namespace tessellon {

class TByteStream {
public:
    virtual ~TByteStream() = default;

    // Up to `size` bytes into `into`, at least one unless the stream has
    // ended: 0 means the end, and stays the answer. A stream's failures
    // (socket errors, time-outs) are raised as its exceptions.
    virtual std::size_t Read(char* into, std::size_t size) = 0;
};

}  // namespace tessellon
