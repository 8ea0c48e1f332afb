#include <gtest/gtest.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <thread>

#include "loopback_server.h"
#include "net/net_errors.h"
#include "net/tcp_client.h"
#include "platform/stop_signal.h"
#include "script_server.h"

namespace tessellon {
namespace {

using namespace std::chrono_literals;
using test::TScriptServer;
using test::TServerScript;

void ConnectTo(TTcpClient& client, const TScriptServer& server) {
    client.Host = "127.0.0.1";
    client.Port = server.Port();
    client.OpenConnection();
}

template <typename E>
std::string MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const E& error) {
        return error.what();
    }
    return "(nothing raised)";
}

TEST(TcpConnectionReadLine, ALineIsReturnedAndThePeersCloseRaisesOnTheNextRead) {
    TScriptServer server({TServerScript().Send("HTTP/1.1 200 OK\r\n").Close()});
    TTcpClient client;
    ConnectTo(client, server);
    EXPECT_EQ(client.ReadLine(), "HTTP/1.1 200 OK");
    EXPECT_EQ(MessageOf<EConnClosedGracefully>([&] { client.ReadLine(); }),
              "Connection Closed Gracefully.");
    EXPECT_FALSE(client.IsConnected());
}

TEST(TcpConnectionReadLine, APeerClosingInsideALineGivesAnEmptyLineThenRaises) {
    TScriptServer server({TServerScript().Send("HTTP/1.1 20").Close()});
    TTcpClient client;
    ConnectTo(client, server);
    EXPECT_EQ(client.ReadLine(), "");
    EXPECT_TRUE(client.ReadLnTimedOut());
    EXPECT_EQ(client.InputBuffer().View(), "HTTP/1.1 20");
    EXPECT_THROW(client.ReadLine(), EConnClosedGracefully);
}

TEST(TcpConnectionReadLine, LineEndsAreDroppedALoneCarriageReturnStaysAndTheFilterClearsTopBits) {
    TScriptServer server({TServerScript().Send("a\r\nb\nc\rd\n\xC1\xE2\r\n")});
    TTcpClient client;
    client.ASCIIFilter = true;
    ConnectTo(client, server);
    EXPECT_EQ(client.ReadLine(), "a");
    EXPECT_EQ(client.ReadLine(), "b");
    EXPECT_EQ(client.ReadLine(), "c\rd");
    EXPECT_EQ(client.ReadLine(), "Ab");
}

TEST(TcpConnectionReadLine, AFiniteWaitThatRunsOutGivesAnEmptyLineAndKeepsTheConnection) {
    TScriptServer server({TServerScript().Sleep(2000)});
    TTcpClient client;
    ConnectTo(client, server);
    EXPECT_EQ(client.ReadLine(20), "");
    EXPECT_TRUE(client.ReadLnTimedOut());
    EXPECT_TRUE(client.IsConnected());
}

TEST(TcpConnectionReadBlock, AFixedCountCutShortRaisesAndUntilCloseDoesNot) {
    const std::string forty(40, 'x');
    TScriptServer server(
        {TServerScript().Send(forty).Close(), TServerScript().Send(forty).Close()});
    TTcpClient client;
    ConnectTo(client, server);
    TNetBuffer stream;
    EXPECT_THROW(client.Reader().ReadBlock(stream, 100), EConnClosedGracefully);

    ConnectTo(client, server);
    TNetBuffer whole;
    client.Reader().ReadUntilEnd(whole);
    EXPECT_EQ(whole.View(), forty);
    EXPECT_FALSE(client.IsConnected());
}

TEST(TcpConnectionReadBlock, ABlockCutShortBeforeTheReadBeganStillRaises) {
    TScriptServer server({TServerScript().Send(std::string(40, 'x')).Close()});
    TTcpClient client;
    ConnectTo(client, server);
    std::this_thread::sleep_for(50ms);
    client.PeekPeerClosed(false);  // the bytes
    client.PeekPeerClosed(false);  // the close
    ASSERT_FALSE(client.IsConnected());
    ASSERT_EQ(client.InputBuffer().Size(), 40u);
    TNetBuffer stream;
    EXPECT_THROW(client.Reader().ReadBlock(stream, 100), EConnClosedGracefully);
    EXPECT_EQ(stream.Size(), 40u);
}

TEST(SocketStack, LocalhostAndDottedQuadsNeedNoLookup) {
    TTcpClient client;
    EXPECT_EQ(client.Stack().ResolveHostAddress("LocalHost"), "127.0.0.1");
    EXPECT_EQ(client.Stack().ResolveHostAddress("10.1.2.3"), "10.1.2.3");
    const struct {
        const char* text;
        bool dottedQuad;
    } cases[] = {{"1.2.3.4", true},
                 {"255.255.255.255", true},
                 {"01.2.3.4", true},
                 {"1.2.3.256", false},
                 {"1.2.3", false},
                 {"1.2.3.4.5", false},
                 {"a.b.c.d", false},
                 {"1..3.4", false},
                 {"", false},
                 {"1.2.3.-4", false},
                 {"99999999999.1.1.1", false}};
    for (const auto& c : cases) {
        EXPECT_EQ(TSocketStack::IsDottedQuad(c.text), c.dottedQuad) << c.text;
    }
}

TEST(SocketStack, PosixErrorsAreReportedUnderTheirWindowsSocketsNumbersAndTexts) {
    const struct {
        int error;
        int number;
    } errors[] = {{ECONNRESET, 10054},   {EPIPE, 10054},         {EADDRINUSE, 10048},
                  {ECONNREFUSED, 10061}, {ETIMEDOUT, 10060},     {EWOULDBLOCK, 10035},
                  {EHOSTUNREACH, 10065}, {ENETUNREACH, 10051},   {ECONNABORTED, 10053},
                  {ESHUTDOWN, 10058},    {EADDRNOTAVAIL, 10049}, {EMFILE, 10024}};
    for (const auto& e : errors) {
        EXPECT_EQ(TSocketStack::ErrorNumberFromErrno(e.error), e.number) << e.error;
    }
    EXPECT_EQ(TSocketStack::ErrorNumberFromLookup(EAI_NONAME, 0), 11001);
    EXPECT_EQ(TSocketStack::ErrorNumberFromLookup(EAI_NODATA, 0), 11004);
    EXPECT_EQ(TSocketStack::ErrorNumberFromLookup(EAI_SYSTEM, ECONNREFUSED), 10061);

    EXPECT_EQ(SocketErrorMessage(10054), "Socket Error # 10054\r\nConnection reset by peer.");
    EXPECT_EQ(SocketErrorMessage(10048), "Socket Error # 10048\r\nAddress already in use.");
    EXPECT_EQ(SocketErrorMessage(10035), "Socket Error # 10035\r\nOperation would block. ");
    EXPECT_EQ(SocketErrorMessage(10066), "Socket Error # 10066\r\nDirectory not empty");
    EXPECT_EQ(SocketErrorMessage(11001), "Socket Error # 11001\r\n");
    EXPECT_EQ(SocketErrorMessage(10060), "Socket Error # 10060\r\nConnection timed out.");
}

TEST(TcpConnectionErrors, AResetRaises10054AndReleasesTheSocket) {
    TScriptServer server({TServerScript().Sleep(20).Reset()});
    TTcpClient client;
    ConnectTo(client, server);
    EXPECT_EQ(MessageOf<ESocketError>([&] { client.ReadLine(); }),
              "Socket Error # 10054\r\nConnection reset by peer.");
    EXPECT_FALSE(client.IsConnected());
}

TEST(TcpConnectionErrors, WritingToAResetPeerRaisesInsteadOfRaisingSigpipe) {
    TScriptServer server({TServerScript().Sleep(20).Reset()});
    TTcpClient client;
    ConnectTo(client, server);
    std::this_thread::sleep_for(80ms);
    const std::string block(64 * 1024, 'x');
    // The first send may still be taken by the kernel; a later one fails.
    EXPECT_THROW(
        for (int i = 0; i < 3; ++i) { client.SendBytes(block.data(), block.size()); },
        ENetException);
    EXPECT_FALSE(client.IsConnected());
}

TEST(TcpConnectionOpen, OpeningAnOpenConnectionRaisesAndLeavesItUntouched) {
    TScriptServer server({TServerScript().Send("still here\r\n")});
    TTcpClient client;
    ConnectTo(client, server);
    EXPECT_EQ(MessageOf<EAlreadyConnected>([&] { client.OpenConnection(); }), "Already connected.");
    EXPECT_EQ(client.ReadLine(), "still here");
    EXPECT_EQ(server.Connections(), 1);
}

TEST(TcpConnectionOpen, ARefusedConnectionRaises10061) {
    TTcpClient client;
    client.Host = "127.0.0.1";
    client.Port = test::UnusedPort();
    EXPECT_EQ(MessageOf<ESocketError>([&] { client.OpenConnection(); }),
              "Socket Error # 10061\r\nConnection refused.");
    EXPECT_FALSE(client.IsConnected());
}

TEST(TcpConnectionOpen, APortOutsideTheTcpRangeIsRefusedRatherThanWrapped) {
    for (const int port : {0, -1, 65536, 65536 + 80}) {
        TTcpClient client;
        client.Host = "127.0.0.1";
        client.Port = port;
        EXPECT_EQ(MessageOf<ESocketError>([&] { client.OpenConnection(); }),
                  "Socket Error # 10049\r\nCannot assign requested address.")
            << port;
    }
}

TEST(TcpConnectionOpen, StatusEventsNameTheStepsAndThePeer) {
    TScriptServer server({TServerScript()});
    TTcpClient client;
    std::vector<std::string> texts;
    client.OnStatus = [&](TNetComponent&, TNetStatus, const std::string& text) {
        texts.push_back(text);
    };
    client.Host = "localhost";
    client.Port = server.Port();
    client.OpenConnection();
    client.CloseConnection();
    EXPECT_EQ(texts, (std::vector<std::string>{"Resolving hostname localhost.",
                                               "Connecting to 127.0.0.1.", "Connected.",
                                               "Disconnecting from 127.0.0.1.", "Not connected."}));
}

TEST(TcpConnectionOpen, ABoundAddressAndNagleOffAreHonouredAndBothEndsKnown) {
    TScriptServer server({TServerScript()});
    TTcpClient client;
    client.BoundIP = "127.0.0.1";
    client.UseNagle = false;
    int connected = 0;
    client.OnConnected = [&](TTcpClient&) { ++connected; };
    ConnectTo(client, server);
    EXPECT_EQ(connected, 1);
    EXPECT_EQ(client.Socket().LocalIP(), "127.0.0.1");
    EXPECT_GT(client.Socket().LocalPort(), 0);
    EXPECT_EQ(client.Socket().PeerIP(), "127.0.0.1");
    EXPECT_EQ(client.Socket().PeerPort(), server.Port());
    int noDelay = 0;
    socklen_t length = sizeof noDelay;
    ::getsockopt(client.Socket().Handle(), IPPROTO_TCP, TCP_NODELAY, &noDelay, &length);
    EXPECT_EQ(noDelay, 1);
}

TEST(TcpConnectionTimeLimits, AConnectThatIsNeverAnsweredTimesOut) {
    // A listener with a full backlog drops further connection requests.
    int port = 0;
    const int listener = test::ListenOnLoopback(port);
    ::listen(listener, 0);
    std::vector<std::unique_ptr<TTcpClient>> queued;
    std::string message;
    for (int i = 0; i < 4 && message.empty(); ++i) {
        auto client = std::make_unique<TTcpClient>();
        client->Host = "127.0.0.1";
        client->Port = port;
        client->TimeLimits.Connect = 100ms;
        try {
            client->OpenConnection();
        } catch (const ESocketError& error) {
            message = error.what();
        }
        queued.push_back(std::move(client));
    }
    ::close(listener);
    EXPECT_EQ(message, "Socket Error # 10060\r\nConnection timed out.");
}

TEST(TcpConnectionTimeLimits, APeerThatSendsNothingTimesOutAndTheSocketIsReleased) {
    TScriptServer server({TServerScript().Sleep(5000)});
    TTcpClient client;
    client.TimeLimits.Idle = 80ms;
    ConnectTo(client, server);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(MessageOf<ESocketError>([&] { client.ReadLine(); }),
              "Socket Error # 10060\r\nConnection timed out.");
    EXPECT_GE(std::chrono::steady_clock::now() - start, 80ms);
    EXPECT_FALSE(client.IsConnected());
}

TEST(TcpConnectionTimeLimits, AConnectionThatWaitedBeforeWaitsItsWholeLimitAndNoMore) {
    // From its second wait on, a connection waits inside recv() under a
    // receive time-out, which the kernel keeps only coarsely.
    TScriptServer server({TServerScript().Send("first\n").Sleep(3000)});
    TTcpClient client;
    client.TimeLimits.Idle = 300ms;
    ConnectTo(client, server);
    EXPECT_EQ(client.ReadLine(), "first");
    const auto timed = [](const std::function<void()>& action) {
        const auto start = std::chrono::steady_clock::now();
        action();
        const auto elapsed = std::chrono::steady_clock::now() - start;
        EXPECT_GE(elapsed, 300ms);
        EXPECT_LT(elapsed, 500ms);
    };
    timed([&] { EXPECT_EQ(client.ReadLine(300), ""); });
    EXPECT_TRUE(client.ReadLnTimedOut());
    timed([&] {
        EXPECT_EQ(MessageOf<ESocketError>([&] { client.ReadLine(); }),
                  "Socket Error # 10060\r\nConnection timed out.");
    });
    EXPECT_FALSE(client.IsConnected());
}

TEST(TcpConnectionTimeLimits, TheRequestDeadlineEndsADripBelowTheIdleLimit) {
    TScriptServer server({TServerScript().Drip(std::string(1000, 'x'), 1, 10)});
    TTcpClient client;
    client.TimeLimits.Idle = 1000ms;
    ConnectTo(client, server);
    client.SetRequestDeadline(std::chrono::steady_clock::now() + 150ms);
    TNetBuffer stream;
    EXPECT_EQ(MessageOf<ESocketError>([&] { client.Reader().ReadBlock(stream, 1000); }),
              "Socket Error # 10060\r\nConnection timed out.");
    EXPECT_FALSE(client.IsConnected());
}

// A stop request ends a wait on the socket long before its limits would:
// a read from a silent peer, a write to a peer that reads nothing (once the
// kernel's buffers are full), and any wait of a connection whose stop came
// before it. Each releases the socket.
TEST(TcpConnectionStop, AStopEndsAReadOrAWriteThatWaitsOnTheSocket) {
    for (const bool writing : {false, true}) {
        SCOPED_TRACE(writing ? "write" : "read");
        TScriptServer server({TServerScript().Sleep(20000)});
        StopSignal stop;
        TTcpClient client;
        client.TimeLimits.Idle = 30s;
        client.StopOn(stop);
        ConnectTo(client, server);
        std::thread stopper([&] {
            std::this_thread::sleep_for(200ms);
            stop.Request();
        });
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(MessageOf<ECancelled>([&] {
                      if (writing) {
                          const std::string bytes(64 << 20, 'x');
                          client.SendBytes(bytes.data(), bytes.size());
                      } else {
                          client.ReadLine();
                      }
                  }),
                  "Cancelled.");
        stopper.join();
        EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
        EXPECT_FALSE(client.IsConnected());
    }
}

TEST(TcpConnectionStop, AConnectionWhoseStopCameBeforeDoesNotWait) {
    TScriptServer server({TServerScript().Send("first\n").Sleep(20000)});
    StopSignal stop;
    TTcpClient client;
    client.TimeLimits.Idle = 30s;
    client.StopOn(stop);
    ConnectTo(client, server);
    // A connection that waited before waits inside recv() first.
    EXPECT_EQ(client.ReadLine(), "first");
    stop.Request();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(MessageOf<ECancelled>([&] { client.ReadLine(); }), "Cancelled.");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_FALSE(client.IsConnected());
}

// A listener whose queue is full drops further connection requests, so a
// connect waits there as at a host that does not answer.
TEST(TcpConnectionStop, AStopEndsAConnectThatGetsNoAnswer) {
    int port = 0;
    const int listener = test::ListenOnLoopback(port);
    ASSERT_EQ(::listen(listener, 0), 0);
    std::vector<std::unique_ptr<TTcpClient>> queued;
    bool full = false;
    while (!full && queued.size() < 8) {
        queued.push_back(std::make_unique<TTcpClient>());
        queued.back()->TimeLimits.Connect = 300ms;
        queued.back()->Host = "127.0.0.1";
        queued.back()->Port = port;
        full =
            MessageOf<ESocketError>([&] { queued.back()->OpenConnection(); }) != "(nothing raised)";
    }
    ASSERT_TRUE(full);
    StopSignal stop;
    TTcpClient client;
    client.TimeLimits.Connect = 30s;
    client.Host = "127.0.0.1";
    client.Port = port;
    client.StopOn(stop);
    std::thread stopper([&] {
        std::this_thread::sleep_for(200ms);
        stop.Request();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(MessageOf<ECancelled>([&] { client.OpenConnection(); }), "Cancelled.");
    stopper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_FALSE(client.IsConnected());
    ::close(listener);
}

TEST(NetComponent, TheSharedSocketLayerSurvivesClientsMadeAndFreedOnManyThreads) {
    const int before = TNetComponent::LiveCount();
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([] {
            for (int i = 0; i < 2000; ++i) {
                TTcpClient client;
                EXPECT_EQ(client.Stack().ResolveHostAddress("localhost"), "127.0.0.1");
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(TNetComponent::LiveCount(), before);
}

}  // namespace
}  // namespace tessellon
