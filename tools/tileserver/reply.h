#pragma once
// Composing reply heads. The ordinary reply is what a well-behaved server
// sends; the faults build their deliberately broken variants from the same
// pieces, so only the broken part differs from the ordinary bytes.

#include <cstddef>
#include <string>
#include <string_view>

#include "tile_source.h"

namespace tessellon::tileserver {

// "HTTP/1.1 <code> <reason>"
std::string StatusLine(const Payload& payload);

// A reply head: the first line, header lines, each ended by `eol`, and the
// blank line that Finish() adds.
class ReplyHead {
public:
    explicit ReplyHead(std::string firstLine, std::string_view eol = "\r\n");

    ReplyHead& Line(std::string_view line);
    ReplyHead& ContentLength(std::size_t length);
    std::string Finish() const;

private:
    std::string text_;
    std::string eol_;
};

// The status line and Content-Type of `payload`.
ReplyHead PayloadHead(const Payload& payload, std::string_view eol = "\r\n");

// The whole ordinary reply: head with Content-Length, the body unless
// `withBody` is false (HEAD), and "Connection: close" when `closing`.
std::string OrdinaryReply(const Payload& payload, bool withBody, bool closing);

// The entity tag of a body: a quoted hash of its bytes.
std::string EntityTag(std::string_view body);

// With validators: the 304 for a request whose If-None-Match names the
// body's tag, else the ordinary reply with an ETag line.
std::string ValidatedReply(const Payload& payload, std::string_view ifNoneMatch, bool withBody,
                           bool closing);

}  // namespace tessellon::tileserver
