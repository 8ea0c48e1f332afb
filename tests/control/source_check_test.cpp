// Fetching one tile of each source, against a tile server in this process.

#include "control/source_check.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "download_harness.h"
#include "platform/files.h"
#include "task/sources_file.h"

namespace tessellon {
namespace {

using namespace std::chrono_literals;

class SourceCheckTest : public ::testing::Test {
protected:
    void StartServer(bool tls = false, const std::vector<std::string>& faults = {}) {
        tileserver::TileServerOptions options = test::ServerOptions();
        options.tls = tls;
        for (const std::string& text : faults) {
            tileserver::FaultChoice fault;
            std::string error;
            EXPECT_TRUE(tileserver::ParseFault(text, fault, error)) << error;
            options.faultSequence.push_back(fault);
        }
        server = std::make_unique<tileserver::TileServer>(std::move(options));
        server->Start();
    }

    std::string Origin(const std::string& scheme = "http") const {
        return scheme + "://127.0.0.1:" + std::to_string(server->Port());
    }

    // The one source of a section's text.
    static TileSource Source(const std::string& section) {
        const SourcesFile file = ParseSources("[Test]\n" + section, "5.23");
        EXPECT_TRUE(file.Errors.empty()) << file.Errors[0];
        return file.Sources.at(0);
    }

    SourceCheck Check(const std::string& section) {
        TNetTimeLimits limits;
        limits.Connect = 2s;
        limits.Idle = 2s;
        limits.Request = 5s;
        return CheckSource(Source(section), ProxySettings{}, limits);
    }

    test::TempDir dir;
    std::unique_ptr<tileserver::TileServer> server;
};

TEST_F(SourceCheckTest, PassesOnlyAnImageOfTheSourcesKind) {
    StartServer();
    const SourceCheck good = Check("Url=" + Origin() + "/{z}/{x}/{y}.png\nMinZoom=3\n");
    EXPECT_TRUE(good.Passed) << good.Error;
    EXPECT_EQ(good.Url, Origin() + "/3/0/0.png");
    EXPECT_EQ(good.Status, 200);
    EXPECT_EQ(good.Kind, ImageKind::Png);
    EXPECT_GT(good.Bytes, 0U);

    // A 200 with an error page is what the download must never save.
    const SourceCheck page = Check("Url=" + Origin() + "/{z}/{x}/{y}.png?fault=html-error-page\n");
    EXPECT_FALSE(page.Passed);
    EXPECT_EQ(page.Status, 200);
    EXPECT_TRUE(page.Error.empty());
    EXPECT_EQ(page.Kind, ImageKind::None);
    EXPECT_EQ(page.ContentType, "text/html");
    EXPECT_NE(DescribeCheck(page, Source("Url=" + Origin() + "/{z}/{x}/{y}.png"))
                  .find(": failed, HTTP 200, "),
              std::string::npos);

    // An image, but not the one the tile files would be named for.
    const SourceCheck otherKind = Check("Url=" + Origin() + "/{z}/{x}/{y}.png\nFormat=jpg\n");
    EXPECT_FALSE(otherKind.Passed);
    EXPECT_EQ(otherKind.Kind, ImageKind::Png);

    const SourceCheck missing = Check("Url=" + Origin() + "/none/{z}/{x}/{y}.png\n");
    EXPECT_FALSE(missing.Passed);
    EXPECT_EQ(missing.Status, 404);
    EXPECT_FALSE(missing.Error.empty());
}

TEST_F(SourceCheckTest, HttpsVerifiesTheCertificateUnlessTheSourceIsInsecure) {
    StartServer(true);
    const std::string url = "Url=" + Origin("https") + "/{z}/{x}/{y}.png\n";
    const SourceCheck verified = Check(url);
    EXPECT_FALSE(verified.Passed);
    EXPECT_EQ(verified.Status, 0);
    EXPECT_NE(verified.Error.find("TLS handshake failed"), std::string::npos) << verified.Error;

    const SourceCheck insecure = Check(url + "Insecure=1\n");
    EXPECT_TRUE(insecure.Passed) << insecure.Error;
    EXPECT_EQ(insecure.Kind, ImageKind::Png);
}

TEST_F(SourceCheckTest, ListsTheGoodSourcesReportsTheRefusedAndGivesAVerdict) {
    StartServer();
    const std::string good = "[Good]\nUrl=" + Origin() + "/{z}/{x}/{y}.png\nMinZoom=2\n";
    const std::string broken = "[Broken]\nUrl=" + Origin() + "/{z}/{x}/{y}.png\nWorkers=9\n";
    const std::string missing = "[Missing]\nUrl=" + Origin() + "/none/{z}/{x}/{y}.png\n";

    const auto list = [&](const std::string& text, bool check) {
        WriteFileAtomic(dir.File("sources.ini"), text);
        SourcesListing listing;
        listing.SourcesFileName = dir.File("sources.ini");
        listing.ConfigFileName = dir.File("config.ini");
        listing.Check = check;
        std::vector<std::string> out;
        std::vector<std::string> errors;
        const SourcesVerdict verdict = ListSources(
            listing, [&](const std::string& line) { out.push_back(line); },
            [&](const std::string& line) { errors.push_back(line); });
        return std::make_tuple(verdict, out, errors);
    };

    auto [verdict, out, errors] = list(good + broken, false);
    EXPECT_EQ(verdict, SourcesVerdict::Refused);
    EXPECT_EQ(out, std::vector<std::string>{"Good: " + Origin() +
                                            "/{z}/{x}/{y}.png, zooms 2-19, workers 2, pause "
                                            "1000 ms"});
    EXPECT_EQ(errors, std::vector<std::string>{"Source 'Broken': Workers must be 1..8."});

    // A name's control characters reach the terminal shown, not obeyed.
    std::tie(verdict, out, errors) = list("[Bell\x07]\nUrl=" + Origin() + "/{q}\n", false);
    EXPECT_EQ(out, std::vector<std::string>{"Bell\\x07: " + Origin() +
                                            "/{q}, zooms 1-19, workers 2, pause 1000 ms"});

    std::tie(verdict, out, errors) = list(good, true);
    EXPECT_EQ(verdict, SourcesVerdict::AllGood);
    ASSERT_EQ(out.size(), 2U);
    EXPECT_EQ(out[1].rfind("  check 2/0/0: ok, HTTP 200, ", 0), 0U) << out[1];
    EXPECT_NE(out[1].find(" bytes, PNG"), std::string::npos) << out[1];

    std::tie(verdict, out, errors) = list(good + missing, true);
    EXPECT_EQ(verdict, SourcesVerdict::CheckFailed);
    ASSERT_EQ(out.size(), 4U);
    EXPECT_EQ(out[3].rfind("  check 1/0/0: failed, HTTP 404, ", 0), 0U) << out[3];
    EXPECT_TRUE(errors.empty());

    // A refused source outweighs a failed check.
    std::tie(verdict, out, errors) = list(missing + broken, true);
    EXPECT_EQ(verdict, SourcesVerdict::Refused);

    // The check keeps the download's bound on a tile's body: a service
    // announcing a terabyte is cut off, and so is a tile past MaxTileBytes.
    std::tie(verdict, out, errors) =
        list("[Huge]\nUrl=" + Origin() + "/{z}/{x}/{y}.png?fault=length-huge\n", true);
    EXPECT_EQ(verdict, SourcesVerdict::CheckFailed);
    EXPECT_NE(out[1].find(": failed, "), std::string::npos) << out[1];
    WriteFileAtomic(dir.File("config.ini"), "[IniParas]\nMaxTileBytes=100\n");
    std::tie(verdict, out, errors) = list(good, true);
    EXPECT_EQ(verdict, SourcesVerdict::CheckFailed);
    EXPECT_EQ(out[1].rfind("  check 2/0/0: failed, HTTP 200, ", 0), 0U) << out[1];
}

// A check is a fetch as a download's: a server that asks to wait is waited
// for (twice here, a server's second being 5 ms) and the check says so.
TEST_F(SourceCheckTest, WaitsAsTheServerAsksAndSaysSo) {
    StartServer(false, {"retry-after-429:2", "retry-after-date-503:1"});
    const TileSource source = Source("Url=" + Origin() + "/{z}/{x}/{y}.png\n");
    const SourceCheck check =
        CheckSource(source, ProxySettings{}, {}, kDefaultMaxTileBytes, Pacing(5ms));
    EXPECT_TRUE(check.Passed) << check.Error;
    EXPECT_EQ(check.Status, 200);
    EXPECT_EQ(check.ServerWaits, 2);
    EXPECT_GE(check.Time, 10ms);
    const std::string text = DescribeCheck(check, source);
    EXPECT_EQ(text.rfind("  check 1/0/0: ok, HTTP 200, ", 0), 0U) << text;
    EXPECT_NE(text.find(" ms, after 2 waits the server asked for, "), std::string::npos) << text;

    // A body cut short fails the check.
    StartServer(false, {"close-mid-body"});
    const SourceCheck cut = CheckSource(Source("Url=" + Origin() + "/{z}/{x}/{y}.png?x=1\n"),
                                        ProxySettings{}, {}, kDefaultMaxTileBytes, Pacing(5ms));
    EXPECT_FALSE(cut.Passed);
}

}  // namespace
}  // namespace tessellon
