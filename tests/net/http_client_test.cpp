// THttpClient against scripted servers on 127.0.0.1: the exact request
// bytes, target and connection reuse, redirects and the reply classes.

#include "net/http_client.h"

#include <gtest/gtest.h>

#include "http_test_support.h"
#include "script_server.h"
#include "test_proxy.h"

namespace tessellon {
namespace {

using namespace std::chrono_literals;
using test::Get;
using test::HttpReply;
using test::TScriptServer;
using test::TServerScript;

std::string Host(const TScriptServer& server) {
    return "127.0.0.1:" + std::to_string(server.Port());
}

TEST(HttpClientRequest, ATileRequestIsTheseBytesInOneSend) {
    TScriptServer server({TServerScript().Answer(HttpReply("tile"))});
    THttpClient http;
    std::vector<std::int64_t> writes;
    http.OnWork = [&](TNetComponent&, TWorkMode mode, std::int64_t total) {
        if (mode == TWorkMode::Write) {
            writes.push_back(total);
        }
    };
    EXPECT_EQ(Get(http, server.Url("/hx/tl?x=1&y=2&z=3#not-sent")), "body:tile");
    const std::string expected = "GET /hx/tl?x=1&y=2&z=3 HTTP/1.1\r\nHost: " + Host(server) +
                                 "\r\nAccept: text/html, */*\r\n"
                                 "User-Agent: Mozilla/3.0 (compatible; Tessellon)\r\n\r\n";
    EXPECT_EQ(server.Requests(), std::vector<std::string>{expected});
    EXPECT_EQ(writes, std::vector<std::int64_t>{static_cast<std::int64_t>(expected.size())});
    EXPECT_EQ(http.StatusCode(), 200);
    EXPECT_EQ(http.StatusText(), "200 OK");
}

TEST(HttpClientRequest, TheRedownloadFieldsAreWrittenVerbatimAndKeepAliveDoesNotKeep) {
    TScriptServer server({TServerScript().Answer(HttpReply("x", "Connection: close\r\n")).Close()});
    THttpClient http;
    http.Request.Referer = "http://maps.example/";
    http.Request.UserAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)";
    http.Request.Connection = "Keep_Alive";
    EXPECT_EQ(Get(http, server.Url("/ae/ximg?x=1")), "body:x");
    EXPECT_EQ(server.Requests(),
              std::vector<std::string>{
                  "GET /ae/ximg?x=1 HTTP/1.1\r\nHost: " + Host(server) +
                  "\r\nAccept: text/html, */*\r\nReferer: http://maps.example/\r\n"
                  "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)\r\n"
                  "Connection: Keep_Alive\r\n\r\n"});
    EXPECT_FALSE(http.IsConnected());
}

TEST(HttpClientRequest, APostCarriesItsLengthAndBodyAndAHeadReadsNoBody) {
    TScriptServer server({TServerScript()
                              .Answer(HttpReply("done"))
                              .Answer("HTTP/1.1 200 OK\r\nContent-Length: 1234\r\n\r\n")
                              .Answer(HttpReply("after"))});
    THttpClient http;
    http.TimeLimits.Idle = 2000ms;
    EXPECT_EQ(test::Outcome([&](TNetBuffer& body) {
                  http.PerformRequest(THttpMethod::Post, server.Url("/form"), &body, "a=1&b=2");
              }),
              "body:done");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(test::Outcome([&](TNetBuffer& body) {
                  http.PerformRequest(THttpMethod::Head, server.Url("/tile"), &body);
              }),
              "body:");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1000ms);
    EXPECT_EQ(Get(http, server.Url("/next")), "body:after");
    const std::vector<std::string> requests = server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0], "POST /form HTTP/1.1\r\nHost: " + Host(server) +
                               "\r\nAccept: text/html, */*\r\nUser-Agent: Mozilla/3.0 "
                               "(compatible; Tessellon)\r\nContent-Length: 7\r\n\r\na=1&b=2");
    EXPECT_EQ(requests[1].substr(0, 16), "HEAD /tile HTTP/");
    EXPECT_EQ(server.Connections(), 1);
}

TEST(HttpClientProxy, OneConnectionToTheProxyCarriesAbsoluteTargetsWithCredentials) {
    TScriptServer origin({TServerScript().Answer(HttpReply("one")).Close(),
                          TServerScript().Answer(HttpReply("two")).Close()});
    test::TTestProxy proxy;
    THttpClient http;
    http.Request.ProxyServer = "127.0.0.1";
    http.Request.ProxyPort = proxy.Port();
    http.Request.ProxyUsername = "user";
    http.Request.ProxyPassword = "secret";
    EXPECT_EQ(Get(http, origin.Url("/hx/tl?x=1")), "body:one");
    EXPECT_EQ(Get(http, origin.Url("/hx/tl?x=2")), "body:two");

    const auto proxied = [&](const std::string& query) {
        return "GET http://" + Host(origin) + "/hx/tl?x=" + query +
               " HTTP/1.1\r\nHost: " + Host(origin) +
               "\r\nAccept: text/html, */*\r\nUser-Agent: Mozilla/3.0 (compatible; Tessellon)\r\n"
               "Proxy-Authorization: Basic dXNlcjpzZWNyZXQ=\r\n\r\n";
    };
    EXPECT_EQ(proxy.Requests(), (std::vector<std::string>{proxied("1"), proxied("2")}));
    EXPECT_EQ(proxy.Connections(), 1);
    ASSERT_EQ(origin.Requests().size(), 2u);
    EXPECT_EQ(origin.Requests()[0].substr(0, 24), "GET /hx/tl?x=1 HTTP/1.1\r");
    EXPECT_EQ(http.TargetHost(), "127.0.0.1");
    EXPECT_EQ(http.TargetScheme(), "http");
}

TEST(HttpClientProxy, SwitchingToAProxyLeavesTheDirectConnection) {
    TScriptServer origin({TServerScript().Answer(HttpReply("direct")),
                          TServerScript().Answer(HttpReply("proxied")).Close()});
    test::TTestProxy proxy;
    THttpClient http;
    EXPECT_EQ(Get(http, origin.Url("/a")), "body:direct");
    http.Request.ProxyServer = "127.0.0.1";
    http.Request.ProxyPort = proxy.Port();
    EXPECT_EQ(Get(http, origin.Url("/b")), "body:proxied");
    EXPECT_EQ(proxy.Requests().size(), 1u);
}

TEST(HttpClientTarget, TheSameExplicitPortReusesTheConnectionAndAnotherTargetDoesNot) {
    TScriptServer server({TServerScript().Answer(HttpReply("a")).Answer(HttpReply("b")),
                          TServerScript().Answer(HttpReply("c"))});
    THttpClient http;
    int disconnects = 0;
    http.OnDisconnected = [&](TTcpConnection&) { ++disconnects; };
    EXPECT_EQ(Get(http, server.Url("/1")), "body:a");
    EXPECT_EQ(Get(http, server.Url("/2")), "body:b");
    EXPECT_EQ(server.Connections(), 1);
    EXPECT_EQ(disconnects, 0);
    // Another spelling of the host is another target.
    EXPECT_EQ(Get(http, "http://localhost:" + std::to_string(server.Port()) + "/3"), "body:c");
    EXPECT_EQ(server.Connections(), 2);
    EXPECT_EQ(disconnects, 1);
    // A URL without a port never reuses a connection: this one goes to port
    // 80, whatever answers there.
    http.TimeLimits.Idle = 200ms;
    Get(http, "http://localhost/4");
    EXPECT_GE(disconnects, 2);
    EXPECT_EQ(http.Port, 80);
    EXPECT_EQ(server.Requests().size(), 3u);
}

TEST(HttpClientReply, ANon2xxReplyIsReadWholeRaisedWithItsStatusAndTheConnectionKept) {
    TScriptServer server(
        {TServerScript()
             .Answer(HttpReply("missing", "", "404 Not Found"))
             .Answer(HttpReply("here", "Location: http://elsewhere/\r\n", "200 OK"))
             .Answer(HttpReply("fine"))});
    THttpClient http;
    TNetBuffer body;
    EXPECT_EQ(test::Outcome([&](TNetBuffer&) { http.GetUrl(server.Url("/a"), body); }),
              "protocol:404:404 Not Found");
    EXPECT_EQ(body.View(), "missing");
    EXPECT_TRUE(http.IsConnected());
    // A Location makes any reply a redirect, which is refused by default.
    EXPECT_EQ(Get(http, server.Url("/b")), "protocol:200:200 OK");
    EXPECT_EQ(Get(http, server.Url("/c")), "body:fine");
    EXPECT_EQ(server.Connections(), 1);
}

TEST(HttpClientReply, A10ReplyAlwaysClosesTheConnection) {
    TScriptServer server(
        {TServerScript().Answer("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok")});
    THttpClient http;
    EXPECT_EQ(Get(http, server.Url("/")), "body:ok");
    EXPECT_FALSE(http.IsConnected());
}

TEST(HttpClientRedirect, FollowedRedirectsKeepHostAndPortAndLeaveOnlyTheFinalBody) {
    TScriptServer server(
        {TServerScript()
             .Answer(HttpReply("a long body of the first redirect", "Location: /second\r\n",
                               "302 Found"))
             .Answer(HttpReply("", "Location: third?x=1\r\n", "301 Moved Permanently"))
             .Answer(HttpReply("final"))});
    THttpClient http;
    http.HandleRedirects = true;
    std::vector<std::string> asked;
    http.OnRedirect = [&](THttpClient&, std::string& dest, int& numRedirect, bool& handled) {
        asked.push_back(dest + " " + std::to_string(numRedirect));
        EXPECT_TRUE(handled);
    };
    EXPECT_EQ(Get(http, server.Url("/dir/first")), "body:final");
    EXPECT_EQ(asked, (std::vector<std::string>{server.Url("/second") + " 1",
                                               server.Url("/third?x=1") + " 2"}));
    ASSERT_EQ(server.Requests().size(), 3u);
    EXPECT_EQ(server.Requests()[2].substr(0, 25), "GET /third?x=1 HTTP/1.1\r\n");
    EXPECT_EQ(server.Connections(), 1);
    EXPECT_EQ(http.RedirectDepth(), 0);
}

TEST(HttpClientRedirect, AFollowedRedirectToAnEmptyReplyLeavesAnEmptyBody) {
    TScriptServer server(
        {TServerScript()
             .Answer(HttpReply("redirect body", "Location: /empty\r\n", "302 Found"))
             .Answer("HTTP/1.1 204 No Content\r\n\r\n")});
    THttpClient http;
    http.HandleRedirects = true;
    EXPECT_EQ(Get(http, server.Url("/a")), "body:");
    EXPECT_EQ(http.StatusCode(), 204);
}

TEST(HttpClientRedirect, TheFifteenthRedirectIsAcceptedInsteadOfFollowed) {
    TServerScript script;
    for (int i = 0; i < 15; ++i) {
        script.Answer(
            HttpReply("", "Location: /hop" + std::to_string(i + 1) + "\r\n", "302 Found"));
    }
    TScriptServer server({script});
    THttpClient http;
    http.HandleRedirects = true;
    EXPECT_EQ(Get(http, server.Url("/hop0")), "body:");
    EXPECT_EQ(server.Requests().size(), 15u);
    EXPECT_EQ(http.StatusCode(), 302);
    EXPECT_EQ(http.Reply().Location, server.Url("/hop15"));
}

TEST(HttpClientRedirect, AHandlerDecidesWhenRedirectsAreOff) {
    TScriptServer server({TServerScript()
                              .Answer(HttpReply("", "Location: /x\r\n", "302 Found"))
                              .Answer(HttpReply("", "Location: /y\r\n", "302 Found"))});
    THttpClient http;
    bool accept = false;
    http.OnRedirect = [&](THttpClient&, std::string& dest, int&, bool& handled) {
        dest = "http://changed/";
        handled = accept;
    };
    EXPECT_EQ(Get(http, server.Url("/a")), "protocol:302:302 Found");
    accept = true;
    EXPECT_EQ(Get(http, server.Url("/b")), "body:");
    EXPECT_EQ(http.Reply().Location, "http://changed/");
    EXPECT_EQ(server.Requests().size(), 2u);
}

}  // namespace
}  // namespace tessellon
