// What a run leaves blank, against the tile server in this process: the
// listed tiles a start fetches again first, the closing box's offer to do
// so, and the blank tiles of earlier runs in the ending of a run that only
// continues a task.

#include <gtest/gtest.h>

#include <set>

#include "control/download_control.h"
#include "download_harness.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace tessellon {
namespace {

using namespace std::chrono_literals;
using test::DownloadHarness;

std::string FinalMessage(const std::string& ending) {
    return "Task stoped!" + std::string(20, ' ') + "\n" + ending;
}

std::string BlankPng() {
    return ReadFileBytes(ProgramFolder() + "blankimg/blank.png");
}

// The file names in "T<n>:seq=<s>,<file> OK" lines from line `from` on.
std::multiset<std::string> SavedTiles(const std::vector<std::string>& log, std::size_t from) {
    std::multiset<std::string> tiles;
    for (std::size_t i = from; i < log.size(); ++i) {
        const std::string& line = log[i];
        const std::size_t comma = line.find(',');
        if (line.ends_with(" OK") && comma != std::string::npos) {
            tiles.insert(line.substr(comma + 1, line.size() - 3 - comma - 1));
        }
    }
    return tiles;
}

// A whole task whose list names some tiles that are blank again, one that
// is missing, one that came back, one of another layer and one twice: a
// plain continued run fetches nothing and says so; RetryFirst fetches each
// blank listed tile once, moves no position, and leaves the list as it was.
TEST(FailedTiles, RetryFirstFetchesEachStillBlankListedTileOnceThenContinues) {
    DownloadHarness h;
    const TaskFields fields = h.SampleFields();
    ASSERT_TRUE(h.Download(fields));
    const MDTask& task = *h.control->CurrentTask();
    const std::string folder = task.ImageFolder;
    const auto tile = [&](int x, int y) {
        return folder + "yn_" + std::to_string(x) + "_" + std::to_string(y) + "_13.png";
    };
    const auto record = [&](const std::string& path) { return path + "|http://old.host/tile"; };
    WriteFileAtomic(tile(6742, 3101), BlankPng());
    WriteFileAtomic(tile(6745, 3104), BlankPng());
    ASSERT_EQ(std::remove(tile(6747, 3107).c_str()), 0);
    const std::vector<std::string> records = {
        record(tile(6742, 3101)), record(tile(6745, 3104)), record(tile(6745, 3104)),
        record(tile(6747, 3107)), record(tile(6743, 3102)),
        // A satellite tile's name is no tile of this map task.
        record(folder + "wx_6744_3103_13.jpg"),
        // Nor is a tile outside its cover.
        record(folder + "yn_9000_3103_13.png")};
    WriteLinesAtomic(task.FailedFileName, records);
    const std::string failedFile = task.FailedFileName;
    const std::string project = ReadFileBytes(task.ProjectFileName());

    // A start's log begins with the newest lines of the file: this run's
    // lines follow them.
    ASSERT_TRUE(h.control->Start(fields));
    std::size_t from = h.frontEnd.log.size();
    ASSERT_TRUE(h.RunToEnd());
    EXPECT_EQ(
        h.frontEnd.messages.back(),
        FinalMessage("42 tiles: 39 downloaded, 3 still blank (listed in " + failedFile + ")."));
    EXPECT_TRUE(SavedTiles(h.frontEnd.log, from).empty());

    ASSERT_TRUE(h.control->Start(fields, ListedTiles::RetryFirst));
    EXPECT_EQ(h.frontEnd.log.back(),
              "Fetching again the 3 tiles of " + failedFile + " that are still blank.");
    from = h.frontEnd.log.size();
    ASSERT_TRUE(h.RunToEnd());
    EXPECT_EQ(h.frontEnd.messages.back(), FinalMessage("All 42 tiles downloaded."));
    EXPECT_EQ(SavedTiles(h.frontEnd.log, from),
              (std::multiset<std::string>{"yn_6742_3101_13.png", "yn_6745_3104_13.png",
                                          "yn_6747_3107_13.png"}));
    for (const auto& [x, y] : {std::pair{6742, 3101}, {6745, 3104}, {6747, 3107}}) {
        EXPECT_EQ(ReadFileBytes(tile(x, y)).substr(1, 3), "PNG");
        EXPECT_NE(ReadFileBytes(tile(x, y)), BlankPng());
    }
    EXPECT_EQ(ReadTextLines(failedFile), records);
    EXPECT_EQ(ReadFileBytes(h.control->CurrentTask()->ProjectFileName()), project);
    // Nothing left to fetch again: the run only continues.
    ASSERT_TRUE(h.control->Start(fields, ListedTiles::RetryFirst));
    from = h.frontEnd.log.size();
    EXPECT_EQ(h.frontEnd.log.back().find("Fetching again"), std::string::npos);
    ASSERT_TRUE(h.RunToEnd());
    EXPECT_TRUE(SavedTiles(h.frontEnd.log, from).empty());
    EXPECT_EQ(h.frontEnd.messages.back(), FinalMessage("All 42 tiles downloaded."));
}

// The closing box offers the retry only while listed tiles are blank; taken,
// it starts the task again fetching them first. A tile that fails again is
// listed again and offered again.
TEST(FailedTiles, TheClosingBoxOffersToRetryAndTakingItFetchesTheTilesAgain) {
    DownloadHarness h(test::FailingFirst(6));
    const TaskFields fields = h.OneTileFields();
    h.frontEnd.retryAnswers = {true, true};
    ASSERT_TRUE(h.Download(fields));
    const std::string failedFile = h.control->CurrentTask()->FailedFileName;
    const std::string blank =
        FinalMessage("1 tiles: 0 downloaded, 1 still blank (listed in " + failedFile + ").");
    EXPECT_EQ(h.frontEnd.messages,
              (std::vector<std::string>{blank, blank, FinalMessage("All 1 tiles downloaded.")}));
    EXPECT_EQ(h.frontEnd.offers, (std::vector<std::string>{blank, blank}));
    EXPECT_EQ(ReadTextLines(failedFile).size(), 2u);
    EXPECT_EQ(SavedTiles(h.frontEnd.log, 0).size(), 1u);

    // Stopped by the user: no offer, however many tiles are blank.
    DownloadHarness stopped(test::FailingFirst(3));
    stopped.frontEnd.retryAnswers = {true};
    TaskFields slow = stopped.SourceFields({{"Workers", "1"}, {"PauseMs", "2000"}});
    ASSERT_TRUE(stopped.control->Start(slow));
    stopped.RunFor(300ms);
    stopped.control->Stop();
    ASSERT_TRUE(stopped.RunToEnd());
    EXPECT_EQ(stopped.control->Outcome().StillBlank, 1);
    EXPECT_TRUE(stopped.frontEnd.offers.empty());
    EXPECT_NE(stopped.frontEnd.messages.back().find("\nStopped after "), std::string::npos);
}

// Tiles the server had no image for (404) are blank but not listed: a run
// that only continues the task, after a whole run or after a stop, still
// counts those of the earlier runs.
TEST(FailedTiles, AContinuedRunCountsTheBlankTilesOfEarlierRuns) {
    test::TempDir served;
    DownloadHarness h(test::ServingSampleTiles(served, {{6743, 3102}, {6746, 3106}}));
    const std::string ending =
        FinalMessage("42 tiles: 40 downloaded, 2 blank (not on the server).");
    TaskFields fields = h.SourceFields({{"Workers", "3"}, {"PauseMs", "0"}});
    ASSERT_TRUE(h.Download(fields));
    EXPECT_EQ(h.frontEnd.messages.back(), ending);
    ASSERT_TRUE(h.control->Start(fields));
    const std::size_t from = h.frontEnd.log.size();
    ASSERT_TRUE(h.RunToEnd());
    EXPECT_TRUE(SavedTiles(h.frontEnd.log, from).empty());
    EXPECT_EQ(h.frontEnd.messages.back(), ending);
    EXPECT_TRUE(h.frontEnd.offers.empty());

    // Stopped part way, then continued: each blank tile counted once, by
    // whichever run left it.
    fields = h.SourceFields({{"Workers", "3"}, {"PauseMs", "20000"}});
    fields.TaskName = "paced.tsln";
    ASSERT_TRUE(h.control->Start(fields));
    h.RunFor(400ms);
    h.control->Stop();
    ASSERT_TRUE(h.RunToEnd());
    ASSERT_NE(h.frontEnd.messages.back().find("Stopped after "), std::string::npos);
    ASSERT_GT(h.control->Progress().Done, 0);
    ASSERT_TRUE(h.Download(fields));
    EXPECT_EQ(h.frontEnd.messages.back(), ending);
}

}  // namespace
}  // namespace tessellon
