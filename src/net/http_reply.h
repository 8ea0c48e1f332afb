#pragma once
// Reading an HTTP reply with a stream reader: the status line, the header
// lines and the body, within the size limits of THttpReplyLimits.

#include <cstddef>
#include <string>

#include "net/http_header_list.h"
#include "net/net_buffer.h"
#include "net/net_limits.h"
#include "net/stream_reader.h"

namespace tessellon {

enum class THttpMethod { Head, Get, Post };

const char* MethodName(THttpMethod method);

struct THttpStatusLine {
    // The line without its first word: "404 Not Found".
    std::string Text;
    // Text up to its first blank, and its value when it is a decimal integer.
    std::string CodeText;
    bool ValidCode = false;
    int Code = 0;
    // The reply's version is 1.0.
    bool Version10 = false;
    // The line begins as a status line must, with "HTTP/"; the first word
    // is not checked otherwise.
    bool NamesHttp = false;
};

THttpStatusLine ParseStatusLine(const std::string& line);

enum class TBodyFraming { None, Length, Chunked, UntilClose };

struct TBodyPlan {
    TBodyFraming Framing = TBodyFraming::None;
    std::size_t Length = 0;
};

// How the body of a reply is delimited. HEAD replies and 1xx, 204 and 304
// replies have none; "chunked" coding wins over a Content-Length. A
// Content-Length that is not a plain number, exceeds the body limit or
// differs between two lines raises EInvalidReply.
TBodyPlan PlanReplyBody(const THttpHeaderList& headers, THttpMethod method, int statusCode,
                        const THttpReplyLimits& limits);

class THttpReplyReader {
public:
    THttpReplyReader(TStreamReader& input, const THttpReplyLimits& limits)
        : input_(input), limits_(limits) {}

    // The status line of the final reply and its header lines (into
    // `headers`, cleared first); interim 1xx replies before it are dropped.
    // A status line without a valid code ends the reading at once.
    THttpStatusLine ReadHead(THttpHeaderList& headers);
    // The body into `destination` at its position; the destination then ends
    // with it.
    void ReadBody(const TBodyPlan& plan, TNetBuffer& destination);

private:
    // Lines up to an empty one, counted against the header block limit.
    void ReadHeaderLines(THttpHeaderList& headers, std::size_t used);
    std::string ReadLimitedLine(std::size_t& used);
    void ReadChunkedBody(TNetBuffer& destination);

    TStreamReader& input_;
    const THttpReplyLimits& limits_;
};

}  // namespace tessellon
