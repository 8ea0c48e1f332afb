// The tile server over HTTPS: its own certificate or one from files, with
// the downloader's client on the other end.

#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <stdlib.h>

#include <cstdio>
#include <stdexcept>

#include "certificate.h"
#include "command_line.h"
#include "net/http_client.h"
#include "net/net_errors.h"
#include "server_fixture.h"
#include "temp_dir.h"

namespace tessellon::tileserver {
namespace {

using test::StartServer;

std::string TileUrl(const TileServer& server, const std::string& host = "127.0.0.1") {
    return "https://" + host + ":" + std::to_string(server.Port()) + "/hx/tl?x=1&y=2&z=4";
}

// The body, or the failure's text.
std::string Fetch(THttpClient& http, const std::string& url) {
    TNetBuffer body;
    try {
        http.GetUrl(url, body);
    } catch (const ENetException& error) {
        return error.what();
    }
    return std::string(body.View());
}

void WritePem(const std::string& path, X509* certificate, EVP_PKEY* key) {
    FILE* file = std::fopen(path.c_str(), "w");
    const bool written = file != nullptr &&
                         (certificate != nullptr ? PEM_write_X509(file, certificate)
                                                 : PEM_write_PrivateKey(file, key, nullptr, nullptr,
                                                                        0, nullptr, nullptr)) == 1;
    if (file != nullptr) {
        std::fclose(file);
    }
    if (!written) {
        throw std::runtime_error("cannot write " + path);
    }
}

TEST(TileServerTls, TheGeneratedCertificateServesTilesToAClientThatAcceptsIt) {
    TileServerOptions options;
    options.tls = true;
    const auto server = StartServer(options);
    EXPECT_TRUE(server->ServesHttps());
    THttpClient http;
    http.InsecureTls = true;
    const std::string png = "\x89PNG";
    EXPECT_EQ(Fetch(http, TileUrl(*server)).substr(0, 4), png);
    EXPECT_EQ(Fetch(http, TileUrl(*server)).substr(0, 4), png);
    EXPECT_TRUE(http.TlsActive());

    THttpClient verifying;
    EXPECT_EQ(Fetch(verifying, TileUrl(*server)),
              "TLS handshake failed: certificate verify failed (self-signed certificate)");
}

TEST(TileServerTls, ACertificateFromFilesIsVerifiedByTheClientThatTrustsIt) {
    test::TempDir folder;
    const KeyPtr key = NewKey();
    const CertificatePtr certificate =
        MakeCertificate({"localhost", "DNS:localhost", false, -1, 2}, key.get());
    WritePem(folder.File("cert.pem"), certificate.get(), nullptr);
    WritePem(folder.File("key.pem"), nullptr, key.get());
    ::setenv("SSL_CERT_FILE", folder.File("cert.pem").c_str(), 1);
    ::setenv("SSL_CERT_DIR", folder.Path().c_str(), 1);

    TileServerOptions options;
    options.certificateFile = folder.File("cert.pem");
    options.keyFile = folder.File("key.pem");
    const auto server = StartServer(options);
    THttpClient http;
    EXPECT_EQ(Fetch(http, TileUrl(*server, "localhost")).substr(0, 4), "\x89PNG");

    options.keyFile.clear();
    EXPECT_THROW(
        {
            try {
                StartServer(options);
            } catch (const std::runtime_error& error) {
                EXPECT_STREQ(error.what(), "--cert and --key go together");
                throw;
            }
        },
        std::runtime_error);
    options.keyFile = folder.File("missing.pem");
    EXPECT_THROW(StartServer(options), std::runtime_error);
}

TEST(TileServerTls, TheCommandLineTakesTheSwitchAndTheFiles) {
    const std::vector<std::string_view> args = {"--tls", "--cert", "c.pem", "--key=k.pem"};
    const CommandLine c = ParseCommandLine(args);
    ASSERT_EQ(c.error, "");
    EXPECT_TRUE(c.options.tls);
    EXPECT_EQ(c.options.certificateFile, "c.pem");
    EXPECT_EQ(c.options.keyFile, "k.pem");
    const std::string help = HelpText();
    for (const char* option : {"--tls", "--cert FILE", "--key FILE"}) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
    }
}

}  // namespace
}  // namespace tessellon::tileserver
