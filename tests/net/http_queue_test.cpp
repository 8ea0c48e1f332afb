// Requests queued ahead on a kept connection (pipelining): they go out
// together, their replies are read in turn, and a peer that closes or breaks
// the exchange costs a retry on a new connection, never a wrong reply.

#include <gtest/gtest.h>

#include "http_test_support.h"
#include "net/http_client.h"
#include "script_server.h"

namespace tessellon {
namespace {

using test::Get;
using test::HttpReply;
using test::TScriptServer;
using test::TServerScript;

std::string Request(const TScriptServer& server, const std::string& path,
                    const std::string& extra = "") {
    return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(server.Port()) +
           "\r\nAccept: text/html, */*\r\nUser-Agent: Mozilla/3.0 (compatible; Tessellon)\r\n" +
           extra + "\r\n";
}

TEST(HttpQueue, QueuedRequestsGoOutInOneSendAndTheirRepliesAreReadInTurn) {
    // The second read takes both queued requests at once: the server answers
    // them only after both have come.
    TScriptServer server({TServerScript()
                              .Answer(HttpReply("a"))
                              .ReadRequest()
                              .Send(HttpReply("b") + HttpReply("c", "ETag: \"c\"\r\n"))});
    THttpClient http;
    EXPECT_EQ(Get(http, server.Url("/0")), "body:a");
    http.Request.ETag = "\"old\"";
    EXPECT_TRUE(http.QueueAhead(server.Url("/1")));
    http.Request.ETag.clear();
    EXPECT_TRUE(http.QueueAhead(server.Url("/2")));
    EXPECT_EQ(http.RequestsAhead(), 2u);

    http.Request.ETag = "\"old\"";
    EXPECT_EQ(Get(http, server.Url("/1")), "body:b");
    EXPECT_EQ(http.RequestsAhead(), 1u);
    http.Request.ETag.clear();
    EXPECT_EQ(Get(http, server.Url("/2")), "body:c");
    EXPECT_EQ(http.Reply().ETag, "\"c\"");
    EXPECT_EQ(http.RequestsAhead(), 0u);
    EXPECT_EQ(server.Requests(),
              (std::vector<std::string>{
                  Request(server, "/0"),
                  Request(server, "/1", "If-None-Match: \"old\"\r\n") + Request(server, "/2")}));
    EXPECT_EQ(server.Connections(), 1);
}

TEST(HttpQueue, NothingIsQueuedWithoutAKeptConnectionToThatPeer) {
    TScriptServer server({TServerScript().Answer(HttpReply("a"))});
    THttpClient http;
    // Not yet connected.
    EXPECT_FALSE(http.QueueAhead(server.Url("/1")));
    EXPECT_EQ(Get(http, server.Url("/0")), "body:a");
    // Another spelling of the host, and a URL without a port, are other
    // peers.
    EXPECT_FALSE(http.QueueAhead("http://localhost:" + std::to_string(server.Port()) + "/1"));
    EXPECT_FALSE(http.QueueAhead("http://127.0.0.1/1"));
    http.ProtocolVersion = TProtocolVersion::pv1_0;
    EXPECT_FALSE(http.QueueAhead(server.Url("/1")));
    http.ProtocolVersion = TProtocolVersion::pv1_1;
    http.Request.ProxyServer = "127.0.0.1";
    EXPECT_FALSE(http.QueueAhead(server.Url("/1")));
    EXPECT_EQ(http.RequestsAhead(), 0u);
}

TEST(HttpQueue, ARequestOtherThanTheQueuedOneDropsTheConnectionWithTheQueue) {
    TScriptServer server({TServerScript().Answer(HttpReply("a")).ReadRequest(),
                          TServerScript().Answer(HttpReply("nine"))});
    THttpClient http;
    EXPECT_EQ(Get(http, server.Url("/0")), "body:a");
    EXPECT_TRUE(http.QueueAhead(server.Url("/1")));
    // The same path with other validators is another request too.
    http.Request.ETag = "\"v\"";
    EXPECT_EQ(Get(http, server.Url("/1")), "body:nine");
    EXPECT_EQ(server.Connections(), 2);
    EXPECT_EQ(http.RequestsAhead(), 0u);
}

TEST(HttpQueue, QueuedRequestsThatACloseCutOffGoOutAgainOnANewConnection) {
    // Unannounced, after the first queued reply; and announced, with a
    // request still queued behind it.
    for (const std::string closing : {"", "Connection: close\r\n"}) {
        SCOPED_TRACE(closing);
        TScriptServer server({TServerScript()
                                  .Answer(HttpReply("a"))
                                  .ReadRequest()
                                  .Send(HttpReply("b", closing))
                                  .Close(),
                              TServerScript().Answer(HttpReply("c")).Answer(HttpReply("d"))});
        THttpClient http;
        EXPECT_EQ(Get(http, server.Url("/0")), "body:a");
        for (const char* path : {"/1", "/2", "/3"}) {
            EXPECT_TRUE(http.QueueAhead(server.Url(path)));
        }
        EXPECT_EQ(Get(http, server.Url("/1")), "body:b");
        EXPECT_EQ(Get(http, server.Url("/2")), "body:c");
        EXPECT_EQ(Get(http, server.Url("/3")), "body:d");
        EXPECT_EQ(server.Connections(), 2);
        // An announced close ends the exchange in order; a peer that drops
        // queued requests unannounced might keep doing so, and is asked one
        // request at a time.
        EXPECT_EQ(http.QueueAhead(server.Url("/4")), !closing.empty());
    }
}

TEST(HttpQueue, APeerThatBreaksAQueuedExchangeIsAskedAgainAndOneRequestAtATime) {
    // The 304's stray body stands where the next reply's head should.
    TScriptServer server(
        {TServerScript()
             .Answer(HttpReply("a"))
             .ReadRequest()
             .Send("HTTP/1.1 304 Not Modified\r\nContent-Length: 5\r\n\r\nstray"
                   "HTTP/1.1 304 Not Modified\r\n\r\n"),
         TServerScript().Answer("HTTP/1.1 304 Not Modified\r\nETag: \"w\"\r\n\r\n")});
    THttpClient http;
    EXPECT_EQ(Get(http, server.Url("/0")), "body:a");
    http.Request.ETag = "\"v\"";
    EXPECT_TRUE(http.QueueAhead(server.Url("/1")));
    EXPECT_TRUE(http.QueueAhead(server.Url("/2")));
    EXPECT_EQ(Get(http, server.Url("/1")), "body:");
    EXPECT_EQ(http.StatusCode(), 304);
    EXPECT_EQ(Get(http, server.Url("/2")), "body:");
    EXPECT_EQ(http.StatusCode(), 304);
    EXPECT_EQ(http.Reply().ETag, "\"w\"");
    EXPECT_EQ(server.Connections(), 2);
    EXPECT_FALSE(http.QueueAhead(server.Url("/3")));
}

}  // namespace
}  // namespace tessellon
