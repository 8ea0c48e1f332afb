// What follows the end of a run: the steps offered, the stopped box's
// counts and its line about Start, and a stop after the last tile.

#include "control/next_steps.h"

#include <gtest/gtest.h>

#include "control/download_control.h"
#include "download_harness.h"

namespace tessellon {
namespace {

using namespace std::chrono_literals;
using test::DownloadHarness;

using Steps = std::vector<NextStep>;

TEST(NextSteps, AWholeRunOffersEverythingAndTheRetryOnlyForBlankListedTiles) {
    const Steps all{NextStep::OpenFolder, NextStep::View, NextStep::Combine, NextStep::Export};
    EXPECT_EQ(NextStepsAfter({}), all);
    // Tiles not on the server are no failure to retry.
    EXPECT_EQ(NextStepsAfter({.NotFoundTiles = 4}), all);
    Steps withRetry = all;
    withRetry.push_back(NextStep::RetryFailed);
    EXPECT_EQ(NextStepsAfter({.FailedTiles = 2, .StillBlank = 2}), withRetry);
    // Records of tiles that a later fetch mended leave nothing to retry.
    EXPECT_EQ(NextStepsAfter({.FailedTiles = 2, .StillBlank = 0}), all);
    // A refresh keeps what it could not fetch: no retry.
    EXPECT_EQ(NextStepsAfter({.StillBlank = 2, .Refresh = RefreshCounts{}}), all);
}

TEST(NextSteps, AStopOffersNothingAndANetworkEndTheFolderAndTheRetry) {
    EXPECT_EQ(NextStepsAfter({.Stopped = true, .StillBlank = 5}), Steps{});
    EXPECT_EQ(NextStepsAfter({.EndedByPolicy = true}), Steps{NextStep::OpenFolder});
    EXPECT_EQ(NextStepsAfter({.EndedByPolicy = true, .Refused = true, .StillBlank = 1}),
              (Steps{NextStep::OpenFolder, NextStep::RetryFailed}));
    EXPECT_EQ(NextStepCaption(NextStep::RetryFailed), std::string(kRetryFailedChoice));
    EXPECT_EQ(NextStepCaption(NextStep::OpenFolder), std::string("Open folder"));
}

TEST(NextSteps, TheStoppedBoxCountsFailedTilesAndTheWindowSaysStartContinues) {
    const DownloadProgress progress{.Done = 15, .Total = 54526, .Failed = 2};
    EXPECT_EQ(EndingLine({.Stopped = true, .FailedTiles = 2, .StillBlank = 2}, progress,
                         "/m/a_failed.ftl", ""),
              "Stopped after 15 of 54526 tiles, 2 failed (listed in /m/a_failed.ftl).");
    EXPECT_EQ(EndingLine({.Stopped = true, .StillBlank = 1500}, progress, "/f.ftl", ""),
              "Stopped after 15 of 54526 tiles, 1,500 failed (listed in /f.ftl).");

    EXPECT_EQ(WindowClosingText({"Task stoped!\nStopped after 1 of 2 tiles.", {}, true}),
              "Task stoped!\nStopped after 1 of 2 tiles.\n" + std::string(kStartContinuesLine));
    EXPECT_EQ(WindowClosingText({"Task stoped!\nAll 2 tiles downloaded.", {}, false}),
              "Task stoped!\nAll 2 tiles downloaded.");
}

TEST(NextSteps, StopPressedAfterTheLastTileEndsTheRunAsACompletedOne) {
    DownloadHarness h;
    const auto& frontEnd = h.frontEnd;
    ASSERT_TRUE(h.control->Start(h.SampleFields()));
    // The workers' calls are served but no tick comes: every tile is done
    // while the run has not ended yet.
    const auto limit = std::chrono::steady_clock::now() + 30s;
    while (h.control->Progress().Done < h.control->Progress().Total &&
           std::chrono::steady_clock::now() < limit) {
        h.sync.ServePending(10ms);
    }
    ASSERT_EQ(h.control->Progress().Done, 42);
    ASSERT_TRUE(h.control->Running());
    h.control->Stop();
    while (h.control->RunningThreadCount() > 0 && std::chrono::steady_clock::now() < limit) {
        h.sync.ServePending(10ms);
    }
    h.control->FinishIfWorkersEnded();
    EXPECT_FALSE(h.control->Outcome().Stopped);
    ASSERT_EQ(frontEnd.endings.size(), 1u);
    EXPECT_FALSE(frontEnd.endings[0].Stopped);
    EXPECT_NE(frontEnd.endings[0].Text.find("All 42 tiles downloaded."), std::string::npos)
        << frontEnd.endings[0].Text;
    EXPECT_EQ(frontEnd.endings[0].Steps.size(), 4u);
}

}  // namespace
}  // namespace tessellon
