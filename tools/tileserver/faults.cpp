#include "faults.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <initializer_list>
#include <optional>

#include "platform/numbers.h"
#include "query.h"
#include "reply.h"

namespace tessellon::tileserver {

namespace {

using Outcome = FaultOutcome;

std::string_view Body(const FaultContext& c) {
    return *c.payload.body;
}

// Argument `i` as a byte count of the body: -1 means half of it.
std::size_t BodyPortion(const FaultContext& c, std::size_t i) {
    const std::size_t size = Body(c).size();
    return c.args[i] < 0 ? size / 2 : std::min(static_cast<std::size_t>(c.args[i]), size);
}

std::string Ordinary(const FaultContext& c) {
    return OrdinaryReply(c.payload, true, false);
}

Outcome SendThen(FaultContext& c, std::string_view bytes, Outcome outcome) {
    c.connection.Send(bytes);
    return outcome;
}

// `head` completed with the body's Content-Length, then the body.
Outcome WithBody(FaultContext& c, ReplyHead head, Outcome outcome) {
    return SendThen(c, head.ContentLength(Body(c).size()).Finish() + std::string(Body(c)), outcome);
}

// The payload's head with `lines` added.
ReplyHead HeadWith(const FaultContext& c, std::initializer_list<std::string_view> lines) {
    ReplyHead head = PayloadHead(c.payload);
    for (std::string_view line : lines) {
        head.Line(line);
    }
    return head;
}

// The ordinary reply with `extra` header lines before Content-Length.
Outcome OrdinaryWith(FaultContext& c, std::initializer_list<std::string_view> extra,
                     Outcome outcome) {
    return WithBody(c, HeadWith(c, extra), outcome);
}

// The whole body under a head whose length lines are `lengthLines` as given.
Outcome BodyUnderLengthLines(FaultContext& c, std::initializer_list<std::string_view> lengthLines,
                             Outcome outcome) {
    return SendThen(c, HeadWith(c, lengthLines).Finish() + std::string(Body(c)), outcome);
}

// The payload's head with `firstLine` in place of the status line.
ReplyHead HeadWithFirstLine(const FaultContext& c, std::string firstLine) {
    ReplyHead head(std::move(firstLine));
    head.Line("Content-Type: " + std::string(c.payload.contentType));
    return head;
}

// The ordinary reply in two writes `pauseMs` apart, split before byte `at`.
Outcome InTwoWrites(FaultContext& c, std::size_t at, int pauseMs) {
    const std::string reply = Ordinary(c);
    if (!c.connection.Send(std::string_view(reply).substr(0, at)) || !c.connection.Pause(pauseMs)) {
        return Outcome::Close;
    }
    return SendThen(c, std::string_view(reply).substr(at), Outcome::KeepAlive);
}

// Where the ordinary reply's body starts.
std::size_t OrdinaryHeadSize(const FaultContext& c) {
    return OrdinaryReply(c.payload, false, false).size();
}

// A head announcing the whole body, then only part of it.
Outcome PartOfBody(FaultContext& c, Outcome outcome) {
    const std::string head = PayloadHead(c.payload).ContentLength(Body(c).size()).Finish();
    return SendThen(c, head + std::string(Body(c).substr(0, BodyPortion(c, 0))), outcome);
}

// Status `status` with its one-line text body, `lines` added to the head.
Outcome StatusWith(FaultContext& c, int status, std::initializer_list<std::string_view> lines) {
    const Payload payload = TextPayload(status);
    ReplyHead head = PayloadHead(payload);
    for (std::string_view line : lines) {
        head.Line(line);
    }
    head.ContentLength(payload.body->size());
    return SendThen(c, head.Finish() + *payload.body, Outcome::KeepAlive);
}

Outcome StatusReply(FaultContext& c) {
    const int status = static_cast<int>(c.args[0]);
    if (status == 302) {
        // Pointing back at the tile without the fault: a client that follows
        // redirects gets the tile on the next request.
        const std::string query = QueryWithout(c.request.query, {"fault", "pieces", "piece-delay"});
        return StatusWith(c, status,
                          {"Location: " + c.request.path + (query.empty() ? "" : "?" + query)});
    }
    return status == 503 ? StatusWith(c, status, {"Retry-After: 1"}) : StatusWith(c, status, {});
}

// An IMF-fixdate ("Sun, 06 Nov 1994 08:49:37 GMT"), the form servers send;
// the names are written out so no locale can change them.
std::string HttpDate(std::time_t time) {
    static constexpr std::string_view kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr std::string_view kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm utc{};
    ::gmtime_r(&time, &utc);
    char clock[32];
    std::snprintf(clock, sizeof clock, " %02d %s %04d %02d:%02d:%02d GMT", utc.tm_mday,
                  kMonths[utc.tm_mon].data(), utc.tm_year + 1900, utc.tm_hour, utc.tm_min,
                  utc.tm_sec);
    return std::string(kDays[utc.tm_wday]) + "," + clock;
}

// Status `status` asking the client to come back in SECONDS (the first
// argument), as a number of seconds or as the HTTP date that far ahead.
Outcome RetryAfter(FaultContext& c, int status, bool asDate) {
    // A date is kept within a century, where the clock arithmetic cannot overflow.
    constexpr long long kLatestDateSeconds = 100LL * 365 * 24 * 3600;
    const long long seconds = c.args[0];
    const std::string value =
        asDate ? HttpDate(std::time(nullptr) + std::min(seconds, kLatestDateSeconds))
               : std::to_string(seconds);
    return StatusWith(c, status, {"Retry-After: " + value});
}

Outcome HtmlErrorPage(FaultContext& c) {
    static const Payload page{
        200, "OK", "text/html",
        std::make_shared<const std::string>(
            "<!DOCTYPE html>\n<html><head><title>Service unavailable</title></head>\n"
            "<body><h1>Service unavailable</h1><p>The tile cannot be served right now. "
            "Please try again later.</p></body></html>\n")};
    return SendThen(c, OrdinaryReply(page, true, false), Outcome::KeepAlive);
}

Outcome EmptyStatusWithLength(FaultContext& c, std::string_view statusLine) {
    ReplyHead head{std::string(statusLine)};
    return SendThen(c, head.ContentLength(Body(c).size()).Finish(), Outcome::KeepAlive);
}

std::string Hex(std::size_t value, bool upper) {
    char buffer[20];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, 16).ptr;
    std::string text(buffer, end);
    if (upper) {
        std::transform(text.begin(), text.end(), text.begin(),
                       [](char ch) { return static_cast<char>(std::toupper(ch)); });
    }
    return text;
}

struct ChunkStyle {
    std::size_t chunkSize = 4096;
    bool upperHex = false;
    std::string_view extension = {};  // after each size, ";..."
    bool trailers = false;
};

Outcome Chunked(FaultContext& c, const ChunkStyle& style) {
    ReplyHead head = PayloadHead(c.payload);
    head.Line("Transfer-Encoding: chunked");
    if (style.trailers) {
        head.Line("Trailer: X-Checksum, X-Tile-Trailer");
    }
    std::string reply = head.Finish();
    for (std::string_view rest = Body(c); !rest.empty();) {
        const std::string_view chunk = rest.substr(0, style.chunkSize);
        rest.remove_prefix(chunk.size());
        reply += Hex(chunk.size(), style.upperHex) + std::string(style.extension) + "\r\n";
        reply += chunk;
        reply += "\r\n";
    }
    reply += '0';
    reply += style.extension;
    reply += "\r\n";
    if (style.trailers) {
        reply += "X-Checksum: none\r\nX-Tile-Trailer: yes\r\n";
    }
    reply += "\r\n";
    return SendThen(c, reply, Outcome::KeepAlive);
}

// A chunked head and `firstChunk` ("size" + line end + data) as the body.
Outcome BrokenChunk(FaultContext& c, const std::string& firstChunk) {
    const std::string head = PayloadHead(c.payload).Line("Transfer-Encoding: chunked").Finish();
    return SendThen(c, head + firstChunk, Outcome::Close);
}

Outcome HugeHeaderBlock(FaultContext& c) {
    ReplyHead head = PayloadHead(c.payload);
    const std::string filler(1000, 'b');
    const std::size_t total = static_cast<std::size_t>(c.args[0]) * 1024;
    for (std::size_t written = 0, i = 0; written < total; ++i) {
        const std::string line = "X-Filler-" + std::to_string(i) + ": " + filler;
        head.Line(line);
        written += line.size() + 2;
    }
    return WithBody(c, std::move(head), Outcome::KeepAlive);
}

Outcome NeverEnding(FaultContext& c) {
    c.connection.Send(PayloadHead(c.payload).Line("Connection: close").Finish());
    const std::string block(1024, 'n');
    while (c.connection.Send(block) && c.connection.Pause(static_cast<int>(c.args[0]))) {
    }
    return Outcome::Close;
}

constexpr long long kHalf = -1;
constexpr FaultArgs kNoArgs{0, 0};

// clang-format off
constexpr FaultEntry kCatalogue[] = {
    // Connection
    {"refused", FaultGroup::Connection, "", kNoArgs, false,
     "the port is bound but never listens, so every connect is refused (whole server only: --fault)",
     nullptr},
    {"no-answer", FaultGroup::Connection, "", kNoArgs, false,
     "read the request, never answer; hold the connection until the client leaves",
     [](FaultContext&) { return Outcome::Hold; }},
    {"close", FaultGroup::Connection, "", kNoArgs, true,
     "close the connection at once, without a byte of reply",
     [](FaultContext&) { return Outcome::Close; }},
    {"reset", FaultGroup::Connection, "", kNoArgs, true,
     "reset the connection at once (RST, SO_LINGER 0)",
     [](FaultContext&) { return Outcome::Reset; }},
    {"close-mid-body", FaultGroup::Connection, "BYTES", {kHalf, 0}, true,
     "announce the whole body, send BYTES of it (default half), close",
     [](FaultContext& c) { return PartOfBody(c, Outcome::Close); }},
    {"reset-mid-body", FaultGroup::Connection, "BYTES", {kHalf, 0}, true,
     "announce the whole body, send BYTES of it (default half), reset",
     [](FaultContext& c) { return PartOfBody(c, Outcome::Reset); }},
    {"idle-close", FaultGroup::Connection, "MS", {100, 0}, true,
     "answer normally, keep alive, then close the connection once idle for MS ms (default 100)",
     [](FaultContext& c) {
         c.idleTimeoutMs = static_cast<int>(c.args[0]);
         return SendThen(c, Ordinary(c), Outcome::KeepAlive);
     }},
    {"close-after", FaultGroup::Connection, "N", {1, 0}, true,
     "answer normally without \"Connection: close\"; close once the connection has had N requests (default 1)",
     [](FaultContext& c) {
         return SendThen(c, Ordinary(c), c.requestNumber >= c.args[0] ? Outcome::Close : Outcome::KeepAlive);
     }},

    // Status line
    {"http10", FaultGroup::StatusLine, "", kNoArgs, true,
     "\"HTTP/1.0 200 OK\" without Content-Length: the body runs until the close",
     [](FaultContext& c) {
         const ReplyHead head = HeadWithFirstLine(
             c, "HTTP/1.0 " + std::to_string(c.payload.status) + " " + std::string(c.payload.reason));
         return SendThen(c, head.Finish() + std::string(Body(c)), Outcome::Close);
     }},
    {"no-reason", FaultGroup::StatusLine, "", kNoArgs, true,
     "status line without reason phrase: \"HTTP/1.1 200\"",
     [](FaultContext& c) { return WithBody(c, HeadWithFirstLine(c, "HTTP/1.1 " + std::to_string(c.payload.status)), Outcome::KeepAlive); }},
    {"odd-reason", FaultGroup::StatusLine, "", kNoArgs, true,
     "an unusual reason phrase: \"HTTP/1.1 200 Tile coming right up, enjoy! (really)\"",
     [](FaultContext& c) {
         return WithBody(c, HeadWithFirstLine(c, "HTTP/1.1 " + std::to_string(c.payload.status) + " Tile coming right up, enjoy! (really)"),
                              Outcome::KeepAlive);
     }},
    {"code-2digits", FaultGroup::StatusLine, "", kNoArgs, true,
     "a two-digit status code: \"HTTP/1.1 20 OK\", then close",
     [](FaultContext& c) { return WithBody(c, HeadWithFirstLine(c, "HTTP/1.1 20 OK"), Outcome::Close); }},
    {"code-letters", FaultGroup::StatusLine, "", kNoArgs, true,
     "letters for a status code: \"HTTP/1.1 2OO OK\" (capital O), then close",
     [](FaultContext& c) { return WithBody(c, HeadWithFirstLine(c, "HTTP/1.1 2OO OK"), Outcome::Close); }},
    {"code-negative", FaultGroup::StatusLine, "", kNoArgs, true,
     "a negative status code: \"HTTP/1.1 -200 OK\", then close",
     [](FaultContext& c) { return WithBody(c, HeadWithFirstLine(c, "HTTP/1.1 -200 OK"), Outcome::Close); }},
    {"no-status-line", FaultGroup::StatusLine, "", kNoArgs, true,
     "header lines and body with no status line before them, then close",
     [](FaultContext& c) {
         const std::string ordinary = Ordinary(c);
         return SendThen(c, std::string_view(ordinary).substr(ordinary.find("\r\n") + 2), Outcome::Close);
     }},
    {"interim-100", FaultGroup::StatusLine, "", kNoArgs, true,
     "\"HTTP/1.1 100 Continue\" and a blank line before the real reply",
     [](FaultContext& c) { return SendThen(c, "HTTP/1.1 100 Continue\r\n\r\n" + Ordinary(c), Outcome::KeepAlive); }},
    {"interim-102", FaultGroup::StatusLine, "", kNoArgs, true,
     "two \"HTTP/1.1 102 Processing\" replies before the real reply",
     [](FaultContext& c) {
         return SendThen(c, "HTTP/1.1 102 Processing\r\n\r\nHTTP/1.1 102 Processing\r\n\r\n" + Ordinary(c),
                         Outcome::KeepAlive);
     }},
    {"status", FaultGroup::StatusLine, "CODE", {500, 0}, false,
     "status CODE (default 500) with a one-line text body",
     StatusReply},
    {"status-302", FaultGroup::StatusLine, "", {302, 0}, false,
     "302 Found, Location pointing at the same tile without the fault",
     StatusReply},
    {"status-400", FaultGroup::StatusLine, "", {400, 0}, false, "400 Bad Request", StatusReply},
    {"status-403", FaultGroup::StatusLine, "", {403, 0}, false, "403 Forbidden", StatusReply},
    {"status-404", FaultGroup::StatusLine, "", {404, 0}, false, "404 Not Found", StatusReply},
    {"status-500", FaultGroup::StatusLine, "", {500, 0}, true, "500 Internal Server Error", StatusReply},
    {"status-503", FaultGroup::StatusLine, "", {503, 0}, true,
     "503 Service Unavailable with \"Retry-After: 1\"", StatusReply},
    {"no-retry-after-503", FaultGroup::StatusLine, "", kNoArgs, false,
     "503 Service Unavailable without Retry-After",
     [](FaultContext& c) { return StatusWith(c, 503, {}); }},
    {"status-429", FaultGroup::StatusLine, "", {429, 0}, false,
     "429 Too Many Requests, without Retry-After", StatusReply},
    {"retry-after-429", FaultGroup::StatusLine, "SECONDS", {1, 0}, false,
     "429 Too Many Requests with \"Retry-After: SECONDS\" (default 1)",
     [](FaultContext& c) { return RetryAfter(c, 429, false); }},
    {"retry-after-503", FaultGroup::StatusLine, "SECONDS", {1, 0}, false,
     "503 Service Unavailable with \"Retry-After: SECONDS\" (default 1)",
     [](FaultContext& c) { return RetryAfter(c, 503, false); }},
    {"retry-after-date-429", FaultGroup::StatusLine, "SECONDS", {1, 0}, false,
     "429 Too Many Requests with Retry-After as the HTTP date SECONDS from now (default 1)",
     [](FaultContext& c) { return RetryAfter(c, 429, true); }},
    {"retry-after-date-503", FaultGroup::StatusLine, "SECONDS", {1, 0}, false,
     "503 Service Unavailable with Retry-After as the HTTP date SECONDS from now (default 1)",
     [](FaultContext& c) { return RetryAfter(c, 503, true); }},

    // Headers
    {"folded-space", FaultGroup::Headers, "", kNoArgs, true,
     "a header folded onto a continuation line that starts with a space",
     [](FaultContext& c) { return OrdinaryWith(c, {"X-Tile-Note: folded", " over two lines"}, Outcome::KeepAlive); }},
    {"folded-tab", FaultGroup::Headers, "", kNoArgs, true,
     "a header folded onto a continuation line that starts with a tab",
     [](FaultContext& c) { return OrdinaryWith(c, {"X-Tile-Note: folded", "\tover two lines"}, Outcome::KeepAlive); }},
    {"long-header", FaultGroup::Headers, "KIB", {100, 0}, true,
     "one header line of KIB KiB (default 100)",
     [](FaultContext& c) {
         const std::string line = "X-Padding: " + std::string(static_cast<std::size_t>(c.args[0]) * 1024, 'a');
         return OrdinaryWith(c, {line}, Outcome::KeepAlive);
     }},
    {"huge-header-block", FaultGroup::Headers, "KIB", {2048, 0}, true,
     "header lines of 1 KB each adding up to KIB KiB (default 2048)",
     HugeHeaderBlock},
    {"no-colon", FaultGroup::Headers, "", kNoArgs, true,
     "a header line without \":\"",
     [](FaultContext& c) { return OrdinaryWith(c, {"This header line has no colon"}, Outcome::KeepAlive); }},
    {"nul-bytes", FaultGroup::Headers, "", kNoArgs, true,
     "NUL bytes inside a header value",
     [](FaultContext& c) { return OrdinaryWith(c, {std::string_view("X-Nul: a\0b\0c", 12)}, Outcome::KeepAlive); }},
    {"length-zero", FaultGroup::Headers, "", kNoArgs, false,
     "\"Content-Length: 0\" and no body",
     [](FaultContext& c) { return SendThen(c, PayloadHead(c.payload).ContentLength(0).Finish(), Outcome::KeepAlive); }},
    {"length-duplicate", FaultGroup::Headers, "", kNoArgs, true,
     "the right Content-Length twice",
     [](FaultContext& c) {
         const std::string line = "Content-Length: " + std::to_string(Body(c).size());
         return BodyUnderLengthLines(c, {line, line}, Outcome::KeepAlive);
     }},
    {"length-conflict", FaultGroup::Headers, "", kNoArgs, true,
     "two different Content-Length lines (the right one, then one more), then close",
     [](FaultContext& c) {
         const std::string right = "Content-Length: " + std::to_string(Body(c).size());
         const std::string more = "Content-Length: " + std::to_string(Body(c).size() + 1);
         return BodyUnderLengthLines(c, {right, more}, Outcome::Close);
     }},
    {"length-negative", FaultGroup::Headers, "", kNoArgs, true,
     "\"Content-Length: -1\", the body, then close",
     [](FaultContext& c) { return BodyUnderLengthLines(c, {"Content-Length: -1"}, Outcome::Close); }},
    {"length-garbage", FaultGroup::Headers, "", kNoArgs, false,
     "\"Content-Length: 6abc\", the whole body, then close",
     [](FaultContext& c) { return BodyUnderLengthLines(c, {"Content-Length: 6abc"}, Outcome::Close); }},
    {"length-huge", FaultGroup::Headers, "BYTES", {1099511627776LL, 0}, true,
     "Content-Length BYTES (default 1 TiB), the body, then close",
     [](FaultContext& c) {
         return BodyUnderLengthLines(c, {"Content-Length: " + std::to_string(c.args[0])}, Outcome::Close);
     }},
    {"length-overflow", FaultGroup::Headers, "", kNoArgs, true,
     "a Content-Length beyond 64 bits (99999999999999999999999), the body, then close",
     [](FaultContext& c) { return BodyUnderLengthLines(c, {"Content-Length: 99999999999999999999999"}, Outcome::Close); }},
    {"connection-close", FaultGroup::Headers, "", kNoArgs, true,
     "\"Connection: close\", then close",
     [](FaultContext& c) { return OrdinaryWith(c, {"Connection: close"}, Outcome::Close); }},
    {"connection-close-caps", FaultGroup::Headers, "", kNoArgs, true,
     "\"Connection: Close\", then close",
     [](FaultContext& c) { return OrdinaryWith(c, {"Connection: Close"}, Outcome::Close); }},
    {"connection-two-lines", FaultGroup::Headers, "", kNoArgs, true,
     "\"Connection: keep-alive\" and \"Connection: close\" on two lines, then close",
     [](FaultContext& c) {
         return OrdinaryWith(c, {"Connection: keep-alive", "Connection: close"}, Outcome::Close);
     }},
    {"lf-only", FaultGroup::Headers, "", kNoArgs, true,
     "every line of the head ended by LF alone",
     [](FaultContext& c) {
         return WithBody(c, PayloadHead(c.payload, "\n"), Outcome::KeepAlive);
     }},
    {"split-blank-line", FaultGroup::Headers, "MS", {50, 0}, true,
     "the blank line after the head split between its CR and LF, MS ms apart (default 50)",
     [](FaultContext& c) { return InTwoWrites(c, OrdinaryHeadSize(c) - 1, static_cast<int>(c.args[0])); }},

    // Body
    {"short-body", FaultGroup::Body, "BYTES", {1000, 0}, true,
     "Content-Length BYTES (default 1000) more than the body, then close",
     [](FaultContext& c) {
         const std::string line = "Content-Length: " + std::to_string(Body(c).size() + static_cast<std::size_t>(c.args[0]));
         return BodyUnderLengthLines(c, {line}, Outcome::Close);
     }},
    {"long-body", FaultGroup::Body, "BYTES", {kHalf, 0}, false,
     "Content-Length BYTES (default half the body), the whole body, connection kept open",
     [](FaultContext& c) {
         return BodyUnderLengthLines(c, {"Content-Length: " + std::to_string(BodyPortion(c, 0))}, Outcome::KeepAlive);
     }},
    {"chunked", FaultGroup::Body, "", kNoArgs, true,
     "chunked body, 4096-byte chunks, lower-case hex sizes",
     [](FaultContext& c) { return Chunked(c, {}); }},
    {"chunked-ext", FaultGroup::Body, "", kNoArgs, true,
     "chunked body with extensions after every size (\";ext=1;name=\"v\"\")",
     [](FaultContext& c) { return Chunked(c, {.extension = ";ext=1;name=\"v\""}); }},
    {"chunked-upper", FaultGroup::Body, "", kNoArgs, true,
     "chunked body with upper-case hex sizes (chunks of 0xABC bytes)",
     [](FaultContext& c) { return Chunked(c, {.chunkSize = 0xABC, .upperHex = true}); }},
    {"chunked-trailers", FaultGroup::Body, "", kNoArgs, true,
     "chunked body followed by two trailer fields",
     [](FaultContext& c) { return Chunked(c, {.trailers = true}); }},
    {"chunk-bad-size", FaultGroup::Body, "", kNoArgs, true,
     "chunked, with \"zz\" as the first chunk size, then close",
     [](FaultContext& c) { return BrokenChunk(c, "zz\r\n" + std::string(Body(c)) + "\r\n0\r\n\r\n"); }},
    {"chunk-huge-size", FaultGroup::Body, "", kNoArgs, true,
     "chunked, with a chunk size beyond 64 bits (FFFFFFFFFFFFFFFFFF), then close",
     [](FaultContext& c) { return BrokenChunk(c, "FFFFFFFFFFFFFFFFFF\r\n" + std::string(Body(c))); }},
    {"chunk-cut", FaultGroup::Body, "BYTES", {kHalf, 0}, true,
     "chunked, one chunk announcing the whole body, BYTES of it sent (default half), then close",
     [](FaultContext& c) {
         return BrokenChunk(c, Hex(Body(c).size(), false) + "\r\n" + std::string(Body(c).substr(0, BodyPortion(c, 0))));
     }},
    {"204-with-length", FaultGroup::Body, "", kNoArgs, false,
     "\"204 No Content\" carrying the body's Content-Length, no body",
     [](FaultContext& c) { return EmptyStatusWithLength(c, "HTTP/1.1 204 No Content"); }},
    {"304-with-length", FaultGroup::Body, "", kNoArgs, false,
     "\"304 Not Modified\" carrying the body's Content-Length, no body",
     [](FaultContext& c) { return EmptyStatusWithLength(c, "HTTP/1.1 304 Not Modified"); }},
    {"html-error-page", FaultGroup::Body, "", kNoArgs, false,
     "200 OK with an HTML error page (\"text/html\") in place of the tile, as some services send",
     HtmlErrorPage},
    {"two-replies", FaultGroup::Body, "", kNoArgs, false,
     "the reply and a second, unasked-for reply in one write",
     [](FaultContext& c) {
         return SendThen(c, Ordinary(c) + "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 13\r\n\r\nsecond reply\n",
                         Outcome::KeepAlive);
     }},

    // Timing
    {"slow-first-byte", FaultGroup::Timing, "MS", {1000, 0}, true,
     "wait MS ms (default 1000) before the first byte of the reply",
     [](FaultContext& c) { return InTwoWrites(c, 0, static_cast<int>(c.args[0])); }},
    {"drip", FaultGroup::Timing, "MS:BYTES", {100, 1}, false,
     "the whole reply BYTES at a time (default 1), MS ms apart (default 100)",
     [](FaultContext& c) {
         c.connection.SetPieces(static_cast<std::size_t>(std::max(1LL, c.args[1])), static_cast<int>(c.args[0]));
         return SendThen(c, Ordinary(c), Outcome::KeepAlive);
     }},
    {"stall-mid-body", FaultGroup::Timing, "MS", {1000, 0}, false,
     "half the reply, a pause of MS ms (default 1000), the rest",
     [](FaultContext& c) {
         return InTwoWrites(c, OrdinaryHeadSize(c) + Body(c).size() / 2, static_cast<int>(c.args[0]));
     }},
    {"never-ending", FaultGroup::Timing, "MS", {10, 0}, false,
     "a body without length that never ends: 1 KiB every MS ms (default 10) until the client leaves",
     NeverEnding},
};
// clang-format on

bool ParseArg(std::string_view text, long long& value) {
    const std::optional<long long> number = ParseInteger<long long>(text);
    if (!number || *number < 0) {
        return false;
    }
    value = *number;
    return true;
}

}  // namespace

std::string_view FaultGroupName(FaultGroup group) {
    // In the order of FaultGroup.
    static constexpr std::string_view kNames[] = {"connection", "status line", "headers", "body",
                                                  "timing"};
    return kNames[static_cast<std::size_t>(group)];
}

std::span<const FaultEntry> FaultCatalogue() {
    return kCatalogue;
}

bool ParseFault(std::string_view text, FaultChoice& choice, std::string& error) {
    const std::string_view name = text.substr(0, text.find(':'));
    const auto found = std::find_if(std::begin(kCatalogue), std::end(kCatalogue),
                                    [&](const FaultEntry& e) { return e.name == name; });
    if (found == std::end(kCatalogue)) {
        error = "unknown fault \"" + std::string(name) + "\" (see --help)";
        return false;
    }
    choice.entry = found;
    choice.args = found->defaults;
    const std::size_t allowed =
        found->argNames.empty()
            ? 0
            : std::count(found->argNames.begin(), found->argNames.end(), ':') + 1;
    std::size_t given = 0;
    for (std::string_view rest = text.substr(name.size()); !rest.empty();) {
        rest.remove_prefix(1);  // the ":"
        const std::string_view arg = rest.substr(0, rest.find(':'));
        rest.remove_prefix(arg.size());
        if (given == allowed || !ParseArg(arg, choice.args[given])) {
            error = "fault \"" + std::string(name) + "\" takes " +
                    (allowed == 0 ? std::string("no arguments")
                                  : "the whole numbers " + std::string(found->argNames));
            return false;
        }
        ++given;
    }
    return true;
}

std::string FaultText(const FaultChoice& choice) {
    std::size_t shown = kMaxFaultArgs;
    while (shown > 0 && choice.args[shown - 1] == choice.entry->defaults[shown - 1]) {
        --shown;
    }
    std::string text(choice.entry->name);
    for (std::size_t i = 0; i < shown; ++i) {
        text += ':';
        text += std::to_string(choice.args[i]);
    }
    return text;
}

}  // namespace tessellon::tileserver
