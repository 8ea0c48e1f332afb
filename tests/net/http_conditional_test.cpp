// Conditional requests: the validators a reply carries, the two request
// headers that send them back, and a 304 as the answer to them.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <ctime>

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
    TScriptServer server({TServerScript()
                              .Answer("HTTP/1.1 304 Not Modified\r\n\r\n")
                              .Answer("HTTP/1.1 304 Not Modified\r\n\r\n")});
    THttpClient http;
    http.Request.ETag = "W/\"v1\"";
    http.Request.LastModifiedUnix = kNov1994;
    EXPECT_EQ(Get(http, server.Url("/t")), "body:");
    EXPECT_EQ(http.StatusCode(), 304);
    // A store's record may hold any number of seconds: a date the header
    // cannot carry is left out.
    http.Request.LastModifiedUnix = INT64_MAX;
    EXPECT_EQ(Get(http, server.Url("/t")), "body:");
    const std::string head = "GET /t HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(server.Port()) +
                             "\r\nAccept: text/html, */*\r\n"
                             "User-Agent: Mozilla/3.0 (compatible; Tessellon)\r\n"
                             "If-None-Match: W/\"v1\"\r\n";
    EXPECT_EQ(
        server.Requests(),
        (std::vector<std::string>{head + "If-Modified-Since: Sun, 06 Nov 1994 08:49:37 GMT\r\n\r\n",
                                  head + "\r\n"}));
}

TEST(HttpConditional, A304ToAPlainRequestStaysAFailure) {
    TScriptServer server({TServerScript()
                              .Answer("HTTP/1.1 304 Not Modified\r\n\r\n")
                              .Answer("HTTP/1.1 304 Not Modified\r\n\r\n")});
    THttpClient http;
    EXPECT_EQ(Get(http, server.Url("/t")), "protocol:304:304 Not Modified");
    // A date the request cannot carry leaves it plain.
    http.Request.LastModifiedUnix = INT64_MAX;
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
    EXPECT_EQ(DateTimeToUnix(*ParseInternetDate("Sun, 06 Nov 1994 08:49:37 GMT")), kNov1994);
    EXPECT_EQ(DateTimeToUnix(*ParseInternetDate("Sunday, 06-Nov-94 03:49:37 -0500")), kNov1994);
    // Every day and time of the four-digit years, stepped unevenly, as the
    // C library writes them.
    constexpr std::int64_t kFirst = -62135596800;  // 0001-01-01 00:00:00
    constexpr std::int64_t kEnd = 253402300800;    // 10000-01-01 00:00:00
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    int checked = 0;
    for (std::int64_t seconds = kFirst; seconds < kEnd; seconds += 86400 * 29 + 3541) {
        const auto instant = static_cast<std::time_t>(seconds);
        std::tm utc{};
        ASSERT_NE(::gmtime_r(&instant, &utc), nullptr);
        char expected[40];
        std::snprintf(expected, sizeof expected, "%s, %02d %s %04d %02d:%02d:%02d GMT",
                      kDays[utc.tm_wday], utc.tm_mday, kMonths[utc.tm_mon], utc.tm_year + 1900,
                      utc.tm_hour, utc.tm_min, utc.tm_sec);
        ASSERT_EQ(UnixToInternetDate(seconds), expected) << seconds;
        ASSERT_EQ(DateTimeToUnix(*ParseInternetDate(expected)), seconds) << expected;
        ++checked;
    }
    EXPECT_GT(checked, 120000);
    EXPECT_EQ(UnixToInternetDate(kFirst), "Mon, 01 Jan 0001 00:00:00 GMT");
    EXPECT_EQ(UnixToInternetDate(kEnd - 1), "Fri, 31 Dec 9999 23:59:59 GMT");
    EXPECT_EQ(UnixToInternetDate(-1), "Wed, 31 Dec 1969 23:59:59 GMT");
    EXPECT_EQ(UnixToInternetDate(951782400), "Tue, 29 Feb 2000 00:00:00 GMT");
    // A date the header cannot carry is none.
    EXPECT_EQ(UnixToInternetDate(kFirst - 1), "");
    EXPECT_EQ(UnixToInternetDate(kEnd), "");
    EXPECT_EQ(UnixToInternetDate(INT64_MIN), "");
    EXPECT_EQ(UnixToInternetDate(INT64_MAX), "");
}

}  // namespace
}  // namespace tessellon
