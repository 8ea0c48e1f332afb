#include "tile_address.h"

#include <gtest/gtest.h>

#include "http_request.h"
#include "query.h"

namespace tessellon::tileserver {
namespace {

TEST(TileQuery, ServiceNumberingMapsBackToGridNumbers) {
    const struct {
        TileLayer layer;
        std::string query;
        TileQueryResult result;
        TileAddress tile;
    } cases[] = {
        // The downloader's own examples: rows south of the equator are negative.
        {TileLayer::Map,
         "v=4.3&r=1&x=6744&y=991&z=14",
         TileQueryResult::Ok,
         {TileLayer::Map, 6744, 3104, 13}},
        {TileLayer::Satellite,
         "v=1.9&t=a&s=256&r=1&x=29&y=-4&z=6",
         TileQueryResult::Ok,
         {TileLayer::Satellite, 29, 19, 5}},
        {TileLayer::Map, "x=0&y=0&z=2", TileQueryResult::Ok, {TileLayer::Map, 0, 0, 1}},
        {TileLayer::Map, "x=1&y=-1&z=2", TileQueryResult::Ok, {TileLayer::Map, 1, 1, 1}},
        {TileLayer::Map,
         "x=524287&y=262143&z=20",
         TileQueryResult::Ok,
         {TileLayer::Map, 524287, 0, 19}},
        {TileLayer::Map,
         "x=0&y=-262144&z=20",
         TileQueryResult::Ok,
         {TileLayer::Map, 0, 524287, 19}},
        // Keys in any order among others; the general number format.
        {TileLayer::Map,
         "z=14&y=991&r=1&x=6744",
         TileQueryResult::Ok,
         {TileLayer::Map, 6744, 3104, 13}},
        {TileLayer::Map,
         "x=6744&y=991.0&z=14",
         TileQueryResult::Ok,
         {TileLayer::Map, 6744, 3104, 13}},
        {TileLayer::Map,
         "x=6744&y=9.91E2&z=14",
         TileQueryResult::Ok,
         {TileLayer::Map, 6744, 3104, 13}},
        {TileLayer::Map,
         "x=6744&y=%39%39%31&z=14",
         TileQueryResult::Ok,
         {TileLayer::Map, 6744, 3104, 13}},
        // Not numbers, or not whole ones.
        {TileLayer::Map, "x=6744&z=14", TileQueryResult::Malformed, {}},
        {TileLayer::Map, "x=6744&y=&z=14", TileQueryResult::Malformed, {}},
        {TileLayer::Map, "x=6744&y=991.5&z=14", TileQueryResult::Malformed, {}},
        {TileLayer::Map, "x=6744&y=inf&z=14", TileQueryResult::Malformed, {}},
        {TileLayer::Map, "x=0x10&y=1&z=14", TileQueryResult::Malformed, {}},
        {TileLayer::Map, "x=1&y=1&z=14abc", TileQueryResult::Malformed, {}},
        {TileLayer::Map, "x=1&y=1e999&z=14", TileQueryResult::Malformed, {}},
        // Whole numbers outside the grid.
        {TileLayer::Map, "x=0&y=0&z=1", TileQueryResult::OutOfRange, {}},
        {TileLayer::Map, "x=0&y=0&z=21", TileQueryResult::OutOfRange, {}},
        {TileLayer::Map, "x=-1&y=0&z=2", TileQueryResult::OutOfRange, {}},
        {TileLayer::Map, "x=2&y=0&z=2", TileQueryResult::OutOfRange, {}},
        {TileLayer::Map, "x=0&y=1&z=2", TileQueryResult::OutOfRange, {}},
        {TileLayer::Map, "x=0&y=-2&z=2", TileQueryResult::OutOfRange, {}},
    };
    for (const auto& c : cases) {
        TileAddress tile;
        EXPECT_EQ(ParseTileQuery(c.query, c.layer, tile), c.result) << c.query;
        if (c.result == TileQueryResult::Ok) {
            EXPECT_EQ(tile, c.tile) << c.query;
        }
    }
}

TEST(TileQuery, FileNamesUseGridNumbersAndTheLayersPrefixAndExtension) {
    EXPECT_EQ(TileFileName({TileLayer::Map, 6744, 3104, 13}), "yn_6744_3104_13.png");
    EXPECT_EQ(TileFileName({TileLayer::Satellite, 29, 19, 5}), "ys_29_19_5.jpg");
}

TEST(Query, ValuesAreUnescapedAndRemovalKeepsTheRestAsWritten) {
    EXPECT_EQ(QueryValue("a=1&fault=drip%3A5%3a2&b", "fault"), "drip:5:2");
    EXPECT_EQ(QueryValue("a=1&b", "b"), "");
    EXPECT_EQ(QueryValue("a=1&ab=2", "b"), std::nullopt);
    EXPECT_EQ(QueryValue("a=%zz%4", "a"), "%zz%4");
    EXPECT_EQ(QueryValue("a=%+1%-1% 1%41", "a"), "%+1%-1% 1A");
    EXPECT_EQ(QueryWithout("v=4.3&fault=status-302&x=1&pieces=3&y=%2D4", {"fault", "pieces"}),
              "v=4.3&x=1&y=%2D4");
}

TEST(RequestHead, KeepAliveFollowsTheVersionAndConnectionTokens) {
    const struct {
        std::string head;
        bool keepAlive;
    } cases[] = {
        {"GET / HTTP/1.1\r\nHost: a", true},
        {"GET / HTTP/1.1\r\nConnection: close", false},
        {"GET / HTTP/1.1\r\nconnection:  Keep-Alive, CLOSE ", false},
        {"GET / HTTP/1.0", false},
        {"GET / HTTP/1.0\r\nConnection: keep-alive", true},
        {"GET / HTTP/1.1\nHost: a", true},  // LF-only line ends
    };
    for (const auto& c : cases) {
        HttpRequest request;
        ASSERT_EQ(ParseRequestHead(c.head, request), RequestHeadResult::Ok) << c.head;
        EXPECT_EQ(request.keepAlive, c.keepAlive) << c.head;
    }
}

TEST(RequestHead, TargetsSplitIntoPathAndQueryAndAbsoluteTargetsAreUnderstood) {
    HttpRequest request;
    ASSERT_EQ(ParseRequestHead("GET http://tiles:8086/hx/tl?x=1&y=0&z=2 HTTP/1.1", request),
              RequestHeadResult::Ok);
    EXPECT_EQ(request.target, "http://tiles:8086/hx/tl?x=1&y=0&z=2");
    EXPECT_EQ(request.path, "/hx/tl");
    EXPECT_EQ(request.query, "x=1&y=0&z=2");
    ASSERT_EQ(ParseRequestHead("HEAD /ae/ximg HTTP/1.1\r\nContent-Length: 5", request),
              RequestHeadResult::Ok);
    EXPECT_EQ(request.method, "HEAD");
    EXPECT_EQ(request.query, "");
    EXPECT_EQ(request.bodyLength, 5u);
}

TEST(RequestHead, AmbiguousOrBrokenHeadsAreRefused) {
    const struct {
        std::string head;
        RequestHeadResult result;
    } cases[] = {
        {"", RequestHeadResult::Malformed},
        {"GET /", RequestHeadResult::Malformed},
        {"GET / HTTP/2.0", RequestHeadResult::Malformed},
        {"GET nothing HTTP/1.1", RequestHeadResult::Malformed},
        {"GET / HTTP/1.1\r\nno colon here", RequestHeadResult::Malformed},
        {"GET / HTTP/1.1\r\nContent-Length: 5\r\nContent-Length: 6", RequestHeadResult::Malformed},
        {"GET / HTTP/1.1\r\nContent-Length: -5", RequestHeadResult::Malformed},
        {"GET / HTTP/1.1\r\nContent-Length: 5\r\nContent-Length: 5", RequestHeadResult::Ok},
        {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked", RequestHeadResult::ChunkedBody},
    };
    for (const auto& c : cases) {
        HttpRequest request;
        EXPECT_EQ(ParseRequestHead(c.head, request), c.result) << c.head;
    }
}

}  // namespace
}  // namespace tessellon::tileserver
