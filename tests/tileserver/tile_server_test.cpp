#include "tile_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>
#include <tuple>

#include "image_decode.h"
#include "platform/files.h"
#include "raw_client.h"
#include "server_fixture.h"
#include "temp_dir.h"

namespace tessellon::tileserver {
namespace {

using test::RawClient;
using test::StartServer;

TEST(TileServer, ServesThePngOrJpegOfTheTileTheServiceNumbersName) {
    const auto server = StartServer();
    const struct {
        std::string target;
        TileAddress tile;
        std::string contentType;
    } cases[] = {
        {"/hx/tl?v=4.3&r=1&x=6744&y=991&z=14", {TileLayer::Map, 6744, 3104, 13}, "image/png"},
        {"/ae/ximg?v=1.9&t=a&s=256&r=1&x=29&y=-4&z=6",
         {TileLayer::Satellite, 29, 19, 5},
         "image/jpeg"},
        {"/ae/ximg?v=1.9&t=a&s=256&r=1&x=0&y=-262144&z=20",
         {TileLayer::Satellite, 0, 524287, 19},
         "image/jpeg"},
    };
    RawClient client(server->Port());
    for (const auto& c : cases) {
        client.SendGet(c.target);
        const RawClient::Reply reply = client.ReadReply();
        EXPECT_EQ(reply.head.substr(0, 17), "HTTP/1.1 200 OK\r\n") << c.target;
        EXPECT_NE(reply.head.find("\r\nContent-Type: " + c.contentType + "\r\n"),
                  std::string::npos);
        EXPECT_EQ(reply.body, EncodeSyntheticTile(c.tile)) << c.target;
        test::DecodedImage image;
        std::string error;
        const bool decoded = c.tile.layer == TileLayer::Map
                                 ? test::DecodePng(reply.body, image, error)
                                 : test::DecodeJpeg(reply.body, image, error);
        ASSERT_TRUE(decoded) << error;
        EXPECT_EQ(image.width, 256);
        EXPECT_EQ(image.height, 256);
    }
}

// The old endpoints' query for a tile: the row from the equator, the zoom plus one.
std::string EndpointTarget(TileLayer layer, int x, int y, int zoom) {
    return std::string(layer == TileLayer::Map ? kMapPath : kSatellitePath) +
           "?x=" + std::to_string(x) + "&y=" + std::to_string((1 << (zoom - 1)) - 1 - y) +
           "&z=" + std::to_string(zoom + 1);
}

TEST(TileServer, EveryTemplateFormOfATileGivesTheOldEndpointsBytes) {
    const auto server = StartServer();
    const struct {
        int x;
        int y;
        int zoom;
        std::string quadkey;
        std::string bbox;
    } tiles[] = {
        {0, 0, 1, "0", "-20037508.342789,0.000000,0.000000,20037508.342789"},
        {1, 1, 1, "3", "0.000000,-20037508.342789,20037508.342789,0.000000"},
        {3, 5, 3, "213", "-5009377.085697,-10018754.171394,0.000000,-5009377.085697"},
        {6744, 3104, 13, "1321001211000",
         "12953936.057545,4847942.081959,12958828.027356,4852834.051769"},
    };
    RawClient client(server->Port());
    const auto get = [&client](const std::string& target) {
        client.SendGet(target);
        return client.ReadReply();
    };
    for (const auto& t : tiles) {
        const std::string zx = std::to_string(t.zoom) + "/" + std::to_string(t.x) + "/";
        const std::string tmsRow = std::to_string((1 << t.zoom) - 1 - t.y);
        const std::string wms =
            "/wms?SERVICE=WMS&REQUEST=GetMap&LAYERS=a&SRS=EPSG:3857&BBOX=" + t.bbox +
            "&WIDTH=256&HEIGHT=256&FORMAT=";
        for (const auto& [layer, extension, contentType] :
             {std::tuple{TileLayer::Map, "png", "image/png"},
              std::tuple{TileLayer::Satellite, "jpg", "image/jpeg"}}) {
            const RawClient::Reply old = get(EndpointTarget(layer, t.x, t.y, t.zoom));
            ASSERT_EQ(old.status, 200);
            const std::string ext = std::string(".") + extension;
            for (const std::string& target :
                 {"/" + zx + std::to_string(t.y) + ext, "/tms/" + zx + tmsRow + ext,
                  "/q/" + t.quadkey + ext, wms + contentType}) {
                const RawClient::Reply reply = get(target);
                EXPECT_EQ(reply.status, 200) << target;
                EXPECT_NE(reply.head.find(std::string("\r\nContent-Type: ") + contentType),
                          std::string::npos)
                    << target;
                EXPECT_EQ(reply.body, old.body) << target;
            }
        }
    }
}

TEST(TileServer, TemplatePathsTakeFaultsAndAnswerForNoTileAsAServiceWould) {
    const auto server = StartServer();
    const struct {
        std::string target;
        int status;
    } cases[] = {
        {"/3/4/2.png?fault=status-429", 429},
        {"/q/213.jpg?fault=retry-after-503:7", 503},
        {"/wms?REQUEST=GetMap&BBOX=0,0,20037508.342789,20037508.342789&WIDTH=256&HEIGHT=256&"
         "FORMAT=image/png&fault=status-404",
         404},
        {"/3/4/2.webp", 404},  // no encoder
        {"/3/4/9.png", 404},
        {"/wms?REQUEST=GetMap&BBOX=0,0,1,1&WIDTH=256&HEIGHT=256&FORMAT=image/png", 400},
        {"/wms?REQUEST=GetMap", 400},
    };
    RawClient client(server->Port());
    for (const auto& c : cases) {
        client.SendGet(c.target);
        EXPECT_EQ(client.ReadReply().status, c.status) << c.target;
    }
}

TEST(TileServer, KeepsConnectionsAliveAcrossRequestsIncludingPipelinedOnes) {
    const auto server = StartServer();
    RawClient client(server->Port());
    for (int x = 0; x < 3; ++x) {
        client.SendGet("/hx/tl?x=" + std::to_string(x) + "&y=0&z=3");
        EXPECT_EQ(client.ReadReply().status, 200);
    }
    client.Send(
        "GET /hx/tl?x=0&y=0&z=2 HTTP/1.1\r\nHost: a\r\n\r\n"
        "GET /ae/ximg?x=1&y=0&z=2 HTTP/1.1\r\nHost: a\r\n\r\n");
    EXPECT_EQ(client.ReadReply().body, EncodeSyntheticTile({TileLayer::Map, 0, 0, 1}));
    EXPECT_EQ(client.ReadReply().body, EncodeSyntheticTile({TileLayer::Satellite, 1, 0, 1}));

    client.SendGet("/hx/tl?x=0&y=0&z=2", true);
    EXPECT_NE(client.ReadReply().head.find("\r\nConnection: close\r\n"), std::string::npos);
    std::string rest;
    EXPECT_EQ(client.ReadUntilEnd(rest), RawClient::End::Closed);
    EXPECT_EQ(rest, "");
}

TEST(TileServer, Http10RequestsAreAnsweredOnceThenClosed) {
    const auto server = StartServer();
    RawClient client(server->Port());
    client.Send("GET /hx/tl?x=0&y=0&z=2 HTTP/1.0\r\n\r\n");
    EXPECT_EQ(client.ReadReply().status, 200);
    std::string rest;
    EXPECT_EQ(client.ReadUntilEnd(rest), RawClient::End::Closed);
}

TEST(TileServer, HeadAnnouncesTheLengthWithoutSendingTheBody) {
    const auto server = StartServer();
    RawClient client(server->Port());
    const std::string tile = EncodeSyntheticTile({TileLayer::Map, 0, 0, 1});
    client.Send("HEAD /hx/tl?x=0&y=0&z=2 HTTP/1.1\r\nHost: a\r\n\r\n");
    client.SendGet("/hx/tl?x=0&y=0&z=2", true);
    std::string received;
    EXPECT_EQ(client.ReadUntilEnd(received), RawClient::End::Closed);
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nContent-Length: " +
                             std::to_string(tile.size()) + "\r\n";
    EXPECT_EQ(received, head + "\r\n" + head + "Connection: close\r\n\r\n" + tile);
}

TEST(TileServer, RequestsForNoTileGetTheStatusATileServiceWouldGive) {
    const auto server = StartServer();
    const struct {
        std::string request;
        int status;
        std::string bodyHas;
    } cases[] = {
        {"GET /other HTTP/1.1", 404, "404 Not Found"},
        {"GET /hx/tl?x=1&z=2 HTTP/1.1", 400, "400 Bad Request"},
        {"GET /hx/tl?x=5&y=0&z=2 HTTP/1.1", 404, "404 Not Found"},
        {"GET /hx/tl?x=0&y=0&z=2&fault=nope HTTP/1.1", 400, "unknown fault \"nope\""},
        {"GET /hx/tl?x=0&y=0&z=2&fault=drip:x HTTP/1.1", 400, "the whole numbers MS:BYTES"},
        {"GET /hx/tl?x=0&y=0&z=2&fault=refused HTTP/1.1", 400, "whole server only"},
        {"POST /hx/tl?x=0&y=0&z=2 HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc", 405, "405"},
    };
    RawClient client(server->Port());  // none of these ends the connection
    for (const auto& c : cases) {
        client.Send(c.request +
                    (c.request.find("\r\n\r\n") == std::string::npos ? "\r\n\r\n" : ""));
        const RawClient::Reply reply = client.ReadReply();
        EXPECT_EQ(reply.status, c.status) << c.request;
        EXPECT_NE(reply.body.find(c.bodyHas), std::string::npos) << reply.body;
    }
}

TEST(TileServer, BrokenRequestsGetAnErrorAndTheConnectionCloses) {
    const auto server = StartServer();
    const struct {
        std::string request;
        int status;
    } cases[] = {
        {"BLAH\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n", 400},
        {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", 411},
        {"GET / HTTP/1.1\r\nX-Big: " + std::string(70 * 1024, 'a'), 431},
    };
    for (const auto& c : cases) {
        RawClient client(server->Port());
        client.Send(c.request);
        EXPECT_EQ(client.ReadReply().status, c.status) << c.request.substr(0, 40);
        std::string rest;
        EXPECT_EQ(client.ReadUntilEnd(rest), RawClient::End::Closed);
    }
}

TEST(TileServer, RootServesTheTaskImageFilesByTheirGridNumbers) {
    test::TempDir dir;
    WriteFileAtomic(dir.File("yn_6744_3104_13.png"), "map tile bytes");
    WriteFileAtomic(dir.File("ys_29_19_5.jpg"), "satellite tile bytes");
    TileServerOptions options;
    options.root = dir.Path().substr(0, dir.Path().size() - 1);  // without the final "/"
    const auto server = StartServer(options);
    const struct {
        std::string target;
        int status;
        std::string body;
    } cases[] = {
        {"/hx/tl?v=4.3&r=1&x=6744&y=991&z=14", 200, "map tile bytes"},
        {"/ae/ximg?v=1.9&t=a&s=256&r=1&x=29&y=-4&z=6", 200, "satellite tile bytes"},
        {"/ae/ximg?v=1.9&t=a&s=256&r=1&x=6744&y=991&z=14", 404, "404 Not Found\n"},
        {"/hx/tl?v=4.3&r=1&x=29&y=-4&z=6", 404, "404 Not Found\n"},
    };
    RawClient client(server->Port());
    for (const auto& c : cases) {
        client.SendGet(c.target);
        const RawClient::Reply reply = client.ReadReply();
        EXPECT_EQ(reply.status, c.status) << c.target;
        EXPECT_EQ(reply.body, c.body) << c.target;
    }
}

TEST(TileServer, RootServesTemplatePathsFromTheSourceTaskFiles) {
    test::TempDir dir;
    WriteFileAtomic(dir.File("tl_4_2_3.png"), "png tile bytes");
    WriteFileAtomic(dir.File("tl_3_5_3.pbf"), "vector tile bytes");
    WriteFileAtomic(dir.File("yn_4_2_3.png"), "map tile bytes");
    TileServerOptions options;
    options.root = dir.Path();
    const auto server = StartServer(options);
    const struct {
        std::string target;
        int status;
        std::string contentType;
        std::string body;
    } cases[] = {
        {"/3/4/2.png", 200, "image/png", "png tile bytes"},
        {"/tms/3/4/5.png", 200, "image/png", "png tile bytes"},
        {"/q/213.pbf", 200, "application/x-protobuf", "vector tile bytes"},
        {"/3/4/2.jpg", 404, "text/plain", "404 Not Found\n"},
        {"/3/3/5.png", 404, "text/plain", "404 Not Found\n"},
        {"/hx/tl?x=4&y=1&z=4", 200, "image/png", "map tile bytes"},  // still the yn_ file
    };
    RawClient client(server->Port());
    for (const auto& c : cases) {
        client.SendGet(c.target);
        const RawClient::Reply reply = client.ReadReply();
        EXPECT_EQ(reply.status, c.status) << c.target;
        EXPECT_NE(reply.head.find("\r\nContent-Type: " + c.contentType + "\r\n"), std::string::npos)
            << c.target;
        EXPECT_EQ(reply.body, c.body) << c.target;
    }
}

TEST(TileServer, FixedBodyModeAnswersEveryTileRequestWithoutLookingAtTheKeys) {
    TileServerOptions options;
    options.bodySize = 20480;
    const auto server = StartServer(options);
    RawClient client(server->Port());
    for (const std::string target :
         {"/hx/tl?x=1&y=2&z=3", "/ae/ximg?whatever", "/3/4/2.png", "/q/213.webp"}) {
        client.SendGet(target);
        const RawClient::Reply reply = client.ReadReply();
        EXPECT_EQ(reply.status, 200);
        EXPECT_EQ(reply.body.size(), 20480u);
    }
    for (const std::string target : {"/elsewhere", "/3/9/2.png"}) {
        client.SendGet(target);
        EXPECT_EQ(client.ReadReply().status, 404);
    }
}

// Throughput runs of image tasks: one real image of a real tile's weight
// per format, the same bytes whichever way a tile is asked for.
TEST(TileServer, FastModeAnswersOneRealImageOfAboutTwentyKiBPerFormat) {
    TileServerOptions options;
    options.fast = true;
    const auto server = StartServer(options);
    RawClient client(server->Port());
    const auto get = [&](const std::string& target) {
        client.SendGet(target);
        return client.ReadReply();
    };
    const RawClient::Reply png = get("/hx/tl?x=1&y=2&z=3");
    ASSERT_EQ(png.status, 200);
    EXPECT_GE(png.body.size(), 20480u);
    EXPECT_LE(png.body.size(), 24576u);
    test::DecodedImage image;
    std::string error;
    ASSERT_TRUE(test::DecodePng(png.body, image, error)) << error;
    EXPECT_EQ(image.width, 256);
    EXPECT_EQ(image.height, 256);
    EXPECT_EQ(get("/3/4/2.png").body, png.body);
    EXPECT_EQ(get("/tms/5/1/1.png").body, png.body);

    const RawClient::Reply jpeg = get("/ae/ximg?x=1&y=2&z=3");
    ASSERT_EQ(jpeg.status, 200);
    EXPECT_GE(jpeg.body.size(), 20480u);
    EXPECT_LE(jpeg.body.size(), 24576u);
    ASSERT_TRUE(test::DecodeJpeg(jpeg.body, image, error)) << error;
    EXPECT_EQ(image.width, 256);
    EXPECT_EQ(get("/3/4/2.jpg").body, jpeg.body);

    // Formats it paints none of get the fixed body, as with --body-size.
    const RawClient::Reply vector = get("/3/4/2.pbf");
    EXPECT_EQ(vector.status, 200);
    EXPECT_EQ(vector.body.size(), 20480u);
    for (const std::string target : {"/elsewhere", "/3/9/2.png"}) {
        EXPECT_EQ(get(target).status, 404) << target;
    }
}

TEST(TileServer, LogsEveryRequestWithItsConnectionAndStatusOrFault) {
    test::TempDir dir;
    TileServerOptions options;
    options.log = dir.File("requests.log");
    auto server = StartServer(options);
    {
        RawClient client(server->Port());
        client.SendGet("/hx/tl?x=0&y=0&z=2");
        client.ReadReply();
        client.SendGet("/nothing");
        client.ReadReply();
    }
    {
        RawClient client(server->Port());
        client.SendGet("/hx/tl?x=0&y=0&z=2&fault=drip:1:100", true);
        std::string ignored;
        client.ReadUntilEnd(ignored);
    }
    server->Stop();
    EXPECT_EQ(
        ReadTextLines(options.log),
        (std::vector<std::string>{"1 GET /hx/tl?x=0&y=0&z=2 200", "1 GET /nothing 404",
                                  "2 GET /hx/tl?x=0&y=0&z=2&fault=drip:1:100 fault=drip:1:100"}));
}

TEST(TileServer, LogsTheStatusThatWentOutANotModifiedOneToo) {
    test::TempDir dir;
    TileServerOptions options;
    options.log = dir.File("requests.log");
    options.validators = true;
    auto server = StartServer(options);
    {
        RawClient client(server->Port());
        client.SendGet("/3/4/2.png");
        const std::string head = client.ReadReply().head;
        const std::size_t tag = head.find("ETag: ");
        ASSERT_NE(tag, std::string::npos);
        const std::string etag = head.substr(tag + 6, head.find("\r\n", tag) - tag - 6);
        client.Send("GET /3/4/2.png HTTP/1.1\r\nHost: t\r\nIf-None-Match: " + etag + "\r\n\r\n");
        EXPECT_EQ(client.ReadReply().status, 304);
    }
    server->Stop();
    EXPECT_EQ(ReadTextLines(options.log),
              (std::vector<std::string>{"1 GET /3/4/2.png 200", "1 GET /3/4/2.png 304"}));
}

TEST(TileServer, StopEndsHeldIdleAndEndlessConnectionsFromAnotherThread) {
    auto server = StartServer();
    RawClient silent(server->Port());
    silent.SendGet("/hx/tl?x=0&y=0&z=2&fault=no-answer");
    RawClient idle(server->Port());
    idle.SendGet("/hx/tl?x=0&y=0&z=2");
    idle.ReadReply();
    RawClient endless(server->Port());
    endless.SendGet("/hx/tl?x=0&y=0&z=2&fault=never-ending:1");
    std::string received;
    EXPECT_EQ(endless.ReadAtLeast(4096, received), RawClient::End::Timeout);  // still sending

    auto stopped = std::async(std::launch::async, [&] { server->Stop(); });
    ASSERT_EQ(stopped.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    for (RawClient* client : {&silent, &idle, &endless}) {
        EXPECT_NE(client->ReadUntilEnd(received, 2000), RawClient::End::Timeout);
    }
}

TEST(TileServer, PortZeroPicksAFreePortAndATakenPortIsReported) {
    const auto first = StartServer();
    EXPECT_GT(first->Port(), 0);
    TileServerOptions options;
    options.port = first->Port();
    TileServer second(options);
    try {
        second.Start();
        FAIL() << "the port was taken";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("cannot listen on 127.0.0.1:" +
                                             std::to_string(first->Port())),
                  std::string::npos)
            << e.what();
    }
}

TEST(TileServer, AMissingRootFolderOrLogFolderIsReportedAtTheStart) {
    test::TempDir dir;
    TileServerOptions options;
    options.port = 0;
    options.root = dir.File("missing");
    TileServer server(options);
    EXPECT_THROW(server.Start(), std::runtime_error);
    options.root = "";
    options.log = dir.File("missing/log");
    EXPECT_THROW(TileServer{options}, std::runtime_error);
}

TEST(TileServer, ClosesConnectionsIdleLongerThanTheIdleTimeout) {
    TileServerOptions options;
    options.idleTimeoutMs = 50;
    const auto server = StartServer(options);
    RawClient client(server->Port());
    client.SendGet("/hx/tl?x=0&y=0&z=2");
    EXPECT_EQ(client.ReadReply().status, 200);
    std::string rest;
    EXPECT_EQ(client.ReadUntilEnd(rest, 5000), RawClient::End::Closed);
}

// The faults each request got, as the log shows them, for `count` requests.
std::vector<std::string> RandomFaultSequence(double rate, std::uint64_t seed, int count) {
    test::TempDir dir;
    TileServerOptions options;
    options.faultRate = rate;
    options.seed = seed;
    options.log = dir.File("log");
    // Short delays keep the timing faults among the recoverable ones quick.
    options.bodySize = 64;
    auto server = StartServer(options);
    for (int i = 0; i < count; ++i) {
        RawClient client(server->Port());
        client.SendGet("/hx/tl?x=0&y=0&z=2", true);
        std::string ignored;
        client.ReadUntilEnd(ignored);
    }
    server->Stop();
    std::vector<std::string> results;
    for (const std::string& line : ReadTextLines(options.log)) {
        results.push_back(line.substr(line.rfind(' ') + 1));
    }
    return results;
}

TEST(TileServer, RandomFaultsComeOnlyFromTheRecoverableOnesAndFollowTheSeed) {
    const auto first = RandomFaultSequence(0.5, 7, 16);
    ASSERT_EQ(first.size(), 16u);
    EXPECT_EQ(RandomFaultSequence(0.5, 7, 16), first);
    EXPECT_NE(RandomFaultSequence(0.5, 8, 16), first);
    int faults = 0;
    for (const std::string& result : first) {
        if (result == "200") {
            continue;
        }
        ++faults;
        FaultChoice choice;
        std::string error;
        ASSERT_TRUE(ParseFault(result.substr(6), choice, error)) << result;
        EXPECT_TRUE(choice.entry->recoverable) << result;
    }
    EXPECT_GT(faults, 0);
    EXPECT_LT(faults, 16);
}

}  // namespace
}  // namespace tessellon::tileserver
