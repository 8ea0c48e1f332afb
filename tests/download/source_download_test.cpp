// A whole download of a source task through the control, whose workers share
// what the server asks of them.

#include <gtest/gtest.h>

#include "download_harness.h"

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

}  // namespace
}  // namespace tessellon
