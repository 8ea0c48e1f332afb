#pragma once
// What the HTTP reply reader needs from its byte source. A connection is one;
// tests and fuzzers may give the reader bytes from memory instead.

#include <cstddef>
#include <string>

#include "net/net_buffer.h"

namespace tessellon {

class TReplySource {
public:
    virtual ~TReplySource() = default;

    // The next line without its line feed and one carriage return before it.
    // Raises EConnClosedGracefully when the bytes end before a line feed, and
    // EInvalidReply (kReplyLineTooLong) when none comes within `maxLength`.
    virtual std::string ReadReplyLine(std::size_t maxLength) = 0;
    // Exactly `count` bytes into `stream` at its position; raises
    // EConnClosedGracefully when the bytes end first.
    virtual void ReadReplyBlock(TNetBuffer& stream, std::size_t count) = 0;
    // Every byte until the peer closes, into `stream` at its position. Raises
    // EInvalidReply (kReplyBodyTooLarge) once more than `maxSize` arrive.
    virtual void ReadReplyUntilClose(TNetBuffer& stream, std::size_t maxSize) = 0;
};

}  // namespace tessellon
