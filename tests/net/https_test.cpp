// THttpClient over TLS against test servers on 127.0.0.1 whose certificates
// the tests make: verification, kept connections and resumed sessions, the
// handshake's failures, a stream that fails mid-reply, and CONNECT tunnels.

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <cstdlib>

#include "http_test_support.h"
#include "loopback_server.h"
#include "net/http_client.h"
#include "net/tcp_client.h"
#include "platform/files.h"
#include "script_server.h"
#include "temp_dir.h"
#include "test_proxy.h"
#include "tls_server.h"

namespace tessellon {
namespace {

using namespace std::chrono_literals;
using test::Get;
using test::HttpReply;
using test::TCertificateKind;
using test::TTlsServer;

constexpr const char* kHandshakeFailed = "socket:TLS handshake failed: ";

TEST(Https, AConnectionIsKeptAndANewOneResumesTheSession) {
    TTlsServer server;
    THttpClient http;
    EXPECT_EQ(Get(http, server.Url("/a?x=1")), "body:tls:/a?x=1");
    EXPECT_EQ(Get(http, server.Url("/b")), "body:tls:/b");
    EXPECT_TRUE(http.TlsActive());
    EXPECT_EQ(server.Connections(), 1);
    const std::string host = "127.0.0.1:" + std::to_string(server.Port());
    EXPECT_EQ(server.Requests().back(),
              "GET /b HTTP/1.1\r\nHost: " + host +
                  "\r\nAccept: text/html, */*\r\n"
                  "User-Agent: Mozilla/3.0 (compatible; Tessellon)\r\n\r\n");
    EXPECT_FALSE(http.TlsSessionReused());

    http.CloseConnection();
    EXPECT_EQ(Get(http, server.Url("/c")), "body:tls:/c");
    EXPECT_EQ(server.Connections(), 2);
    EXPECT_TRUE(http.TlsSessionReused());
    EXPECT_EQ(server.Resumed(), 1);
    // An IP address is checked against the certificate, but never sent as a name.
    EXPECT_EQ(server.ServerNames(), (std::vector<std::string>{"", ""}));
}

TEST(Https, ASessionOutlivesAConnectionTheServerEnded) {
    for (const std::string path : {"/bye", "/gone"}) {
        SCOPED_TRACE(path);
        TTlsServer server;
        THttpClient http;
        EXPECT_EQ(Get(http, server.Url(path)), "body:tls:" + path);
        // The client finds the connection closed, and opens another.
        EXPECT_EQ(Get(http, server.Url("/next")), "body:tls:/next");
        EXPECT_EQ(server.Connections(), 2);
        EXPECT_TRUE(http.TlsSessionReused());
        EXPECT_EQ(server.Resumed(), 1);
    }
}

TEST(Https, TheEncryptedStreamWaitsAsTheSocketWould) {
    TTlsServer server;
    TTcpClient client;
    client.Host = "127.0.0.1";
    client.Port = server.Port();
    client.OpenConnection();
    client.StartTls("127.0.0.1", false);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client.ReadLine(100), "");
    EXPECT_TRUE(client.ReadLnTimedOut());
    EXPECT_GE(std::chrono::steady_clock::now() - start, 100ms);
    client.PeekPeerClosed(true);
    EXPECT_TRUE(client.IsConnected());
    const std::string request = "GET /x HTTP/1.1\r\nHost: h\r\n\r\n";
    client.SendBytes(request.data(), request.size());
    EXPECT_EQ(client.ReadLine(), "HTTP/1.1 200 OK");
    // The whole reply came in one record: the rest waits in the buffer.
    EXPECT_EQ(client.BytesReceived(), HttpReply("tls:/x").size());
    // The body has no line feed, so the next line waits out the idle limit.
    client.TimeLimits.Idle = 150ms;
    const std::string outcome = test::Outcome([&](TNetBuffer&) {
        for (;;) {
            client.ReadLine();
        }
    });
    EXPECT_EQ(outcome.rfind("socket:Socket Error # 10060", 0), 0u) << outcome;
    EXPECT_FALSE(client.IsConnected());
}

TEST(Https, AHostNameIsSentAndARedirectStaysOnTheConnection) {
    TTlsServer server;
    THttpClient http;
    http.HandleRedirects = true;
    EXPECT_EQ(Get(http, server.Url("/moved", "localhost")), "body:tls:/tile");
    EXPECT_EQ(server.Connections(), 1);
    EXPECT_EQ(server.ServerNames(), std::vector<std::string>{"localhost"});
    // A plain URL to the same host and port needs a connection of its own.
    test::TScriptServer plain({test::TServerScript().Answer(HttpReply("plain"))});
    EXPECT_EQ(Get(http, plain.Url("/p")), "body:plain");
    EXPECT_FALSE(http.TlsActive());
}

TEST(Https, ACertificateThatCannotBeVerifiedFailsOnceWithItsReason) {
    struct TCase {
        TCertificateKind kind;
        const char* host;
        const char* reason;
    };
    const TCase cases[] = {
        {TCertificateKind::SelfSigned, "127.0.0.1", "self-signed certificate"},
        {TCertificateKind::OtherHost, "127.0.0.1", "IP address mismatch"},
        {TCertificateKind::OtherHost, "localhost", "hostname mismatch"},
        {TCertificateKind::Expired, "localhost", "certificate has expired"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.reason);
        TTlsServer server(c.kind);
        THttpClient http;
        EXPECT_EQ(Get(http, server.Url("/t", c.host)),
                  std::string(kHandshakeFailed) + "certificate verify failed (" + c.reason + ")");
        EXPECT_FALSE(http.IsConnected());
        EXPECT_EQ(server.Connections(), 1);
        EXPECT_EQ(server.Handshakes(), 0);
    }
}

// The streams of the process share one reading of the store of authorities,
// read again when SSL_CERT_FILE names another: the test CA, trusted a moment
// ago, is not once the variable names a file without it, and is again after.
TEST(Https, AStoreThatSslCertFileNamesAnewIsReadForTheNextConnection) {
    TTlsServer server;
    const std::string caFile = std::getenv("SSL_CERT_FILE");
    THttpClient before;
    EXPECT_EQ(Get(before, server.Url("/a")), "body:tls:/a");

    const test::TempDir dir;
    WriteFileAtomic(dir.File("none.pem"), "");
    ::setenv("SSL_CERT_FILE", dir.File("none.pem").c_str(), 1);
    THttpClient without;
    EXPECT_EQ(Get(without, server.Url("/b")),
              std::string(kHandshakeFailed) +
                  "certificate verify failed (unable to get local issuer certificate)");
    ::setenv("SSL_CERT_FILE", caFile.c_str(), 1);
    THttpClient after;
    EXPECT_EQ(Get(after, server.Url("/c")), "body:tls:/c");
}

TEST(Https, InsecureAcceptsAnyCertificateAndItsSessionServesNoVerifiedUse) {
    TTlsServer server(TCertificateKind::SelfSigned);
    THttpClient http;
    http.InsecureTls = true;
    EXPECT_EQ(Get(http, server.Url("/t")), "body:tls:/t");
    http.CloseConnection();
    http.InsecureTls = false;
    EXPECT_EQ(
        Get(http, server.Url("/t")),
        std::string(kHandshakeFailed) + "certificate verify failed (self-signed certificate)");
}

TEST(Https, APeerThatIsNoTlsServerFailsTheHandshake) {
    // Closes after reading the client's hello.
    std::unique_ptr<test::TLoopbackServer> closing;
    closing = std::make_unique<test::TLoopbackServer>([&closing](int fd, int) {
        char hello[1024];
        ::recv(fd, hello, sizeof hello, 0);
        closing->CloseNow(fd);
    });
    THttpClient http;
    EXPECT_EQ(Get(http, "https://127.0.0.1:" + std::to_string(closing->Port()) + "/"),
              std::string(kHandshakeFailed) + "the server closed the connection");
    EXPECT_FALSE(http.IsConnected());

    test::TScriptServer plain({test::TServerScript().Send(HttpReply("plain")).Sleep(2000)});
    EXPECT_EQ(Get(http, "https://127.0.0.1:" + std::to_string(plain.Port()) + "/"),
              std::string(kHandshakeFailed) + "wrong version number");

    // Never answers: the handshake keeps the connection's time limits.
    test::TScriptServer silent({test::TServerScript().Sleep(2000)});
    http.TimeLimits.Idle = 200ms;
    const std::string timedOut =
        Get(http, "https://127.0.0.1:" + std::to_string(silent.Port()) + "/");
    EXPECT_EQ(timedOut.rfind("socket:Socket Error # 10060", 0), 0u) << timedOut;
}

// A body that runs until the close is whole only after TLS's own goodbye:
// a close without one may have cut it anywhere.
TEST(Https, ABodyUntilTheCloseNeedsTheClosingAlert) {
    TTlsServer server;
    THttpClient http;
    EXPECT_EQ(Get(http, server.Url("/open-bye")), "body:some body");
    EXPECT_TRUE(http.BodyRanUntilClose());
    EXPECT_EQ(Get(http, server.Url("/open-cut")),
              std::string("invalid:") + kReplyCutWithoutGoodbye);
    EXPECT_EQ(Get(http, server.Url("/tile")), "body:tls:/tile");
    EXPECT_FALSE(http.BodyRanUntilClose());
}

TEST(Https, AStreamThatFailsMidReplyReadsAsAResetOrClose) {
    TTlsServer server;
    THttpClient http;
    EXPECT_EQ(Get(http, server.Url("/cut")), "closed:Connection Closed Gracefully.");
    EXPECT_FALSE(http.IsConnected());
    const std::string garbage = Get(http, server.Url("/garbage"));
    EXPECT_EQ(garbage.rfind("socket:TLS read failed: ", 0), 0u) << garbage;
    EXPECT_NE(garbage.find("(Socket Error # 10054)"), std::string::npos) << garbage;
    EXPECT_FALSE(http.IsConnected());
    EXPECT_EQ(Get(http, server.Url("/after")), "body:tls:/after");
}

TEST(HttpsProxy, ATunnelCarriesTheCredentialsAndIsKeptForItsOrigin) {
    TTlsServer server;
    test::TTestProxy proxy;
    THttpClient http;
    http.Request.ProxyServer = "127.0.0.1";
    http.Request.ProxyPort = proxy.Port();
    http.Request.ProxyUsername = "user";
    http.Request.ProxyPassword = "pass";
    EXPECT_EQ(Get(http, server.Url("/one", "localhost")), "body:tls:/one");
    EXPECT_EQ(Get(http, server.Url("/two", "localhost")), "body:tls:/two");
    const std::string origin = "localhost:" + std::to_string(server.Port());
    EXPECT_EQ(proxy.Requests(),
              std::vector<std::string>{"CONNECT " + origin + " HTTP/1.1\r\nHost: " + origin +
                                       "\r\nProxy-Authorization: Basic dXNlcjpwYXNz\r\n\r\n"});
    EXPECT_EQ(proxy.Connections(), 1);
    // Inside the tunnel the origin sees an ordinary request.
    EXPECT_EQ(server.Requests().front(),
              "GET /one HTTP/1.1\r\nHost: " + origin +
                  "\r\nAccept: text/html, */*\r\n"
                  "User-Agent: Mozilla/3.0 (compatible; Tessellon)\r\n\r\n");
    EXPECT_EQ(server.ServerNames(), std::vector<std::string>{"localhost"});

    // Another origin needs another tunnel.
    TTlsServer other;
    EXPECT_EQ(Get(http, other.Url("/three", "localhost")), "body:tls:/three");
    EXPECT_EQ(proxy.Connections(), 2);
}

// Not a server's refusal: the failure policy must not take it for a 403 of
// the tile server.
TEST(HttpsProxy, ARefusedConnectFailsAsTheProxysRefusalWithItsStatus) {
    for (const char* status : {"407 Proxy Authentication Required", "403 Forbidden"}) {
        test::TTestProxy proxy(status);
        THttpClient http;
        http.Request.ProxyServer = "127.0.0.1";
        http.Request.ProxyPort = proxy.Port();
        try {
            TNetBuffer body;
            http.GetUrl("https://localhost/", body);
            ADD_FAILURE() << "no refusal";
        } catch (const EProxyRefusedConnect& error) {
            EXPECT_EQ(error.ReplyCode(), std::stoi(status));
            EXPECT_EQ(error.what(), std::string(kProxyRefusedConnect) + status);
        }
        EXPECT_FALSE(http.IsConnected());
        EXPECT_EQ(http.StatusText(), status);
    }
}

}  // namespace
}  // namespace tessellon
