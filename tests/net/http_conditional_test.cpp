// Conditional requests: the validators a reply carries, the two request
// headers that send them back, and a 304 as the answer to them.

#include <gtest/gtest.h>

#include "http_test_support.h"
#include "net/http_client.h"
#include "net/internet_date.h"
#include "script_server.h"

namespace tessellon {
namespace {

using test::Get;
using test::HttpReply;
using test::TScriptServer;
using test::TServerScript;

// 1994-11-06 08:49:37 UTC.
constexpr std::int64_t kNov1994 = 784111777;

TEST(HttpConditional, ValidatorsAreKeptWithTheDateInUtcWhateverZoneItCameIn) {
    TScriptServer server({TServerScript()
                              .Answer(HttpReply("a",
                                                "ETag: W/\"v1\"  \r\n"
                                                "Last-Modified: Sun, 06 Nov 1994 10:49:37 "
                                                "+0200\r\n"))
                              .Answer(HttpReply("b"))});
    THttpClient http;
    EXPECT_EQ(Get(http, server.Url("/t")), "body:a");
    EXPECT_EQ(http.Reply().ETag, "W/\"v1\"");
    EXPECT_EQ(http.Reply().LastModifiedUnix, kNov1994);
    EXPECT_FALSE(http.Reply().ExtraHeaders.Has("ETag"));
    // A reply without them leaves none behind from the one before.
    EXPECT_EQ(Get(http, server.Url("/t")), "body:b");
    EXPECT_EQ(http.Reply().ETag, "");
    EXPECT_FALSE(http.Reply().LastModifiedUnix.has_value());
}

TEST(HttpConditional, TheRequestSendsTheWeakETagVerbatimAndTheDateInGmt) {
    TScriptServer server({TServerScript().Answer("HTTP/1.1 304 Not Modified\r\n\r\n")});
    THttpClient http;
    http.Request.ETag = "W/\"v1\"";
    http.Request.LastModifiedUnix = kNov1994;
    EXPECT_EQ(Get(http, server.Url("/t")), "body:");
    EXPECT_EQ(http.StatusCode(), 304);
    const std::string host = "127.0.0.1:" + std::to_string(server.Port());
    EXPECT_EQ(server.Requests(),
              std::vector<std::string>{"GET /t HTTP/1.1\r\nHost: " + host +
                                       "\r\nAccept: text/html, */*\r\n"
                                       "User-Agent: Mozilla/3.0 (compatible; Tessellon)\r\n"
                                       "If-None-Match: W/\"v1\"\r\n"
                                       "If-Modified-Since: Sun, 06 Nov 1994 08:49:37 GMT\r\n"
                                       "\r\n"});
}

TEST(HttpConditional, A304ToAPlainRequestStaysAFailure) {
    TScriptServer server({TServerScript().Answer("HTTP/1.1 304 Not Modified\r\n\r\n")});
    THttpClient http;
    EXPECT_EQ(Get(http, server.Url("/t")), "protocol:304:304 Not Modified");
}

TEST(HttpConditional, A304WithABodyDoesNotLeakIntoTheNextReply) {
    // The stray body would be read as the next reply's head: the connection
    // that carries it is dropped, and the next request goes on a new one.
    TScriptServer server(
        {TServerScript().Answer("HTTP/1.1 304 Not Modified\r\nContent-Length: 5\r\n\r\nstray"),
         TServerScript().Answer(HttpReply("fresh"))});
    THttpClient http;
    http.Request.ETag = "\"v1\"";
    EXPECT_EQ(Get(http, server.Url("/t")), "body:");
    EXPECT_EQ(Get(http, server.Url("/t")), "body:fresh");
    EXPECT_EQ(server.Connections(), 2);
}

TEST(HttpConditional, InternetDatesRoundTripThroughUnixSeconds) {
    EXPECT_EQ(UnixToInternetDate(0), "Thu, 01 Jan 1970 00:00:00 GMT");
    EXPECT_EQ(UnixToInternetDate(kNov1994), "Sun, 06 Nov 1994 08:49:37 GMT");
    EXPECT_EQ(InternetDateToUnix("Sun, 06 Nov 1994 08:49:37 GMT"), kNov1994);
    EXPECT_EQ(InternetDateToUnix("Sunday, 06-Nov-94 03:49:37 -0500"), kNov1994);
    EXPECT_FALSE(InternetDateToUnix("yesterday").has_value());
}

}  // namespace
}  // namespace tessellon
