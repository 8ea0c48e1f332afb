// The HTTP client's text handling on memory: URLs, header lines, request
// header order, reply fields, dates, status lines and body framing.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "memory_stream.h"
#include "net/http_header_info.h"
#include "net/http_reply.h"
#include "net/internet_date.h"
#include "net/net_errors.h"
#include "net/uri.h"

namespace tessellon {
namespace {

using test::TMemoryStream;

TEST(Uri, SplitsIntoSchemeHostPortAndTheTargetThatIsSent) {
    const struct {
        const char* url;
        const char* protocol;
        const char* host;
        const char* port;
        bool namesPort;
        const char* path;
        const char* document;
        const char* bookmark;
    } cases[] = {
        {"http://tiles.example:8086/hx/tl?x=1&y=2", "http", "tiles.example", "8086", true, "/hx/",
         "tl?x=1&y=2", ""},
        {"http://host", "http", "host", "", false, "/", "", ""},
        {"http://host/a/b/c.png#frag/x", "http", "host", "", false, "/a/b/", "c.png", "frag/x"},
        {"http:\\\\host\\a\\b", "http", "host", "", false, "/a/", "b", ""},
        {"http://h/tile?path=a/b", "http", "h", "", false, "/tile?path=a/", "b", ""},
        {"http://host:abc/x", "http", "host", "abc", false, "/", "x", ""},
        {"http://host:/x", "http", "host", "", false, "/", "x", ""},
        {"/relative/doc", "", "", "", false, "/relative/", "doc", ""},
        {"doc", "", "", "", false, "/", "doc", ""},
    };
    for (const auto& c : cases) {
        const TUri uri(c.url);
        EXPECT_EQ(uri.Protocol(), c.protocol) << c.url;
        EXPECT_EQ(uri.Host(), c.host) << c.url;
        EXPECT_EQ(uri.Port(), c.port) << c.url;
        EXPECT_EQ(uri.NamesPort(), c.namesPort) << c.url;
        EXPECT_EQ(uri.Path(), c.path) << c.url;
        EXPECT_EQ(uri.Document(), c.document) << c.url;
        EXPECT_EQ(uri.Bookmark(), c.bookmark) << c.url;
    }
    EXPECT_EQ(TUri("http://h:8086/hx/tl?x=1").PortNumber(), 8086);
}

TEST(HttpHeaderList, ValuesJoinTheirContinuationLinesWithOneBlank) {
    THttpHeaderList list;
    for (const char* line : {"Server: a", " b", "\tc", "X:  y", "Trailing: a ", " b",
                             "Empty:", "  cont", "no colon here", "server: second"}) {
        list.Add(line);
    }
    EXPECT_EQ(list.ValueOf("SERVER"), "a b c");
    EXPECT_EQ(list.ValueOf("x"), "y");
    EXPECT_EQ(list.ValueOf("Trailing"), "a b");
    EXPECT_EQ(list.ValueOf("Empty"), "cont");
    EXPECT_EQ(list.ValueOf("Absent"), "");
    EXPECT_EQ(list.ValuesOf("Server"), (std::vector<std::string>{"a b c", "second"}));
    EXPECT_EQ(THttpHeaderList::NameOf("no colon here"), "");

    list.Delete("Server");
    EXPECT_EQ(list[0], "X:  y");
    EXPECT_EQ(list.ValueOf("Server"), "second");
}

TEST(HttpHeaderList, PutValueReplacesAppendsFoldsAndDeletes) {
    THttpHeaderList list;
    list.Add("A: 1");
    list.Add(" more");
    list.Add("B: 2");
    list.PutValue("a", "new");
    list.PutValue("C", "3");
    EXPECT_EQ(list.Lines(), (std::vector<std::string>{"a: new", "B: 2", "C: 3"}));

    std::string words;
    for (int i = 0; i < 30; ++i) {
        words += "word" + std::to_string(i) + " ";
    }
    list.PutValue("Long", words);
    for (std::size_t i = 3; i < list.Count(); ++i) {
        EXPECT_LE(list[i].size(), 78u);
        EXPECT_EQ(list[i].back() != ' ', true);
        EXPECT_EQ(i == 3 || list[i].front() == ' ', true);
    }
    EXPECT_GT(list.Count(), 4u);
    EXPECT_EQ(list.ValueOf("Long") + " ", words);

    list.PutValue("Long", "");
    list.PutValue("B", "");
    EXPECT_EQ(list.Lines(), (std::vector<std::string>{"a: new", "C: 3"}));
}

TEST(HttpHeaderInfo, Base64IsTheStandardEncodingWithFill) {
    EXPECT_EQ(Base64Encode(""), "");
    EXPECT_EQ(Base64Encode("f"), "Zg==");
    EXPECT_EQ(Base64Encode("fo"), "Zm8=");
    EXPECT_EQ(Base64Encode("foo"), "Zm9v");
    EXPECT_EQ(Base64Encode("Aladdin:open sesame"), "QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
    EXPECT_EQ(Base64Encode("\xff\xfe"), "//4=");
}

TEST(HttpHeaderInfo, RequestLinesFollowTheFixedOrderAndOnlyWhenSet) {
    THttpHeaderInfo request;
    request.AcceptCharSet = "utf-8";
    request.AcceptEncoding = "identity";
    request.AcceptLanguage = "en";
    request.From = "me@example";
    request.Referer = "http://ref/";
    request.Connection = "Keep_Alive";
    request.ContentVersion = "1";
    request.ContentEncoding = "gzip";
    request.ContentLanguage = "de";
    request.ContentType = "text/plain";
    request.ContentLength = 12;
    request.ContentRangeStart = 100;
    request.Username = "user";
    request.Password = "pass";
    request.ProxyServer = "proxy";
    request.ProxyUsername = "pu";
    request.ProxyPassword = "pp";
    request.ExtraHeaders.Add("X-One: 1");
    request.ExtraHeaders.Add("X-Two: 2");
    std::string lines = "GET / HTTP/1.1\r\n";
    request.AppendRequestHeaders(lines);
    EXPECT_EQ(lines,
              "GET / HTTP/1.1\r\n"
              "Accept: text/html, */*\r\nAccept-Charset: utf-8\r\nAccept-Encoding: identity\r\n"
              "Accept-Language: en\r\nFrom: me@example\r\nReferer: http://ref/\r\n"
              "User-Agent: Mozilla/3.0 (compatible; Tessellon)\r\nConnection: Keep_Alive\r\n"
              "Content-Version: 1\r\nContent-Encoding: gzip\r\nContent-Language: de\r\n"
              "Content-Type: text/plain\r\nContent-Length: 12\r\nRange: bytes=100-\r\n"
              "Authorization: Basic dXNlcjpwYXNz\r\nProxy-Authorization: Basic cHU6cHA=\r\n"
              "X-One: 1\r\nX-Two: 2\r\n");

    THttpHeaderInfo bare;
    bare.Password = "no user, no line";
    bare.ProxyUsername = "no proxy, no line";
    bare.ContentRangeEnd = 5;
    std::string bareLines;
    bare.AppendRequestHeaders(bareLines);
    EXPECT_EQ(bareLines,
              "Accept: text/html, */*\r\nUser-Agent: Mozilla/3.0 (compatible; Tessellon)\r\n"
              "Range: bytes=0-5\r\n");
}

TEST(HttpHeaderInfo, ReplyFieldsAreTakenOutAndTheRestKeptInOrder) {
    THttpHeaderList wire;
    for (const char* line :
         {"Server: tiles", "X-First: 1", "Connection: keep-alive", "Content-Type: image/png",
          "Content-Length: 20", "Connection: close", "Location: /next",
          "Content-Range: bytes 5-9/10", "Transfer-Encoding: identity", "WWW-Authenticate: Basic",
          "Proxy-Authenticate: Basic x"}) {
        wire.Add(line);
    }
    THttpHeaderInfo reply;
    reply.ExtraHeaders.Add("Stale: from an earlier reply");
    reply.ProcessReplyHeaders(wire);
    EXPECT_EQ(reply.Server, "tiles");
    EXPECT_EQ(reply.Connection, "keep-alive");
    EXPECT_EQ(reply.ContentType, "image/png");
    EXPECT_EQ(reply.ContentLength, 20);
    EXPECT_EQ(reply.Location, "/next");
    EXPECT_EQ(reply.ContentRangeStart, 5u);
    EXPECT_EQ(reply.ContentRangeEnd, 9u);
    EXPECT_EQ(reply.WWWAuthenticate, "Basic");
    EXPECT_EQ(reply.ProxyAuthenticate, "Basic x");
    EXPECT_EQ(reply.ExtraHeaders.Lines(),
              (std::vector<std::string>{"X-First: 1", "Connection: close",
                                        "Transfer-Encoding: identity"}));

    // A taken field leaves with its continuation lines; a kept one keeps
    // them, in place.
    THttpHeaderList folded;
    for (const char* line : {"X-Kept: a", " folded", "Location: /x", "\tcont", "location: /y"}) {
        folded.Add(line);
    }
    reply.ProcessReplyHeaders(folded);
    EXPECT_EQ(reply.Location, "/x cont");
    EXPECT_EQ(reply.Server, "");
    EXPECT_EQ(reply.ExtraHeaders.Lines(),
              (std::vector<std::string>{"X-Kept: a", " folded", "location: /y"}));
    EXPECT_EQ(folded.Lines(), reply.ExtraHeaders.Lines());

    THttpHeaderList badRange;
    badRange.Add("Content-Range: bytes x-9/10");
    EXPECT_THROW(
        {
            try {
                reply.ProcessReplyHeaders(badRange);
            } catch (const EConvertError& error) {
                EXPECT_STREQ(error.what(), "'x' is not a valid integer value");
                throw;
            }
        },
        EConvertError);
}

TEST(InternetDate, ReadsTheCommonFormsAndRefusesTheRest) {
    const double time = (8 * 3600 + 49 * 60 + 37) / 86400.0;
    const struct {
        const char* text;
        double expected;  // -1: unreadable
    } cases[] = {
        {"Sun, 06 Nov 1994 08:49:37 GMT", 34644 + time},
        {"Sunday, 06-Nov-94 08:49:37 GMT", 34644 + time},
        {"06 Nov 1994 08:49:37 +0200", 34644 + time - 2 / 24.0},
        {"6 nov 1994", 34644},
        {"06 Nov 10", 40488},
        {"06 Nov 85", 31357},
        {"Sun Nov  6 08:49:37 1994", -1},
        {"garbage", -1},
        {"32 Nov 1994", -1},
        {"06 Nov 1994 25:00:00", -1},
        {"Sun, 06 Nov 1994 08:49:37 GMT GMT", -1},
        {"Sun, 06 Nov 1994 08:49:37 -0130", 34644 + time + 1.5 / 24.0},
        {"\tSun,,06 Nov 1994\t08:49:37 GMT ", 34644 + time},
        {"", -1},
    };
    for (const auto& c : cases) {
        const std::optional<TDateTime> date = ParseInternetDate(c.text);
        if (c.expected < 0) {
            EXPECT_FALSE(date) << c.text;
        } else {
            ASSERT_TRUE(date) << c.text;
            EXPECT_NEAR(*date, c.expected, 1e-9) << c.text;
        }
    }
}

TEST(InternetDate, LocalTimeFollowsTheSystemZoneAndAnAbsentDateIsZeroShifted) {
    const char* saved = std::getenv("TZ");
    const std::string previous = saved != nullptr ? saved : "";
    ::setenv("TZ", "XYZ-2", 1);  // two hours east of UTC, no daylight saving
    ::tzset();
    EXPECT_NEAR(UtcToLocal(*ParseInternetDate("6 Nov 1994 10:00:00 GMT")), 34644 + 12 / 24.0, 1e-9);
    EXPECT_NEAR(UtcToLocal(0.0), 2 / 24.0, 1e-9);
    // A reply's dates: an unreadable one counts as absent, and the time of
    // the other date is its own.
    THttpHeaderList wire;
    wire.Add("Date: 6 Nov 1994 10:00:00 GMT");
    wire.Add("Last-Modified: yesterday");
    THttpHeaderInfo reply;
    reply.ProcessReplyHeaders(wire);
    EXPECT_NEAR(reply.Date, 34644 + 12 / 24.0, 1e-9);
    EXPECT_NEAR(reply.LastModified, 2 / 24.0, 1e-9);
    EXPECT_NEAR(reply.Expires, 2 / 24.0, 1e-9);
    EXPECT_FALSE(reply.LastModifiedUnix.has_value());
    if (saved != nullptr) {
        ::setenv("TZ", previous.c_str(), 1);
    } else {
        ::unsetenv("TZ");
    }
    ::tzset();
}

TEST(HttpStatusLine, CodeTextAndVersionComeFromTheLineAndACodeMustBeAnInteger) {
    const struct {
        const char* line;
        int code;
        const char* text;
        bool version10;
    } cases[] = {
        {"HTTP/1.1 200 OK", 200, "200 OK", false},
        {"HTTP/1.0 404 Not Found", 404, "404 Not Found", true},
        {"HTTP/1.1 404", 404, "404", false},
        {"HTTP/1.1 20 OK", 20, "20 OK", false},
        {"HTTP/1.1 -200 Minus", -200, "-200 Minus", false},
    };
    for (const auto& c : cases) {
        const THttpStatusLine status = ParseStatusLine(c.line);
        EXPECT_EQ(status.Code, c.code) << c.line;
        EXPECT_EQ(status.Text, c.text) << c.line;
        EXPECT_EQ(status.Version10, c.version10) << c.line;
    }
    for (const auto& [line, codeText] : std::vector<std::pair<std::string, std::string>>{
             {"HTTP/1.1 abc OK", "abc"},
             {"", ""},
             {"HTTP/1.1", ""},
             {"HTTP/1.1 2147483648 Big", "2147483648"}}) {
        const THttpStatusLine status = ParseStatusLine(line);
        EXPECT_FALSE(status.ValidCode) << line;
        EXPECT_EQ(status.CodeText, codeText) << line;
    }
}

TEST(HttpReplyBody, FramingFollowsMethodStatusAndHeaders) {
    const std::size_t none = static_cast<std::size_t>(-1);
    const struct {
        std::vector<std::string> headers;
        THttpMethod method;
        int code;
        TBodyFraming framing;
        std::size_t length;  // `none`: EInvalidReply expected
    } cases[] = {
        {{"Content-Length: 5"}, THttpMethod::Get, 200, TBodyFraming::Length, 5},
        {{"Content-Length:  5 "}, THttpMethod::Get, 200, TBodyFraming::Length, 5},
        {{"Content-Length: 0"}, THttpMethod::Get, 200, TBodyFraming::None, 0},
        {{}, THttpMethod::Get, 200, TBodyFraming::UntilClose, 0},
        {{"Content-Length: 5"}, THttpMethod::Head, 200, TBodyFraming::None, 0},
        {{"Content-Length: 5"}, THttpMethod::Get, 204, TBodyFraming::None, 0},
        {{"Content-Length: 5"}, THttpMethod::Get, 304, TBodyFraming::None, 0},
        {{}, THttpMethod::Get, 101, TBodyFraming::None, 0},
        {{"Transfer-Encoding: chunked", "Content-Length: 5"},
         THttpMethod::Get,
         200,
         TBodyFraming::Chunked,
         0},
        {{"Transfer-Encoding: gzip, Chunked"}, THttpMethod::Get, 200, TBodyFraming::Chunked, 0},
        {{"Content-Length: 5", "Content-Length: 5"},
         THttpMethod::Get,
         200,
         TBodyFraming::Length,
         5},
        {{"Content-Length: 5", "Content-Length: 6"}, THttpMethod::Get, 200, {}, none},
        {{"Content-Length: -1"}, THttpMethod::Get, 200, {}, none},
        {{"Content-Length: 6abc"}, THttpMethod::Get, 200, {}, none},
        {{"Content-Length: 268435457"}, THttpMethod::Get, 200, {}, none},
        {{"Content-Length: 99999999999999999999999"}, THttpMethod::Get, 404, {}, none},
        {{"Content-Length:"}, THttpMethod::Get, 200, {}, none},
    };
    const THttpReplyLimits limits;
    for (const auto& c : cases) {
        THttpHeaderList headers;
        for (const std::string& line : c.headers) {
            headers.Add(line);
        }
        const std::string label = headers.Empty() ? "(none)" : headers[0];
        if (c.length == none) {
            try {
                PlanReplyBody(headers, c.method, c.code, limits);
                ADD_FAILURE() << label;
            } catch (const EInvalidReply& error) {
                EXPECT_STREQ(error.what(), kInvalidContentLength) << label;
            }
            continue;
        }
        const TBodyPlan plan = PlanReplyBody(headers, c.method, c.code, limits);
        EXPECT_EQ(plan.Framing, c.framing) << label << " " << c.code;
        EXPECT_EQ(plan.Length, c.length) << label;
    }
}

// Reads one reply from memory, handed out in pieces of at most `piece`
// bytes; `error` is the message raised, "" for none.
struct TReadResult {
    THttpStatusLine status;
    std::string body;
    std::string error;
    std::string rest;
};

TReadResult ReadReply(const std::string& bytes, const THttpReplyLimits& limits = {},
                      std::size_t piece = std::string::npos) {
    TMemoryStream stream(bytes, piece);
    TStreamReader input(stream);
    THttpReplyReader reader(input, limits);
    TReadResult result;
    try {
        THttpHeaderList headers;
        result.status = reader.ReadHead(headers);
        TNetBuffer body;
        reader.ReadBody(PlanReplyBody(headers, THttpMethod::Get, result.status.Code, limits), body);
        result.body = std::string(body.View());
    } catch (const ENetException& error) {
        result.error = error.what();
    }
    result.rest = std::string(input.Buffer().View()) + std::string(stream.Rest());
    return result;
}

// The reader must give the same reply however the bytes are cut.
constexpr std::size_t kPieces[] = {1, 3, std::string::npos};

TEST(HttpReplyReader, ChunkedBodiesIgnoreExtensionsAcceptUpperCaseAndConsumeTheTrailer) {
    const std::string letters = "abcdefghijklmnopqrstuvwxyz";
    for (const std::size_t piece : kPieces) {
        const TReadResult result = ReadReply(
            "HTTP/1.1 200 OK\nTransfer-Encoding: chunked\n\n"
            "1A;name=value\r\n" +
                letters + "\r\n" +
                "3 more text\r\nxyz\r\n"
                "0\r\nX-Trailer: t\r\n\r\nNEXT",
            {}, piece);
        EXPECT_EQ(result.error, "") << piece;
        EXPECT_EQ(result.body, letters + "xyz") << piece;
        EXPECT_EQ(result.rest, "NEXT") << piece;
    }
}

TEST(HttpReplyReader, InterimRepliesBeforeTheFinalOneAreSkipped) {
    for (const std::size_t piece : kPieces) {
        const TReadResult result = ReadReply(
            "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 102 Processing\r\nX: y\r\n\r\n"
            "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nokNEXT",
            {}, piece);
        EXPECT_EQ(result.status.Code, 200) << piece;
        EXPECT_EQ(result.body, "ok") << piece;
        EXPECT_EQ(result.rest, "NEXT") << piece;
    }
}

TEST(HttpReplyReader, BrokenFramingAndOversizedPartsFailWithTheirOwnMessages) {
    THttpReplyLimits small;
    small.MaxLineLength = 40;
    small.MaxHeaderBlock = 60;
    small.MaxBodySize = 10;
    const std::string chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    const struct {
        std::string reply;
        const char* message;
    } cases[] = {
        {chunked + "zz\r\nabc\r\n0\r\n\r\n", kInvalidChunkedCoding},
        {chunked + "\r\n", kInvalidChunkedCoding},
        {chunked + "3\r\nabcd\r\n0\r\n\r\n", kInvalidChunkedCoding},
        {chunked + "3\r\nab", "Connection Closed Gracefully."},
        {chunked + "b\r\nabcdefghijk\r\n0\r\n\r\n", kReplyBodyTooLarge},
        {chunked + "ffffffffffffffffff\r\n", kInvalidChunkedCoding},
        {"HTTP/1.1 200 OK\r\nX: " + std::string(50, 'x') + "\r\n\r\n", kReplyLineTooLong},
        {"HTTP/1.1 200 OK\r\nA: 1\r\nB: 2\r\nC: 3\r\nD: 4\r\nE: 5\r\nF: 6\r\nG: 7\r\nH: 8\r\n"
         "I: 9\r\nJ: 10\r\nK: 11\r\nL: 12\r\nM: 13\r\n\r\n",
         kReplyHeaderTooLarge},
        {"HTTP/1.1 200 OK\r\n\r\n" + std::string(11, 'x'), kReplyBodyTooLarge},
        {"HTTP/1.1 200 OK\r\nContent-Length: 11\r\n\r\n", kInvalidContentLength},
        {"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nshort", "Connection Closed Gracefully."},
    };
    for (const auto& c : cases) {
        for (const std::size_t piece : kPieces) {
            EXPECT_EQ(ReadReply(c.reply, small, piece).error, c.message) << piece << c.reply;
        }
    }
}

// A hostile peer: a reply head, then the same bytes again and again, for ever.
class TEndlessStream : public TByteStream {
public:
    TEndlessStream(std::string head, std::string unit)
        : head_(std::move(head)), unit_(std::move(unit)) {}

    std::size_t Read(char* into, std::size_t size) override {
        for (std::size_t i = 0; i < size; ++i, ++at_) {
            into[i] = at_ < head_.size() ? head_[at_] : unit_[(at_ - head_.size()) % unit_.size()];
        }
        return size;
    }

private:
    std::string head_;
    std::string unit_;
    std::size_t at_ = 0;
};

// Eight workers hold eight bodies: an endless one must never take more room
// than the limit, which need not be a power of two.
TEST(HttpReplyReader, AnEndlessBodyFailsWithoutTheBufferGrowingPastTheLimit) {
    THttpReplyLimits limits;
    limits.MaxBodySize = 1'500'000;
    const std::string chunk(0x10000, 'c');
    const struct {
        std::string head;
        std::string unit;
    } peers[] = {
        {"HTTP/1.1 200 OK\r\n\r\n", "x"},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", "10000\r\n" + chunk + "\r\n"},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n",
         "3e8\r\n" + chunk.substr(0, 1000) + "\r\n"},
    };
    for (const auto& peer : peers) {
        TEndlessStream stream(peer.head, peer.unit);
        TStreamReader input(stream);
        THttpReplyReader reader(input, limits);
        THttpHeaderList headers;
        const THttpStatusLine status = reader.ReadHead(headers);
        TNetBuffer body;
        try {
            reader.ReadBody(PlanReplyBody(headers, THttpMethod::Get, status.Code, limits), body);
            ADD_FAILURE() << "no error for " << peer.head;
        } catch (const EInvalidReply& error) {
            EXPECT_STREQ(error.what(), kReplyBodyTooLarge);
        }
        EXPECT_LE(body.Capacity(), limits.MaxBodySize) << peer.head;
    }
}

TEST(HttpReplyReader, ABodyOfExactlyTheLimitIsWhole) {
    THttpReplyLimits limits;
    limits.MaxBodySize = 100'000;
    const std::string body(limits.MaxBodySize, 'b');
    for (const std::size_t piece : kPieces) {
        EXPECT_EQ(ReadReply("HTTP/1.1 200 OK\r\n\r\n" + body, limits, piece).body, body) << piece;
        const TReadResult chunked =
            ReadReply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n186a0\r\n" + body +
                          "\r\n0\r\n\r\n",
                      limits, piece);
        EXPECT_EQ(chunked.error, "") << piece;
        EXPECT_EQ(chunked.body, body) << piece;
    }
}

}  // namespace
}  // namespace tessellon
