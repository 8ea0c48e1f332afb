// A whole download of a source task through the control, whose workers share
// what the server asks of them.

#include <gtest/gtest.h>

#include "download_harness.h"
#include "platform/files.h"

namespace tessellon {
namespace {

using test::CountContaining;

TEST(SourceDownload, TheWorkersOfATaskShareTheServersWait) {
    tileserver::TileServerOptions options = test::ServerOptions();
    for (int i = 0; i < 3; ++i) {
        tileserver::FaultChoice fault;
        std::string error;
        ASSERT_TRUE(tileserver::ParseFault("retry-after-429:20", fault, error)) << error;
        options.faultSequence.push_back(fault);
    }
    test::DownloadHarness h(options);
    ASSERT_TRUE(h.Download(h.SourceFields({{"Workers", "3"}, {"PauseMs", "0"}})));
    const std::vector<std::string>& log = h.frontEnd.log;
    const int waits = CountContaining(log, "Server asks to wait 20 s (429 Too Many Requests).");
    EXPECT_GE(waits, 1);
    EXPECT_LE(waits, 3);
    EXPECT_EQ(CountContaining(log, " OK"), 42);
    EXPECT_EQ(h.control->Outcome().FailedTiles, 0);
    EXPECT_FALSE(h.control->Outcome().EndedByPolicy);
}

// The fast server of throughput runs gives real images, which pass the
// check a source's tiles go through.
TEST(SourceDownload, ATaskOfEachImageFormatGetsEveryTileFromTheFastServer) {
    tileserver::TileServerOptions options = test::ServerOptions();
    options.fast = true;
    test::DownloadHarness h(options);
    for (const std::string extension : {"png", "jpg"}) {
        SCOPED_TRACE(extension);
        TaskFields fields = h.SampleFields();
        fields.TaskName = "fast_" + extension + ".tsln";
        fields.Source =
            TileSource::Read("Fast",
                             {{"Url", "http://127.0.0.1:" + std::to_string(h.server.Port()) +
                                          "/{z}/{x}/{y}." + extension},
                              {"Workers", "8"},
                              {"PauseMs", "0"}},
                             "1");
        h.frontEnd.log.clear();
        ASSERT_TRUE(h.Download(fields));
        EXPECT_EQ(CountContaining(h.frontEnd.log, " OK"), 42);
        EXPECT_EQ(h.control->Outcome().FailedTiles, 0);
    }
}

// A server that refuses everything with 429 is paced as much as one that
// serves: the source's pause, doubled by each 429, follows every request,
// a retried or given-up one too.
TEST(SourceDownload, ThePauseFollowsEveryRefusedRequestAndDoublesWithEach429) {
    test::TempDir logs;
    tileserver::TileServerOptions options = test::WithFault("status-429");
    options.log = logs.File("requests.log");
    test::DownloadHarness h(options);
    TaskFields fields = h.SampleFields();
    fields.Source = TileSource::Read(
        "Local",
        {{"Url", "http://127.0.0.1:" + std::to_string(h.server.Port()) + "/{z}/{x}/{y}.png"},
         {"Workers", "1"},
         {"PauseMs", "2000"}},  // 10 ms at the tests' pace, at least doubled by a 429
        "1");
    ASSERT_TRUE(h.control->Start(fields));
    h.RunFor(std::chrono::milliseconds(600));
    h.control->Stop();
    ASSERT_TRUE(h.RunToEnd());
    // 20, 40, 80, 160, 320 ms: six requests fit in 600 ms; without the
    // pauses dozens did.
    const int requests = static_cast<int>(ReadTextLines(logs.File("requests.log")).size());
    EXPECT_GE(requests, 2);
    EXPECT_LE(requests, 8);
}

}  // namespace
}  // namespace tessellon
