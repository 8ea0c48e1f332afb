// Server faults, one scripted server each, against a tile request. Every
// case runs twice: with the replies written whole, and written in 7-byte
// pieces to a client that reads 5 bytes at a time.

#include <gtest/gtest.h>
#include <unistd.h>

#include "http_test_support.h"
#include "net/http_client.h"
#include "script_server.h"

namespace tessellon {
namespace {

using namespace std::chrono_literals;
using test::HttpReply;
using test::TScriptServer;
using test::TServerScript;

const std::string kClosed = "closed:Connection Closed Gracefully.";
const std::string kReset = "socket:Socket Error # 10054\r\nConnection reset by peer.";
const std::string kTimedOut = "socket:Socket Error # 10060\r\nConnection timed out.";
const std::string kRefused = "socket:Socket Error # 10061\r\nConnection refused.";

std::string Invalid(const char* message) {
    return std::string("invalid:") + message;
}

struct TFault {
    const char* name;
    // No script: nobody listens on the port.
    std::vector<TServerScript> scripts;
    std::string outcome;
    // After a success: whether the client closed the connection.
    bool closedAfter = false;
    // Too many bytes to send in small pieces within the time limits.
    bool wholeOnly = false;
};

TServerScript Answer(const std::string& reply) {
    return TServerScript().Answer(reply);
}
TServerScript AnswerAndClose(const std::string& reply) {
    return Answer(reply).Close();
}

std::vector<TFault> Faults() {
    const std::string chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    const std::string bigHeaders = [] {
        std::string lines = "HTTP/1.1 200 OK\r\n";
        for (int i = 0; i < 40; ++i) {
            lines += "X-Filler-" + std::to_string(i) + ": " + std::string(60 * 1024, 'f') + "\r\n";
        }
        return lines + "Content-Length: 2\r\n\r\nok";
    }();
    return {
        // Connection.
        {"refused port", {}, kRefused},
        {"accept and never answer", {TServerScript().ReadRequest().Sleep(3000)}, kTimedOut},
        {"close at once", {TServerScript().ReadRequest().Close()}, kClosed},
        {"close inside the header", {AnswerAndClose("HTTP/1.1 200 OK\r\nContent-Le")}, kClosed},
        {"reset at once", {TServerScript().ReadRequest().Reset()}, kReset},
        {"close mid-body",
         {TServerScript()
              .Answer("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n" + std::string(40, 'b'))
              .Sleep(20)
              .Close()},
         kClosed},
        {"reset mid-body",
         {TServerScript()
              .Answer("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n" + std::string(40, 'b'))
              .Sleep(20)
              .Reset()},
         kReset},
        // Status line.
        {"HTTP/1.0 without a length",
         {AnswerAndClose("HTTP/1.0 200 OK\r\nServer: old\r\n\r\nuntil close")},
         "body:until close",
         true},
        {"no reason phrase", {Answer("HTTP/1.1 200\r\nContent-Length: 2\r\n\r\nok")}, "body:ok"},
        {"no reason phrase on an error", {Answer(HttpReply("", "", "404"))}, "protocol:404:404"},
        {"odd reason phrase", {Answer(HttpReply("ok", "", "200 Fine By Me"))}, "body:ok"},
        {"two-digit code", {Answer(HttpReply("", "", "20 OK"))}, "protocol:20:20 OK"},
        {"letters for a code",
         {Answer(HttpReply("", "", "abc OK"))},
         "convert:'abc' is not a valid integer value"},
        {"negative code", {Answer(HttpReply("", "", "-200 OK"))}, "protocol:-200:-200 OK"},
        {"no status line at all",
         {AnswerAndClose("just some text\r\n")},
         "convert:'some' is not a valid integer value"},
        {"interim replies before the final one",
         {Answer("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 102 Processing\r\n\r\n" +
                 HttpReply("final"))},
         "body:final"},
        {"302",
         {Answer(HttpReply("", "Location: /moved\r\n", "302 Found"))},
         "protocol:302:302 Found"},
        {"400", {Answer(HttpReply("", "", "400 Bad Request"))}, "protocol:400:400 Bad Request"},
        {"403", {Answer(HttpReply("no", "", "403 Forbidden"))}, "protocol:403:403 Forbidden"},
        {"404", {Answer(HttpReply("nope", "", "404 Not Found"))}, "protocol:404:404 Not Found"},
        {"500",
         {Answer(HttpReply("", "", "500 Internal Server Error"))},
         "protocol:500:500 Internal Server Error"},
        {"503",
         {Answer(HttpReply("", "", "503 Service Unavailable"))},
         "protocol:503:503 Service Unavailable"},
        // A status text reaches the log: its control characters are shown.
        {"control characters in the reason phrase",
         {Answer(HttpReply("", "", "404 Not\x1b[2J Found\x07"))},
         "protocol:404:404 Not\\x1B[2J Found\\x07"},
        {"control characters in the code",
         {Answer(HttpReply("", "",
                           "4\x1b"
                           "04 Not Found"))},
         "convert:'4\\x1B04' is not a valid integer value"},
        // Headers.
        {"folded lines",
         {Answer("HTTP/1.1 200 OK\r\nServer: a\r\n b\r\nContent-Length:\r\n \t 5\r\n\r\nfolds")},
         "body:folds"},
        {"100 KiB header line",
         {Answer("HTTP/1.1 200 OK\r\nX-Big: " + std::string(100 * 1024, 'h') + "\r\n\r\n")},
         Invalid(kReplyLineTooLong),
         false,
         true},
        {"2 MiB header block", {Answer(bigHeaders)}, Invalid(kReplyHeaderTooLarge), false, true},
        {"a line without a colon", {Answer(HttpReply("ok", "no colon here\r\n"))}, "body:ok"},
        {"NUL bytes", {Answer(HttpReply("ok", std::string("X-Nul: a\0b\r\n", 12)))}, "body:ok"},
        {"Content-Length 0 on a kept connection", {Answer(HttpReply(""))}, "body:"},
        {"duplicated equal Content-Length",
         {Answer(HttpReply("dup", "Content-Length: 3\r\n"))},
         "body:dup"},
        {"duplicated different Content-Length",
         {Answer(HttpReply("dup", "Content-Length: 4\r\n"))},
         Invalid(kInvalidContentLength)},
        {"negative Content-Length",
         {Answer("HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\nabc")},
         Invalid(kInvalidContentLength)},
        {"Content-Length 6abc",
         {Answer("HTTP/1.1 200 OK\r\nContent-Length: 6abc\r\n\r\nabcdef")},
         Invalid(kInvalidContentLength)},
        {"huge Content-Length",
         {Answer("HTTP/1.1 200 OK\r\nContent-Length: 1099511627776\r\n\r\nabc")},
         Invalid(kInvalidContentLength)},
        {"Connection: close", {Answer(HttpReply("c", "Connection: close\r\n"))}, "body:c", true},
        {"Connection: Close", {Answer(HttpReply("c", "Connection: Close\r\n"))}, "body:c", true},
        {"two Connection lines",
         {Answer(HttpReply("c", "Connection: keep-alive\r\nConnection: close\r\n"))},
         "body:c",
         true},
        {"LF-only line ends", {Answer("HTTP/1.1 200 OK\nContent-Length: 2\n\nok")}, "body:ok"},
        {"blank line split across writes",
         {TServerScript()
              .Answer("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r")
              .Sleep(30)
              .Send("\nsplit")},
         "body:split"},
        // Body.
        {"Content-Length larger than the body, then close",
         {AnswerAndClose("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nshort")},
         kClosed},
        {"Content-Length smaller than the body", {Answer(HttpReply("abc") + "EXTRA")}, "body:abc"},
        {"chunked with extensions, upper-case hex and trailers",
         {Answer(chunked + "A;ext=1\r\n0123456789\r\n1a ; more\r\nabcdefghijklmnopqrstuvwxyz\r\n"
                           "0\r\nX-Checksum: 1\r\n\r\n")},
         "body:0123456789abcdefghijklmnopqrstuvwxyz"},
        {"bad chunk size",
         {Answer(chunked + "xyz\r\nabc\r\n0\r\n\r\n")},
         Invalid(kInvalidChunkedCoding)},
        {"chunk cut short", {AnswerAndClose(chunked + "10\r\nonly part")}, kClosed},
        {"204 carrying a length",
         {Answer("HTTP/1.1 204 No Content\r\nContent-Length: 5\r\n\r\nhello")},
         "body:"},
        {"304 carrying a length",
         {Answer("HTTP/1.1 304 Not Modified\r\nContent-Length: 5\r\n\r\n")},
         "protocol:304:304 Not Modified"},
        // Timing.
        {"slow first byte",
         {TServerScript().ReadRequest().Sleep(100).Send(HttpReply("late"))},
         "body:late"},
        {"slow drip below the idle limit",
         {TServerScript().ReadRequest().Drip(HttpReply("drip"), 4, 15)},
         "body:drip"},
        {"a body that never ends",
         {TServerScript().ReadRequest().Drip(
             "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(100000, 'd'), 10,
             50)},
         kTimedOut},
    };
}

void RunFaults(std::size_t pieceSize) {
    for (const TFault& fault : Faults()) {
        if (pieceSize > 0 && fault.wholeOnly) {
            continue;
        }
        SCOPED_TRACE(fault.name);
        TScriptServer server(fault.scripts, pieceSize);
        std::string url = server.Url("/hx/tl?x=1&y=2&z=3");
        if (fault.scripts.empty()) {
            url = "http://127.0.0.1:" + std::to_string(test::UnusedPort()) + "/";
        }
        THttpClient http;
        http.TimeLimits.Idle = 250ms;
        http.TimeLimits.Request = 900ms;
        if (pieceSize > 0) {
            http.Reader().ReadSize = 5;
        }
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(test::Get(http, url), fault.outcome);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms);
        if (fault.outcome.rfind("body:", 0) == 0) {
            EXPECT_EQ(http.IsConnected(), !fault.closedAfter);
        } else if (fault.outcome.rfind("protocol:", 0) != 0) {
            EXPECT_FALSE(http.IsConnected());  // a failed reply releases its socket
        }
    }
}

TEST(HttpFaults, EachFaultEndsWithItsResultWhenRepliesComeWhole) {
    RunFaults(0);
}

TEST(HttpFaults, EachFaultEndsWithItsResultWhenRepliesComeInPieces) {
    RunFaults(7);
}

TEST(HttpFaultsKeptConnection, AServerThatClosesIdleConnectionsCostsNoFailure) {
    TScriptServer server({Answer(HttpReply("one")).Sleep(30).Close(), Answer(HttpReply("two"))});
    THttpClient http;
    EXPECT_EQ(test::Get(http, server.Url("/1")), "body:one");
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(test::Get(http, server.Url("/2")), "body:two");
    EXPECT_EQ(server.Connections(), 2);
}

TEST(HttpFaultsKeptConnection, ARequestTheServerDropsUnansweredIsRetriedOnceOnANewConnection) {
    // Closing after N requests without saying so: the next request is sent
    // on the kept connection and only then meets the close.
    TScriptServer server({Answer(HttpReply("one")).ReadRequest().Close(),
                          Answer(HttpReply("two")).ReadRequest().Reset(),
                          TServerScript().ReadRequest().Close()});
    THttpClient http;
    EXPECT_EQ(test::Get(http, server.Url("/1")), "body:one");
    EXPECT_EQ(test::Get(http, server.Url("/2")), "body:two");
    EXPECT_EQ(test::Get(http, server.Url("/3")), kClosed);  // one retry, not more
    EXPECT_EQ(server.Connections(), 3);
    EXPECT_EQ(server.Requests().size(), 5u);
}

TEST(HttpFaultsKeptConnection, AResetRightAfterACompleteReplyCostsNeitherItNorTheNext) {
    TScriptServer server({Answer(HttpReply("complete")).Reset(),
                          Answer("HTTP/1.1 101 Switching Protocols\r\n\r\n"),
                          Answer(HttpReply("next"))});
    THttpClient http;
    http.Reader().ReadSize = 5;  // many receives: the reset is in before the reply is read
    EXPECT_EQ(test::Get(http, server.Url("/1")), "body:complete");
    http.Reader().ReadSize = 32768;
    EXPECT_EQ(test::Get(http, server.Url("/2")), "protocol:101:101 Switching Protocols");
    EXPECT_FALSE(http.IsConnected());
    EXPECT_EQ(test::Get(http, server.Url("/3")), "body:next");
}

TEST(HttpFaultsKeptConnection, BytesNoRequestAskedForAreNeverReadAsTheNextReply) {
    const struct {
        const char* name;
        std::string first;
        std::string firstBody;
    } cases[] = {
        {"a body longer than its length", HttpReply("abc") + "EXTRA", "abc"},
        {"two replies in one write", HttpReply("first") + HttpReply("second"), "first"},
        {"a 204 with a body", "HTTP/1.1 204 No Content\r\nContent-Length: 5\r\n\r\nhello", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TScriptServer server({Answer(c.first), Answer(HttpReply("fresh"))});
        THttpClient http;
        EXPECT_EQ(test::Get(http, server.Url("/1")), "body:" + c.firstBody);
        EXPECT_EQ(test::Get(http, server.Url("/2")), "body:fresh");
        EXPECT_EQ(server.Connections(), 2);
    }
}

}  // namespace
}  // namespace tessellon
