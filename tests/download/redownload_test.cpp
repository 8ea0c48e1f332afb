#include "download/redownload.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "download_harness.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/shown_text.h"

namespace tessellon {
namespace {

class Lines : public RedownloadOutput {
public:
    void AddLine(const std::string& line) override { lines.push_back(line); }
    void RecordsDone(int done, int total) override {
        counts.push_back(std::to_string(done) + "/" + std::to_string(total));
    }
    // Answers yes from this question on (counted from 1).
    bool CancelRequested() override { return ++asked >= cancelAt; }
    std::vector<std::string> lines;
    std::vector<std::string> counts;
    int asked = 0;
    int cancelAt = 1000;
};

// The file name of tile (1, y) at zoom 14 of a map task.
std::string Tile(int y) {
    return "yn_1_" + std::to_string(y) + "_14.png";
}

class Redownload : public ::testing::Test {
protected:
    Redownload() { server.Start(); }

    std::string TileUrl(int x, int y, const std::string& fault = "") const {
        return "http://127.0.0.1:" + std::to_string(server.Port()) +
               "/hx/tl?v=4.3&r=1&x=" + std::to_string(x) + "&y=" + std::to_string(y) + "&z=14" +
               (fault.empty() ? "" : "&fault=" + fault);
    }

    RedownloadSummary Run(const std::vector<std::string>& records) {
        WriteLinesAtomic(dir.File("t_failed.ftl"), records);
        return RunRedownload(dir.File("t_failed.ftl"), out);
    }

    test::TempDir dir;
    tileserver::TileServer server{test::ServerOptions()};
    Lines out;
};

TEST_F(Redownload, FetchedRecordsReplaceTheirFilesAndTheListStaysAsItWas) {
    WriteFileAtomic(dir.File(Tile(1)), "old");
    const std::vector<std::string> records = {dir.File(Tile(1)) + "|" + TileUrl(1, 2),
                                              dir.File(Tile(2)) + "|" + TileUrl(3, 4)};
    const RedownloadSummary summary = Run(records);
    EXPECT_EQ(out.lines, (std::vector<std::string>{
                             "Start...", dir.File(Tile(1)) + ":" + TileUrl(1, 2) + " ->OK",
                             dir.File(Tile(2)) + ":" + TileUrl(3, 4) + " ->OK", "Download End.",
                             "No listed tile is still blank."}));
    EXPECT_EQ(ReadFileBytes(dir.File(Tile(1))).substr(1, 3), "PNG");
    EXPECT_EQ(ReadTextLines(dir.File("t_failed.ftl")), records);
    EXPECT_EQ(summary.Fetched, 2);
    EXPECT_FALSE(summary.Cancelled);
    EXPECT_EQ(out.counts, (std::vector<std::string>{"0/2", "1/2", "2/2"}));
}

// Cancelling never breaks off a record: the one under way is written and
// reported, and no later one is tried.
TEST_F(Redownload, ACancelEndsTheRunBeforeTheNextRecord) {
    out.cancelAt = 3;
    std::vector<std::string> records;
    for (int i = 1; i <= 4; ++i) {
        records.push_back(dir.File(Tile(i)) + "|" + TileUrl(1, i));
    }
    const RedownloadSummary summary = Run(records);
    EXPECT_EQ(out.lines, (std::vector<std::string>{
                             "Start...", dir.File(Tile(1)) + ":" + TileUrl(1, 1) + " ->OK",
                             dir.File(Tile(2)) + ":" + TileUrl(1, 2) + " ->OK",
                             "Cancelled after 2 of 4 records.", "Download End.",
                             "2 listed tiles are still blank."}));
    EXPECT_TRUE(summary.Cancelled);
    EXPECT_EQ(summary.StillBlank, 2);
    EXPECT_EQ(summary.Fetched, 2);
    EXPECT_FALSE(FileExists(dir.File(Tile(3))));
    EXPECT_EQ(out.counts, (std::vector<std::string>{"0/4", "1/4", "2/4"}));
}

TEST_F(Redownload, ANotFoundRecordIsReportedAndTheNextIsTried) {
    const std::string missing = TileUrl(1, 1, "status-404");
    Run({dir.File(Tile(1)) + "|" + missing, dir.File(Tile(2)) + "|" + TileUrl(1, 2)});
    ASSERT_EQ(out.lines.size(), 6u);
    EXPECT_NE(out.lines[1].find("404"), std::string::npos);
    EXPECT_EQ(out.lines[1].substr(out.lines[1].size() - missing.size() - 2), "->" + missing);
    EXPECT_EQ(out.lines[2], missing + ":Error: the image is not found on server.");
    EXPECT_EQ(out.lines[3], dir.File(Tile(2)) + ":" + TileUrl(1, 2) + " ->OK");
    EXPECT_EQ(out.lines[5], "1 listed tile is still blank.");
}

TEST_F(Redownload, ARefusalEndsTheRunAtOnce) {
    std::vector<std::string> records;
    for (int i = 1; i <= 5; ++i) {
        records.push_back(dir.File(Tile(i)) + "|" + TileUrl(1, i, i == 2 ? "status-403" : ""));
    }
    Run(records);
    ASSERT_EQ(out.lines.size(), 6u);
    EXPECT_EQ(out.lines[1], dir.File(Tile(1)) + ":" + TileUrl(1, 1) + " ->OK");
    EXPECT_NE(out.lines[2].find("403"), std::string::npos);
    EXPECT_EQ(out.lines[3], "Error: may be your IP is banned.\nPlease try again later.");
    EXPECT_EQ(out.lines[4], "Download End.");
    EXPECT_EQ(out.lines[5], "4 listed tiles are still blank.");
    EXPECT_FALSE(FileExists(dir.File(Tile(3))));
    EXPECT_EQ(out.counts.back(), "2/5");
}

// The last line counts each listed tile once, as it is on disk at the end:
// missing, or still the blank image the download put in its place, whether
// its record failed again or came back as that image; a tile that came back
// as anything else is no longer blank.
TEST_F(Redownload, TheLastLineCountsTheListedTilesThatAreStillBlank) {
    const std::string blank = ReadFileBytes(ProgramFolder() + "blankimg/blank.png");
    WriteFileAtomic(dir.File(Tile(1)), blank);
    WriteFileAtomic(dir.File(Tile(2)), blank);
    const std::string missing = TileUrl(1, 1, "status-404");
    const std::vector<std::string> records = {
        dir.File(Tile(1)) + "|" + missing, dir.File(Tile(1)) + "|" + missing,
        dir.File(Tile(2)) + "|" + TileUrl(1, 2), dir.File(Tile(3)) + "|" + missing};
    const RedownloadSummary summary = Run(records);
    EXPECT_EQ(out.lines.back(), "2 listed tiles are still blank.");
    EXPECT_EQ(summary.StillBlank, 2);
    EXPECT_EQ(ReadFileBytes(dir.File(Tile(1))), blank);
    EXPECT_EQ(ReadTextLines(dir.File("t_failed.ftl")), records);
}

TEST_F(Redownload, AnEmptyListSaysSoAndNothingElse) {
    Run({});
    EXPECT_EQ(out.lines, std::vector<std::string>{"No failed files records."});
    EXPECT_TRUE(out.counts.empty());
}

TEST_F(Redownload, ARecordWithoutABarOrAnUnreadableListIsReportedNotFatal) {
    const RedownloadSummary summary =
        Run({"no bar in this line", dir.File(Tile(2)) + "|" + TileUrl(1, 2)});
    ASSERT_EQ(out.lines.size(), 5u);
    EXPECT_EQ(out.lines[1], "no bar in this line->Error: not a failed-tile record (no \"|\").");
    EXPECT_EQ(out.lines[2], dir.File(Tile(2)) + ":" + TileUrl(1, 2) + " ->OK");
    EXPECT_EQ(summary.Failed, 1);

    out.lines.clear();
    EXPECT_FALSE(RunRedownload(dir.File("missing.ftl"), out).ListRead);
    ASSERT_EQ(out.lines.size(), 1u);
    EXPECT_NE(out.lines[0].find(dir.File("missing.ftl")), std::string::npos);
}

TEST_F(Redownload, ResetsAreRetriedButNotForever) {
    const std::string reset = TileUrl(1, 1, "reset");
    const RedownloadSummary summary = Run({dir.File(Tile(1)) + "|" + reset});
    ASSERT_EQ(out.lines.size(), 4u);
    EXPECT_EQ(out.lines[1], "Socket Error # 10054\r\nConnection reset by peer.->" + reset);
    EXPECT_EQ(summary.Failed, 1);
}

// An image tile, a built-in task's too, is only ever replaced by an image;
// a source's pbf tiles take the body as it comes.
TEST_F(Redownload, AnErrorPageNeverReplacesAnImageTile) {
    const std::string page = TileUrl(1, 1, "html-error-page");
    for (const char* name : {"tl_1_1_14.png", "yn_1_1_14.png", "tl_1_1_14.pbf", "tl_2_2_14.webp"}) {
        WriteFileAtomic(dir.File(name), "old");
    }
    const RedownloadSummary summary = Run(
        {dir.File("tl_1_1_14.png") + "|" + page, dir.File(Tile(1)) + "|" + page,
         dir.File("tl_1_1_14.pbf") + "|" + page, dir.File("tl_2_2_14.webp") + "|" + TileUrl(2, 2)});
    ASSERT_EQ(out.lines.size(), 7u);
    EXPECT_EQ(out.lines[1].rfind("Not an image (text/html, ", 0), 0u) << out.lines[1];
    EXPECT_EQ(out.lines[1].substr(out.lines[1].size() - page.size() - 10), " bytes).->" + page);
    EXPECT_EQ(ReadFileBytes(dir.File("tl_1_1_14.png")), "old");
    EXPECT_EQ(out.lines[2].rfind("Not an image (text/html, ", 0), 0u) << out.lines[2];
    EXPECT_EQ(ReadFileBytes(dir.File(Tile(1))), "old");
    EXPECT_EQ(ReadFileBytes(dir.File("tl_1_1_14.pbf")).rfind("<!DOCTYPE html>", 0), 0u);
    EXPECT_EQ(ReadFileBytes(dir.File("tl_2_2_14.webp")).substr(1, 3), "PNG");
    EXPECT_EQ(summary.Fetched, 2);
    EXPECT_EQ(summary.Failed, 2);
}

// A shared list must not write outside tile files: a record whose file name
// is not a tile's, or whose file is a link or no regular file, or whose path
// holds a control character, is reported and skipped, and the file it names
// stays as it was.
TEST_F(Redownload, ARecordWritesOnlyATileFileThatIsAbsentOrRegular) {
    WriteFileAtomic(dir.File("victim"), "keep");
    ASSERT_EQ(::symlink(dir.File("victim").c_str(), dir.File(Tile(2)).c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.File(Tile(3)).c_str(), 0600), 0);
    ASSERT_TRUE(CreateDirectoryOneLevel(dir.File(Tile(4))));
    const std::string url = TileUrl(1, 1);
    const std::vector<std::string> refused = {
        dir.File("sub/../victim") + "|" + url,
        dir.File(Tile(2)) + "|" + url,
        dir.File(Tile(3)) + "|" + url,
        dir.File(Tile(4)) + "|" + url,
        dir.File(std::string("yn_1_5_14.png\0victim", 20)) + "|" + url,
        dir.File("\x1b[2Jyn_1_6_14.png") + "|" + url,
    };
    std::vector<std::string> records = refused;
    records.push_back(dir.File(Tile(7)) + "|" + url);
    const RedownloadSummary summary = Run(records);
    ASSERT_EQ(out.lines.size(), refused.size() + 4);
    for (std::size_t i = 0; i < refused.size(); ++i) {
        EXPECT_EQ(out.lines[i + 1],
                  ShowControlCharacters(refused[i]) + "->Error: not a tile path.");
    }
    EXPECT_EQ(out.lines[5],
              dir.File("yn_1_5_14.png\\x00victim") + "|" + url + "->Error: not a tile path.");
    EXPECT_EQ(out.lines[refused.size() + 1], dir.File(Tile(7)) + ":" + url + " ->OK");
    EXPECT_EQ(ReadFileBytes(dir.File("victim")), "keep");
    EXPECT_EQ(summary.Failed, 6);
    EXPECT_EQ(summary.Fetched, 1);
}

// A relative record path lies beside the list, wherever the program runs.
TEST_F(Redownload, ARelativePathIsTakenFromTheListsFolder) {
    test::TempDir list;
    WriteLinesAtomic(list.File("t_failed.ftl"), {Tile(1) + "|" + TileUrl(1, 1)});
    RunRedownload(list.File("t_failed.ftl"), out);
    EXPECT_EQ(out.lines[1], list.File(Tile(1)) + ":" + TileUrl(1, 1) + " ->OK");
    EXPECT_EQ(ReadFileBytes(list.File(Tile(1))).substr(1, 3), "PNG");
}

// A shared list writes only inside its own folder or its task's tile
// folder: a record pointing elsewhere means the file of its name there, where
// one exists (the folder moved), and is refused otherwise.
TEST_F(Redownload, ARecordOutsideTheListsFoldersIsRefusedOrTakenToMeanTheTaskFolder) {
    test::TempDir shared;
    test::TempDir outside;
    ASSERT_EQ(::mkdir(shared.File("t").c_str(), 0755), 0);
    WriteFileAtomic(shared.File("t/" + Tile(2)), "old");
    WriteLinesAtomic(shared.File("t_failed.ftl"),
                     {outside.File(Tile(1)) + "|" + TileUrl(1, 1),
                      "../" + ExtractFileName(outside.Path().substr(0, outside.Path().size() - 1)) +
                          "/" + Tile(3) + "|" + TileUrl(1, 3),
                      "/old/place/t/" + Tile(2) + "|" + TileUrl(1, 2),
                      shared.File("t/" + Tile(4)) + "|" + TileUrl(1, 4)});
    const RedownloadSummary summary = RunRedownload(shared.File("t_failed.ftl"), out);
    ASSERT_EQ(out.lines.size(), 7u);
    EXPECT_EQ(out.lines[1].substr(out.lines[1].size() - 25), "->Error: not a tile path.");
    EXPECT_EQ(out.lines[2].substr(out.lines[2].size() - 25), "->Error: not a tile path.");
    EXPECT_FALSE(FileExists(outside.File(Tile(1))));
    EXPECT_FALSE(FileExists(outside.File(Tile(3))));
    EXPECT_EQ(ReadFileBytes(shared.File("t/" + Tile(2))).substr(1, 3), "PNG");
    EXPECT_EQ(ReadFileBytes(shared.File("t/" + Tile(4))).substr(1, 3), "PNG");
    EXPECT_EQ(summary.Fetched, 2);
    EXPECT_EQ(summary.Failed, 2);
}

// A list is read line by line: a line too long for any record is reported
// by its number and skipped, and the records after it are fetched.
TEST_F(Redownload, ALineTooLongForARecordIsReportedAndSkipped) {
    const RedownloadSummary summary =
        Run({dir.File(Tile(1)) + "|" + TileUrl(1, 1), std::string(9000, 'x') + "|http://h/",
             dir.File(Tile(2)) + "|" + TileUrl(1, 2)});
    EXPECT_EQ(out.lines, (std::vector<std::string>{
                             "Start...", dir.File(Tile(1)) + ":" + TileUrl(1, 1) + " ->OK",
                             "Line 2->Error: longer than 8192 bytes.",
                             dir.File(Tile(2)) + ":" + TileUrl(1, 2) + " ->OK", "Download End.",
                             "No listed tile is still blank."}));
    EXPECT_EQ(out.counts, (std::vector<std::string>{"0/3", "1/3", "2/3", "3/3"}));
    EXPECT_EQ(summary.Failed, 1);

    out.lines.clear();
    EXPECT_FALSE(RunRedownload(dir.Path(), out).ListRead);
    EXPECT_FALSE(RunRedownload("/dev/zero", out).ListRead);
    EXPECT_EQ(out.lines.size(), 2u);
}

// Text from the list or the server reaches the lines with its control
// characters shown, so every line stays one line.
TEST_F(Redownload, ControlCharactersFromTheListOrTheServerAreShownAsHex) {
    Run({"no bar\x1b]0;title\x07\x7f", dir.File(Tile(1)) + "|" + TileUrl(1, 1) + "&\x1b[31m"});
    ASSERT_EQ(out.lines.size(), 5u);
    EXPECT_EQ(out.lines[1],
              "no bar\\x1B]0;title\\x07\\x7F->Error: not a failed-tile record (no \"|\").");
    EXPECT_EQ(out.lines[2], dir.File(Tile(1)) + ":" + TileUrl(1, 1) + "&\\x1B[31m ->OK");
}

}  // namespace
}  // namespace tessellon
