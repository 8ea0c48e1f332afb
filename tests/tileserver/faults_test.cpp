#include "faults.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <set>
#include <tuple>

#include "raw_client.h"
#include "server_fixture.h"

namespace tessellon::tileserver {
namespace {

using test::RawClient;
using End = RawClient::End;

// A fixed 30-byte body keeps the expected bytes readable; 30 is 0x1e, so
// the case of chunk sizes shows.
const std::string kBody = "abcdefghijklmnopqrstuvwxyzabcd";
const std::string kHead = "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\n";
const std::string kLength = "Content-Length: 30\r\n";
const std::string kOrdinary = kHead + kLength + "\r\n" + kBody;
const std::string kChunkedHead = kHead + "Transfer-Encoding: chunked\r\n\r\n";
const std::string kTarget = "/hx/tl?x=0&y=0&z=2";

struct FaultCase {
    std::string fault;
    std::string bytes;  // everything the server sends
    End end;
};

class FaultBytes : public testing::Test {
protected:
    static TileServerOptions Options() {
        TileServerOptions options;
        options.bodySize = kBody.size();
        return options;
    }

    // Each request says "Connection: close", so a fault that would keep the
    // connection open ends it after its reply and the whole stream is seen.
    void ExpectBytes(const std::vector<FaultCase>& cases) {
        for (const FaultCase& c : cases) {
            RawClient client(server_->Port());
            client.SendGet(kTarget + "&fault=" + c.fault, true);
            std::string received;
            EXPECT_EQ(client.ReadUntilEnd(received), c.end) << c.fault;
            EXPECT_EQ(received, c.bytes) << c.fault;
        }
    }

    std::unique_ptr<TileServer> server_ = test::StartServer(Options());
};

TEST_F(FaultBytes, Connection) {
    ExpectBytes({
        {"close", "", End::Closed},
        {"reset", "", End::Reset},
        {"close-mid-body", kHead + kLength + "\r\n" + kBody.substr(0, 15), End::Closed},
        {"close-mid-body:4", kHead + kLength + "\r\n" + kBody.substr(0, 4), End::Closed},
        {"reset-mid-body:4", kHead + kLength + "\r\n" + kBody.substr(0, 4), End::Reset},
        {"close-after", kOrdinary, End::Closed},
    });
}

TEST_F(FaultBytes, StatusLine) {
    const std::string rest = "Content-Type: image/png\r\n" + kLength + "\r\n" + kBody;
    ExpectBytes({
        {"http10", "HTTP/1.0 200 OK\r\nContent-Type: image/png\r\n\r\n" + kBody, End::Closed},
        {"no-reason", "HTTP/1.1 200\r\n" + rest, End::Closed},
        {"odd-reason", "HTTP/1.1 200 Tile coming right up, enjoy! (really)\r\n" + rest,
         End::Closed},
        {"code-2digits", "HTTP/1.1 20 OK\r\n" + rest, End::Closed},
        {"code-letters", "HTTP/1.1 2OO OK\r\n" + rest, End::Closed},
        {"code-negative", "HTTP/1.1 -200 OK\r\n" + rest, End::Closed},
        {"no-status-line", rest, End::Closed},
        {"interim-100", "HTTP/1.1 100 Continue\r\n\r\n" + kOrdinary, End::Closed},
        {"interim-102",
         "HTTP/1.1 102 Processing\r\n\r\nHTTP/1.1 102 Processing\r\n\r\n" + kOrdinary, End::Closed},
        {"status-302",
         "HTTP/1.1 302 Found\r\nContent-Type: text/plain\r\nLocation: " + kTarget +
             "\r\nContent-Length: 10\r\n\r\n302 Found\n",
         End::Closed},
        {"status-404",
         "HTTP/1.1 404 Not Found\r\nContent-Type: text/plain\r\nContent-Length: 14\r\n\r\n404 Not "
         "Found\n",
         End::Closed},
        {"status-503",
         "HTTP/1.1 503 Service Unavailable\r\nContent-Type: text/plain\r\nRetry-After: 1\r\n"
         "Content-Length: 24\r\n\r\n503 Service Unavailable\n",
         End::Closed},
        {"status:403",
         "HTTP/1.1 403 Forbidden\r\nContent-Type: text/plain\r\nContent-Length: 14\r\n\r\n403 "
         "Forbidden\n",
         End::Closed},
    });
}

TEST_F(FaultBytes, BusyServicesAskForAPauseOrDoNot) {
    const std::string tooMany = "HTTP/1.1 429 Too Many Requests\r\nContent-Type: text/plain\r\n";
    const std::string tooManyBody = "Content-Length: 22\r\n\r\n429 Too Many Requests\n";
    const std::string unavailable =
        "HTTP/1.1 503 Service Unavailable\r\nContent-Type: text/plain\r\n";
    const std::string unavailableBody = "Content-Length: 24\r\n\r\n503 Service Unavailable\n";
    ExpectBytes({
        {"status-429", tooMany + tooManyBody, End::Closed},
        {"status:429", tooMany + tooManyBody, End::Closed},
        {"retry-after-429", tooMany + "Retry-After: 1\r\n" + tooManyBody, End::Closed},
        {"retry-after-429:120", tooMany + "Retry-After: 120\r\n" + tooManyBody, End::Closed},
        {"no-retry-after-503", unavailable + unavailableBody, End::Closed},
        {"retry-after-503:0", unavailable + "Retry-After: 0\r\n" + unavailableBody, End::Closed},
        {"retry-after-503:86400", unavailable + "Retry-After: 86400\r\n" + unavailableBody,
         End::Closed},
    });
}

// The Retry-After value of a reply as a time, read by the C library, not by the server's code.
std::time_t RetryAfterDate(const std::string& head) {
    const std::string name = "\r\nRetry-After: ";
    const std::size_t at = head.find(name);
    if (at == std::string::npos) {
        return -1;
    }
    const std::string value =
        head.substr(at + name.size(), head.find("\r\n", at + 2) - at - name.size());
    std::tm parsed{};
    const char* end = ::strptime(value.c_str(), "%a, %d %b %Y %H:%M:%S GMT", &parsed);
    return end != nullptr && *end == '\0' && value.size() == 29 ? ::timegm(&parsed) : -1;
}

TEST_F(FaultBytes, RetryAfterDatesAreImfFixdatesThatFarAhead) {
    for (const auto& [fault, status, seconds] : {std::tuple{"retry-after-date-429:600", 429, 600},
                                                 std::tuple{"retry-after-date-503", 503, 1}}) {
        RawClient client(server_->Port());
        const std::time_t before = std::time(nullptr);
        client.SendGet(kTarget + "&fault=" + fault);
        const RawClient::Reply reply = client.ReadReply();
        const std::time_t after = std::time(nullptr);
        EXPECT_EQ(reply.status, status) << fault;
        const std::time_t date = RetryAfterDate(reply.head);
        EXPECT_GE(date, before + seconds) << reply.head;
        EXPECT_LE(date, after + seconds) << reply.head;
    }
}

TEST_F(FaultBytes, AnErrorPageCanComeWithStatus200) {
    RawClient client(server_->Port());
    client.SendGet(kTarget + "&fault=html-error-page");
    const RawClient::Reply reply = client.ReadReply();
    EXPECT_EQ(reply.head.substr(0, reply.head.find("Content-Length")),
              "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n");
    EXPECT_EQ(reply.body.substr(0, 15), "<!DOCTYPE html>");
    EXPECT_NE(reply.body.find("</html>"), std::string::npos);
    client.SendGet(kTarget);  // the connection stays usable
    EXPECT_EQ(client.ReadReply().body, kBody);
}

TEST_F(FaultBytes, Headers) {
    ExpectBytes({
        {"folded-space",
         kHead + "X-Tile-Note: folded\r\n over two lines\r\n" + kLength + "\r\n" + kBody,
         End::Closed},
        {"folded-tab",
         kHead + "X-Tile-Note: folded\r\n\tover two lines\r\n" + kLength + "\r\n" + kBody,
         End::Closed},
        {"no-colon", kHead + "This header line has no colon\r\n" + kLength + "\r\n" + kBody,
         End::Closed},
        {"nul-bytes", kHead + std::string("X-Nul: a\0b\0c\r\n", 14) + kLength + "\r\n" + kBody,
         End::Closed},
        {"length-zero", kHead + "Content-Length: 0\r\n\r\n", End::Closed},
        {"length-duplicate", kHead + kLength + kLength + "\r\n" + kBody, End::Closed},
        {"length-conflict", kHead + kLength + "Content-Length: 31\r\n\r\n" + kBody, End::Closed},
        {"length-negative", kHead + "Content-Length: -1\r\n\r\n" + kBody, End::Closed},
        {"length-garbage", kHead + "Content-Length: 6abc\r\n\r\n" + kBody, End::Closed},
        {"length-huge", kHead + "Content-Length: 1099511627776\r\n\r\n" + kBody, End::Closed},
        {"length-huge:268435457", kHead + "Content-Length: 268435457\r\n\r\n" + kBody, End::Closed},
        {"length-overflow", kHead + "Content-Length: 99999999999999999999999\r\n\r\n" + kBody,
         End::Closed},
        {"connection-close", kHead + "Connection: close\r\n" + kLength + "\r\n" + kBody,
         End::Closed},
        {"connection-close-caps", kHead + "Connection: Close\r\n" + kLength + "\r\n" + kBody,
         End::Closed},
        {"connection-two-lines",
         kHead + "Connection: keep-alive\r\nConnection: close\r\n" + kLength + "\r\n" + kBody,
         End::Closed},
        {"lf-only", "HTTP/1.1 200 OK\nContent-Type: image/png\nContent-Length: 30\n\n" + kBody,
         End::Closed},
        {"split-blank-line:5", kOrdinary, End::Closed},
    });
}

TEST_F(FaultBytes, Body) {
    const std::string second =
        "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 13\r\n\r\nsecond reply\n";
    ExpectBytes({
        {"short-body", kHead + "Content-Length: 1030\r\n\r\n" + kBody, End::Closed},
        {"short-body:5", kHead + "Content-Length: 35\r\n\r\n" + kBody, End::Closed},
        {"long-body", kHead + "Content-Length: 15\r\n\r\n" + kBody, End::Closed},
        {"chunked", kChunkedHead + "1e\r\n" + kBody + "\r\n0\r\n\r\n", End::Closed},
        {"chunked-ext",
         kChunkedHead + "1e;ext=1;name=\"v\"\r\n" + kBody + "\r\n0;ext=1;name=\"v\"\r\n\r\n",
         End::Closed},
        {"chunked-upper", kChunkedHead + "1E\r\n" + kBody + "\r\n0\r\n\r\n", End::Closed},
        {"chunked-trailers",
         kHead + "Transfer-Encoding: chunked\r\nTrailer: X-Checksum, X-Tile-Trailer\r\n\r\n1e\r\n" +
             kBody + "\r\n0\r\nX-Checksum: none\r\nX-Tile-Trailer: yes\r\n\r\n",
         End::Closed},
        {"chunk-bad-size", kChunkedHead + "zz\r\n" + kBody + "\r\n0\r\n\r\n", End::Closed},
        {"chunk-huge-size", kChunkedHead + "FFFFFFFFFFFFFFFFFF\r\n" + kBody, End::Closed},
        {"chunk-cut", kChunkedHead + "1e\r\n" + kBody.substr(0, 15), End::Closed},
        {"204-with-length", "HTTP/1.1 204 No Content\r\n" + kLength + "\r\n", End::Closed},
        {"304-with-length", "HTTP/1.1 304 Not Modified\r\n" + kLength + "\r\n", End::Closed},
        {"two-replies", kOrdinary + second, End::Closed},
    });
}

TEST_F(FaultBytes, TimingChangesWhenBytesComeNotWhichBytes) {
    const struct {
        std::string fault;
        std::chrono::milliseconds atLeast;
    } cases[] = {
        {"slow-first-byte:40", std::chrono::milliseconds(40)},
        {"stall-mid-body:40", std::chrono::milliseconds(40)},
        {"drip:1:7", std::chrono::milliseconds(kOrdinary.size() / 7)},
        {"split-blank-line:40", std::chrono::milliseconds(40)},
    };
    for (const auto& c : cases) {
        const auto start = std::chrono::steady_clock::now();
        ExpectBytes({{c.fault, kOrdinary, End::Closed}});
        EXPECT_GE(std::chrono::steady_clock::now() - start, c.atLeast) << c.fault;
    }
}

TEST_F(FaultBytes, AnyReplyCanBeWrittenInSmallPieces) {
    RawClient client(server_->Port());
    client.SendGet(kTarget + "&pieces=3&piece-delay=1", true);
    std::string received;
    EXPECT_EQ(client.ReadUntilEnd(received), End::Closed);
    EXPECT_EQ(received, kHead + kLength + "Connection: close\r\n\r\n" + kBody);
}

TEST_F(FaultBytes, HugeHeadsHaveTheSizeAsked) {
    const struct {
        std::string fault;
        std::size_t least;
        std::size_t most;
    } cases[] = {
        {"long-header", 100 * 1024, 101 * 1024},
        {"huge-header-block", 2048 * 1024, 2049 * 1024},
        {"huge-header-block:64", 64 * 1024, 65 * 1024},
    };
    for (const auto& c : cases) {
        RawClient client(server_->Port());
        client.SendGet(kTarget + "&fault=" + c.fault, true);
        std::string received;
        EXPECT_EQ(client.ReadUntilEnd(received), End::Closed);
        const std::size_t head = received.find("\r\n\r\n") + 4;
        EXPECT_GE(head, c.least) << c.fault;
        EXPECT_LE(head, c.most) << c.fault;
        EXPECT_EQ(received.substr(head), kBody) << c.fault;
        EXPECT_NE(received.find("\r\n" + kLength), std::string::npos) << c.fault;
    }
}

TEST_F(FaultBytes, KeepAliveFaultsLeaveTheConnectionAsTheyAnnounce) {
    // close-after:2 answers twice without saying it will close, then closes.
    {
        RawClient client(server_->Port());
        client.SendGet(kTarget + "&fault=close-after:2");
        EXPECT_EQ(client.ReadReply().head.find("Connection"), std::string::npos);
        client.SendGet(kTarget + "&fault=close-after:2");
        EXPECT_EQ(client.ReadReply().body, kBody);
        std::string rest;
        EXPECT_EQ(client.ReadUntilEnd(rest), End::Closed);
        EXPECT_EQ(rest, "");
    }
    // long-body leaves the surplus on the open connection, ahead of the next reply.
    {
        RawClient client(server_->Port());
        client.SendGet(kTarget + "&fault=long-body");
        EXPECT_EQ(client.ReadReply().body, kBody.substr(0, 15));
        client.SendGet(kTarget, true);
        std::string rest;
        EXPECT_EQ(client.ReadUntilEnd(rest), End::Closed);
        EXPECT_EQ(rest, kBody.substr(15) + kHead + kLength + "Connection: close\r\n\r\n" + kBody);
    }
    // 204 with a length sends no body: the next reply follows the head directly.
    {
        RawClient client(server_->Port());
        client.SendGet(kTarget + "&fault=204-with-length");
        client.SendGet(kTarget + "&fault=close");
        std::string received;
        EXPECT_EQ(client.ReadUntilEnd(received), End::Closed);
        EXPECT_EQ(received, "HTTP/1.1 204 No Content\r\n" + kLength + "\r\n");
    }
    // idle-close answers, then drops the connection once it has been idle briefly.
    {
        RawClient client(server_->Port());
        client.SendGet(kTarget + "&fault=idle-close:30");
        EXPECT_EQ(client.ReadReply().body, kBody);
        std::string rest;
        EXPECT_EQ(client.ReadUntilEnd(rest, 5000), End::Closed);
    }
}

TEST_F(FaultBytes, SilentAndEndlessRepliesLastUntilTheClientLeaves) {
    RawClient silent(server_->Port());
    silent.SendGet(kTarget + "&fault=no-answer");
    std::string received;
    EXPECT_EQ(silent.ReadUntilEnd(received, 200), End::Timeout);
    EXPECT_EQ(received, "");

    {
        RawClient endless(server_->Port());
        endless.SendGet(kTarget + "&fault=never-ending:1");
        EXPECT_EQ(endless.ReadAtLeast(8192, received), End::Timeout);
        EXPECT_EQ(received.substr(0, received.find("\r\n\r\n") + 4),
                  kHead + "Connection: close\r\n\r\n");
        EXPECT_GE(received.size(), 8192u);
    }
    // Both clients gone or going: the server still answers others at once.
    RawClient other(server_->Port());
    other.SendGet(kTarget);
    EXPECT_EQ(other.ReadReply().body, kBody);
}

// The body of a chunked reply, extensions and trailers skipped.
std::string Dechunk(std::string_view stream, int& chunks) {
    std::string body;
    std::size_t at = stream.find("\r\n\r\n") + 4;
    for (chunks = 0;; ++chunks) {
        const std::size_t lineEnd = stream.find("\r\n", at);
        const std::size_t size =
            std::strtoul(std::string(stream.substr(at, lineEnd - at)).c_str(), nullptr, 16);
        at = lineEnd + 2;
        if (size == 0) {
            return body;
        }
        body += stream.substr(at, size);
        at += size + 2;
    }
}

TEST(ChunkedFaults, ATileInSeveralChunksReassemblesToTheTile) {
    const auto server = test::StartServer();
    const std::string tile = EncodeSyntheticTile({TileLayer::Satellite, 29, 19, 5});
    ASSERT_GT(tile.size(), 2 * 4096u);
    for (const std::string fault :
         {"chunked", "chunked-ext", "chunked-upper", "chunked-trailers"}) {
        RawClient client(server->Port());
        client.SendGet("/ae/ximg?x=29&y=-4&z=6&fault=" + fault, true);
        std::string received;
        EXPECT_EQ(client.ReadUntilEnd(received), End::Closed);
        int chunks = 0;
        EXPECT_EQ(Dechunk(received, chunks), tile) << fault;
        EXPECT_GE(chunks, 3) << fault;
    }
}

TEST(ServerWideFaults, RefusedBindsThePortButRefusesEveryConnection) {
    TileServerOptions options;
    std::string error;
    FaultChoice refused;
    ASSERT_TRUE(ParseFault("refused", refused, error));
    options.fault = refused;
    const auto server = test::StartServer(options);
    EXPECT_GT(server->Port(), 0);
    try {
        RawClient client(server->Port());
        FAIL() << "connected";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Connection refused");
    }
}

TEST(ServerWideFaults, EveryRequestGetsTheServersFaultUnlessItNamesItsOwn) {
    TileServerOptions options;
    options.bodySize = kBody.size();
    std::string error;
    FaultChoice unavailable;
    ASSERT_TRUE(ParseFault("status-503", unavailable, error));
    options.fault = unavailable;
    const auto server = test::StartServer(options);
    RawClient client(server->Port());
    client.SendGet(kTarget);
    EXPECT_EQ(client.ReadReply().status, 503);
    client.SendGet(kTarget + "&fault=length-duplicate");
    EXPECT_EQ(client.ReadReply().body, kBody);
}

TEST(FaultCatalogue, CoversEveryGroupWithUniqueNamesAndRunnableEntries) {
    std::set<std::string_view> names;
    std::set<FaultGroup> groups;
    for (const FaultEntry& entry : FaultCatalogue()) {
        EXPECT_TRUE(names.insert(entry.name).second) << entry.name;
        groups.insert(entry.group);
        EXPECT_FALSE(entry.description.empty()) << entry.name;
        EXPECT_EQ(entry.run == nullptr, entry.name == "refused") << entry.name;
    }
    EXPECT_GE(names.size(), 30u);
    EXPECT_EQ(groups.size(), 5u);
}

TEST(FaultCatalogue, ParsesNamesWithTheirArgumentsAndRefusesTheRest) {
    const struct {
        std::string text;
        bool ok;
        FaultArgs args;
        std::string logged;
    } cases[] = {
        {"drip", true, {100, 1}, "drip"},
        {"drip:5", true, {5, 1}, "drip:5"},
        {"drip:100:3", true, {100, 3}, "drip:100:3"},
        {"close-mid-body", true, {-1, 0}, "close-mid-body"},
        {"status:418", true, {418, 0}, "status:418"},
        {"status-404", true, {404, 0}, "status-404"},
        {"drip:5:2:1", false, {}, ""},
        {"drip:-1", false, {}, ""},
        {"drip:x", false, {}, ""},
        {"drip:", false, {}, ""},
        {"close:3", false, {}, ""},
        {"status-404:500", false, {}, ""},
        {"nope", false, {}, ""},
        {"", false, {}, ""},
    };
    for (const auto& c : cases) {
        FaultChoice choice;
        std::string error;
        ASSERT_EQ(ParseFault(c.text, choice, error), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(choice.args, c.args) << c.text;
            EXPECT_EQ(FaultText(choice), c.logged);
        } else {
            EXPECT_FALSE(error.empty()) << c.text;
        }
    }
}

}  // namespace
}  // namespace tessellon::tileserver
