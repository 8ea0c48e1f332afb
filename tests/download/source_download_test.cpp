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

}  // namespace
}  // namespace tessellon
