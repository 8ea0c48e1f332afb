// The fetch outside a download (map window, a source's check and test)
// against scripted servers: the connection kept, the server's wait kept, a
// body bounded by MaxTileBytes, a page refused as a tile, and a stop that
// cuts a long wait short.

#include "download/tile_fetcher.h"

#include <gtest/gtest.h>

#include <thread>

#include "http_test_support.h"
#include "net/net_errors.h"
#include "script_server.h"

namespace tessellon {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using test::HttpReply;
using test::TScriptServer;
using test::TServerScript;

const std::string kPng = "\x89PNG\r\n\x1a\n"s + "data" + "\0\0\0\0IEND\xae\x42\x60\x82"s;

TileSource Source(const TScriptServer& server, const std::string& path = "/{z}/{x}/{y}.png") {
    return TileSource::Read("Test", {{"Url", server.Url(path)}}, "1");
}

TileClientSettings Settings(const std::optional<TileSource>& source,
                            std::size_t maxTileBytes = kDefaultMaxTileBytes) {
    TileClientSettings settings;
    settings.Source = source;
    settings.TimeLimits.Connect = 2s;
    settings.TimeLimits.Idle = 2s;
    settings.TimeLimits.Request = 5s;
    settings.MaxTileBytes = maxTileBytes;
    return settings;
}

TEST(TileFetcher, KeepsOneConnectionFromTileToTile) {
    TScriptServer server({TServerScript()
                              .Answer(HttpReply(kPng, "Content-Type: image/png\r\n"))
                              .Answer(HttpReply(kPng, "Content-Type: image/png\r\n"))
                              .Answer(HttpReply(kPng, "Content-Type: image/png\r\n"))});
    StopSignal stop;
    ServerBackoff backoff{Pacing(1ms)};
    TileFetcher fetcher(Settings(Source(server)), &backoff, stop);
    for (const char* path : {"/1/0/0.png", "/1/1/0.png", "/1/0/1.png"}) {
        const FetchedTile tile = fetcher.Fetch(server.Url(path));
        EXPECT_EQ(tile.Error, "") << path;
        EXPECT_EQ(tile.NotATile, "") << path;
        EXPECT_EQ(tile.Status, 200);
        EXPECT_EQ(tile.Body, kPng);
        EXPECT_EQ(tile.ContentType, "image/png");
    }
    EXPECT_EQ(server.Requests().size(), 3U);
    EXPECT_EQ(server.Connections(), 1);
}

// A 429 or 503 with Retry-After is a wait, not a failure: the same tile is
// asked again once it is over, on the same connection.
TEST(TileFetcher, WaitsAsTheServerAsksThenAsksAgain) {
    for (const std::string status : {"429 Too Many Requests", "503 Service Unavailable"}) {
        SCOPED_TRACE(status);
        TScriptServer server({TServerScript()
                                  .Answer(HttpReply("slow down", "Retry-After: 3\r\n", status))
                                  .Answer(HttpReply(kPng))});
        StopSignal stop;
        // A server's second lasts 20 ms here.
        ServerBackoff backoff{Pacing(20ms)};
        TileFetcher fetcher(Settings(Source(server)), &backoff, stop);
        const auto start = std::chrono::steady_clock::now();
        const FetchedTile tile = fetcher.Fetch(server.Url("/2/1/1.png"));
        EXPECT_GE(std::chrono::steady_clock::now() - start, 60ms);
        EXPECT_EQ(tile.Error, "");
        EXPECT_EQ(tile.Status, 200);
        EXPECT_EQ(tile.Body, kPng);
        EXPECT_EQ(tile.ServerWaits, 1);
        ASSERT_EQ(server.Requests().size(), 2U);
        EXPECT_EQ(server.Requests()[0], server.Requests()[1]);
    }
}

// A 429 without a usable Retry-After fails the tile and doubles the pause;
// a built-in layer has no backoff and fails at once either way.
TEST(TileFetcher, A429WithoutRetryAfterFailsAndSlowsTheSource) {
    TScriptServer server({TServerScript().Answer(HttpReply("no", "", "429 Too Many Requests"))});
    StopSignal stop;
    ServerBackoff backoff{Pacing(20ms)};
    TileFetcher fetcher(Settings(Source(server)), &backoff, stop);
    const FetchedTile tile = fetcher.Fetch(server.Url("/2/1/1.png"));
    EXPECT_EQ(tile.Error, "429 Too Many Requests");
    EXPECT_EQ(tile.Status, 429);
    EXPECT_EQ(tile.ServerWaits, 0);
    EXPECT_GT(backoff.PauseAfterTile(), 20ms);

    TScriptServer builtIn(
        {TServerScript().Answer(HttpReply("no", "Retry-After: 1\r\n", "429 Too Many Requests"))});
    TileFetcher plain(Settings(std::nullopt), nullptr, stop);
    EXPECT_EQ(plain.Fetch(builtIn.Url("/x")).Error, "429 Too Many Requests");
    EXPECT_EQ(builtIn.Requests().size(), 1U);
}

// A body that never ends is cut at the limit, not read into memory.
TEST(TileFetcher, AnEndlessBodyIsCutAtMaxTileBytes) {
    TScriptServer server({TServerScript().ReadRequest().Send(
        "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\n\r\n" + kPng + std::string(8 << 20, 'x'))});
    StopSignal stop;
    TileFetcher fetcher(Settings(Source(server), 4096), nullptr, stop);
    const auto start = std::chrono::steady_clock::now();
    const FetchedTile tile = fetcher.Fetch(server.Url("/3/0/0.png"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    EXPECT_EQ(tile.Error, kReplyBodyTooLarge);
    EXPECT_LE(tile.Body.size(), 4096U);
}

// A page in place of a source's tile is no tile; a built-in layer's body
// is not looked at, as a download's workers do not look at it.
TEST(TileFetcher, APageIsNoTileOfASource) {
    const std::string page = HttpReply("<html>busy</html>", "Content-Type: text/html\r\n");
    // One connection for each fetcher.
    TScriptServer server({TServerScript().Answer(page), TServerScript().Answer(page)});
    StopSignal stop;
    TileFetcher fetcher(Settings(Source(server)), nullptr, stop);
    const FetchedTile tile = fetcher.Fetch(server.Url("/1/0/0.png"));
    EXPECT_EQ(tile.Error, "");
    EXPECT_EQ(tile.Status, 200);
    EXPECT_EQ(tile.NotATile, "Not an image (text/html, 17 bytes).");
    TileFetcher plain(Settings(std::nullopt), nullptr, stop);
    const FetchedTile builtIn = plain.Fetch(server.Url("/1/0/0.png"));
    EXPECT_EQ(builtIn.NotATile, "");
    EXPECT_EQ(builtIn.Body, "<html>busy</html>");
}

// Whoever lets the fetcher go (a window that closes) does not wait out the
// server's ten minutes.
TEST(TileFetcher, AStopCutsTheServersWaitShort) {
    TScriptServer server(
        {TServerScript().Answer(HttpReply("later", "Retry-After: 600\r\n", "503 Busy"))});
    StopSignal stop;
    ServerBackoff backoff{Pacing(1s)};
    TileFetcher fetcher(Settings(Source(server)), &backoff, stop);
    std::thread stopper([&] {
        std::this_thread::sleep_for(50ms);
        stop.Request();
    });
    const auto start = std::chrono::steady_clock::now();
    const FetchedTile tile = fetcher.Fetch(server.Url("/1/0/0.png"));
    stopper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_EQ(tile.Error, "Cancelled.");
    EXPECT_EQ(tile.Status, 0);
    EXPECT_EQ(server.Requests().size(), 1U);
}

TEST(TileFetcher, AProxyPortThatIsNoNumberFailsEveryFetchWithoutARequest) {
    TScriptServer server({});
    StopSignal stop;
    TileClientSettings settings = Settings(std::nullopt);
    settings.Proxy = ProxyTexts{"127.0.0.1", "31x8", "", ""};
    TileFetcher fetcher(settings, nullptr, stop);
    EXPECT_EQ(fetcher.Fetch(server.Url("/a")).Error, "'31x8' is not a valid integer value");
    EXPECT_EQ(server.Connections(), 0);
}

}  // namespace
}  // namespace tessellon
