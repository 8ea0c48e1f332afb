// Refreshing a downloaded source task against the tile server in this
// process, which serves a folder of tiles with ETags and answers 304 to a
// matching If-None-Match: tiles that change, vanish and stay, a continued
// refresh, the age cut-off, and the lock that keeps one task to one run.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "control/download_control.h"
#include "download_harness.h"
#include "platform/files.h"
#include "platform/ini_file.h"
#include "platform/process_lock.h"
#include "stored_records.h"
#include "task/tile_store.h"
#include "tile_source.h"

namespace tessellon {
namespace {

using namespace std::chrono_literals;
using test::CountContaining;
using test::DownloadHarness;
using test::StoredRecords;
using test::TempDir;
using test::TileStoreKey;
using test::TileValidatorMap;

// The sample area's 42 tiles at zoom 13 (columns 6742..6747, rows
// 3101..3107), each the synthetic tile of some address.
std::string TileImage(int x, int y) {
    return test::SampleTileImage(x, y);
}

struct RefreshFixture {
    explicit RefreshFixture(int pauseMs = 0) : h(Options(served)) {
        fields = h.SampleFields();
        fields.Source = TileSource::Read(
            "Local",
            {{"Url", "http://127.0.0.1:" + std::to_string(h.server.Port()) + "/{z}/{x}/{y}.png"},
             {"Workers", "3"},
             {"PauseMs", std::to_string(pauseMs)}},
            "1");
    }

    static tileserver::TileServerOptions Options(const TempDir& root) {
        tileserver::TileServerOptions options = test::ServingSampleTiles(root);
        options.validators = true;
        options.log = root.File("requests.log");
        return options;
    }
    // The connections the server's log shows from its line `from` on.
    std::set<std::string> ConnectionsFrom(std::size_t from) const {
        std::set<std::string> connections;
        const std::vector<std::string> lines = ReadTextLines(served.File("requests.log"));
        for (std::size_t i = from; i < lines.size(); ++i) {
            connections.insert(lines[i].substr(0, lines[i].find(' ')));
        }
        return connections;
    }
    std::size_t LoggedRequests() const { return ReadTextLines(served.File("requests.log")).size(); }
    static std::string Name(int x, int y) {
        return "tl_" + std::to_string(x) + "_" + std::to_string(y) + "_13.png";
    }
    std::string Saved(int x, int y) const {
        return ReadFileBytes(h.control->CurrentTask()->ImageFolder + Name(x, y));
    }
    bool Refresh(std::optional<std::int64_t> olderThan = std::nullopt) {
        return h.control->StartRefresh(fields, olderThan) && h.RunToEnd();
    }

    TempDir served;
    DownloadHarness h;
    TaskFields fields;
};

TEST(Refresh, ChangedTilesAreReplacedVanishedOnesKeptAndTheRestAnsweredBy304) {
    RefreshFixture f;
    ASSERT_TRUE(f.h.Download(f.fields));
    ASSERT_EQ(f.h.frontEnd.messages.back().substr(f.h.frontEnd.messages.back().find('\n') + 1),
              "All 42 tiles downloaded.");
    const std::string store =
        TileStore::PathForProject(f.h.control->CurrentTask()->ProjectFileName());
    ASSERT_EQ(StoredRecords(store).size(), 42u);
    const std::string vanished = f.Saved(6744, 3104);

    WriteFileAtomic(f.served.File(RefreshFixture::Name(6742, 3101)), TileImage(1, 1));
    WriteFileAtomic(f.served.File(RefreshFixture::Name(6747, 3107)), TileImage(2, 2));
    ASSERT_EQ(std::remove(f.served.File(RefreshFixture::Name(6744, 3104)).c_str()), 0);
    ASSERT_TRUE(f.Refresh());

    const RefreshCounts counts = *f.h.control->Outcome().Refresh;
    EXPECT_EQ(counts.Changed, 2);
    EXPECT_EQ(counts.Unchanged, 39);
    EXPECT_EQ(counts.Kept, 1);
    EXPECT_EQ(f.Saved(6742, 3101), TileImage(1, 1));
    EXPECT_EQ(f.Saved(6747, 3107), TileImage(2, 2));
    EXPECT_EQ(f.Saved(6744, 3104), vanished);
    EXPECT_EQ(f.Saved(6743, 3102), TileImage(6743, 3102));
    EXPECT_EQ(f.h.frontEnd.messages.back(),
              "Task stoped!" + std::string(20, ' ') +
                  "\nRefreshed 42 tiles: 2 changed, 39 unchanged, 1 kept (not on the server).");
    EXPECT_EQ(CountContaining(f.h.frontEnd.log, ".png unchanged"), 39);
    // Nothing was listed as failed: a vanished tile is no failure.
    EXPECT_EQ(f.h.control->Outcome().FailedTiles, 0);
    // The store knows the new ETags: the next refresh finds every tile
    // unchanged, the vanished one kept again.
    ASSERT_TRUE(f.Refresh());
    EXPECT_EQ(f.h.control->Outcome().Refresh->Unchanged, 41);
    EXPECT_EQ(f.h.control->Outcome().Refresh->Kept, 1);
}

TEST(Refresh, ANewETagOnTheSameBytesLeavesTheFileAndRenewsTheStore) {
    RefreshFixture f;
    ASSERT_TRUE(f.h.Download(f.fields));
    const std::string folder = f.h.control->CurrentTask()->ImageFolder;
    const std::string store =
        TileStore::PathForProject(f.h.control->CurrentTask()->ProjectFileName());
    // The server's tag of tile (6742, 3101) moved on; its bytes did not.
    TileValidatorMap known = StoredRecords(store);
    const TileId tile{13, 6742, 3101};
    TileValidators stale = known.at(TileStoreKey(tile));
    const std::string current = stale.ETag;
    stale.ETag = "\"older\"";
    TileStore(store).Write({{tile, stale}});
    // A file the refresh rewrote would get a new inode.
    const std::string path = folder + RefreshFixture::Name(6742, 3101);
    const auto before = FileModifiedUnix(path);
    ASSERT_TRUE(f.Refresh());
    EXPECT_EQ(f.h.control->Outcome().Refresh->Unchanged, 42);
    EXPECT_EQ(f.h.control->Outcome().Refresh->Changed, 0);
    EXPECT_EQ(StoredRecords(store).at(TileStoreKey(tile)).ETag, current);
    EXPECT_EQ(FileModifiedUnix(path), before);
}

TEST(Refresh, ReadsNoOldTileThroughALinkAndReplacesTheLinkNotItsTarget) {
    RefreshFixture f;
    ASSERT_TRUE(f.h.Download(f.fields));
    const std::string store =
        TileStore::PathForProject(f.h.control->CurrentTask()->ProjectFileName());
    const TileId tile{13, 6742, 3101};
    TileValidatorMap known = StoredRecords(store);
    TileValidators stale = known.at(TileStoreKey(tile));
    stale.ETag = "\"older\"";
    TileStore(store).Write({{tile, stale}});
    // The tile's file is a link to a file elsewhere that holds the same bytes.
    const TempDir elsewhere;
    const std::string target = elsewhere.File("same.png");
    WriteFileAtomic(target, TileImage(6742, 3101));
    const std::string path =
        f.h.control->CurrentTask()->ImageFolder + RefreshFixture::Name(6742, 3101);
    std::filesystem::remove(path);
    ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0);
    ASSERT_TRUE(f.Refresh());
    EXPECT_EQ(f.h.control->Outcome().Refresh->Changed, 1);
    EXPECT_FALSE(std::filesystem::is_symlink(path));
    EXPECT_EQ(ReadFileBytes(path), TileImage(6742, 3101));
    EXPECT_EQ(ReadFileBytes(target), TileImage(6742, 3101));
}

TEST(Refresh, BlankAndMissingTilesAreFetchedAgainWhateverTheirAge) {
    RefreshFixture f;
    ASSERT_TRUE(f.h.Download(f.fields));
    const std::string folder = f.h.control->CurrentTask()->ImageFolder;
    const std::string blank = ReadFileBytes(ProgramFolder() + "blankimg/blank.png");
    WriteFileAtomic(folder + RefreshFixture::Name(6745, 3105), blank);
    ASSERT_EQ(std::remove((folder + RefreshFixture::Name(6746, 3106)).c_str()), 0);
    // Without an age every other tile is asked too, each worker's requests
    // queued on one connection; the two asked plainly are queued plainly, so
    // no connection is dropped for a queued request that differs.
    const std::size_t before = f.LoggedRequests();
    ASSERT_TRUE(f.Refresh());
    EXPECT_EQ(f.h.control->Outcome().Refresh->Changed, 2);
    EXPECT_EQ(f.h.control->Outcome().Refresh->Unchanged, 40);
    EXPECT_LE(f.ConnectionsFrom(before).size(), 3u);

    WriteFileAtomic(folder + RefreshFixture::Name(6745, 3105), blank);
    ASSERT_EQ(std::remove((folder + RefreshFixture::Name(6746, 3106)).c_str()), 0);
    ASSERT_TRUE(f.Refresh(3600));
    const RefreshCounts counts = *f.h.control->Outcome().Refresh;
    EXPECT_EQ(counts.Skipped, 40);
    EXPECT_EQ(counts.Changed, 2);
    EXPECT_EQ(f.Saved(6745, 3105), TileImage(6745, 3105));
    EXPECT_EQ(f.Saved(6746, 3106), TileImage(6746, 3106));
    EXPECT_NE(f.h.frontEnd.messages.back().find(", 40 skipped (fetched recently)."),
              std::string::npos);
}

TEST(Refresh, AStoppedRefreshContinuesWhereItStoppedAndThenStartsAnew) {
    RefreshFixture f(5000);  // 25 ms a tile at the tests' pace
    ASSERT_TRUE(f.h.Download(f.fields));
    ASSERT_TRUE(f.h.control->StartRefresh(f.fields, std::nullopt));
    f.h.RunFor(150ms);
    f.h.control->Stop();
    ASSERT_TRUE(f.h.RunToEnd());
    const std::int64_t first = f.h.control->Outcome().Refresh->Asked();
    ASSERT_GT(first, 0);
    ASSERT_LT(first, 42);
    const IniFile project(f.h.control->CurrentTask()->ProjectFileName());
    // Every slot holds the position up to which all tiles are done; a tile a
    // worker was fetching when the stop came holds it back.
    const int done = project.ReadInteger("REFRESH", "T1", 0);
    EXPECT_GT(done, 0);
    EXPECT_LE(done, first);
    EXPECT_EQ(project.ReadInteger("REFRESH", "T2", 0), done);
    EXPECT_EQ(project.ReadInteger("REFRESH", "T3", 0), done);
    // The download's own positions are untouched by a refresh.
    const int downloadX = project.ReadInteger("THREADS", "T1X", 0);
    ASSERT_TRUE(f.Refresh());
    EXPECT_EQ(f.h.control->Outcome().Refresh->Asked(), 42 - done);
    EXPECT_EQ(project.ReadInteger("REFRESH", "T1", -1), 0);
    EXPECT_EQ(project.ReadInteger("THREADS", "T1X", 0), downloadX);
    ASSERT_TRUE(f.Refresh());
    EXPECT_EQ(f.h.control->Outcome().Refresh->Asked(), 42);
}

// A refresh stopped by an older version saved where each worker's own tiles
// (every third here) stood: the next one goes on after the least of them.
TEST(Refresh, PositionsSavedPerWorkerContinueAfterTheLeastOfThem) {
    RefreshFixture f;
    ASSERT_TRUE(f.h.Download(f.fields));
    IniFile project(f.h.control->CurrentTask()->ProjectFileName());
    project.WriteString("REFRESH", "T1", "21");
    project.WriteString("REFRESH", "T2", "13");
    project.WriteString("REFRESH", "T3", "17");
    ASSERT_TRUE(f.Refresh());
    EXPECT_EQ(f.h.control->Outcome().Refresh->Asked(), 42 - 13);
    // A position past the cover is none of this task's.
    project.WriteString("REFRESH", "T1", "43");
    project.WriteString("REFRESH", "T2", "43");
    project.WriteString("REFRESH", "T3", "43");
    ASSERT_TRUE(f.Refresh());
    EXPECT_EQ(f.h.control->Outcome().Refresh->Asked(), 42);
}

// The validators are written beside the positions: a store that cannot be
// written costs only them, and says so in the log file too.
TEST(Refresh, AStoreThatCannotBeWrittenLosesOnlyTheValidators) {
    RefreshFixture f;
    ASSERT_TRUE(std::filesystem::create_directories(f.h.dir.File("maps/newtask_tiles.sqlite")));
    ASSERT_TRUE(f.h.Download(f.fields));
    const MDTask& task = *f.h.control->CurrentTask();
    EXPECT_EQ(f.Saved(6747, 3107), TileImage(6747, 3107));
    EXPECT_GT(IniFile(task.ProjectFileName()).ReadInteger("THREADS", "T1X", 0), 0);
    EXPECT_EQ(CountContaining(ReadTextLines(task.LogFileName), "The tile store cannot be written"),
              1);
    ASSERT_TRUE(f.Refresh());
    EXPECT_EQ(f.h.control->Outcome().Refresh->Asked(), 42);
}

TEST(Refresh, OnlyADownloadedTaskIsRefreshed) {
    RefreshFixture f;
    EXPECT_FALSE(f.h.control->StartRefresh(f.fields, std::nullopt));
    EXPECT_NE(f.h.frontEnd.messages.back().find("to refresh."), std::string::npos);
    EXPECT_FALSE(FileExists(f.h.dir.File("maps/newtask.tsln")));
}

TEST(TaskLock, ASecondRunOfTheSameTaskIsRefusedAndTouchesNothing) {
    RefreshFixture f;
    ASSERT_EQ(::mkdir(f.h.dir.File("maps").c_str(), 0755), 0);
    const std::string project = f.h.dir.File("maps/" + f.fields.TaskName);
    auto held = ProcessLock::Take(project + ".lock");
    ASSERT_TRUE(std::holds_alternative<std::unique_ptr<ProcessLock>>(held));
    EXPECT_FALSE(f.h.control->Start(f.fields));
    EXPECT_EQ(f.h.frontEnd.messages.back(),
              "This task is already running (process " + std::to_string(::getpid()) + ").");
    EXPECT_FALSE(FileExists(project));
    held = ProcessLock::HeldBy{};
    // Once the other run is gone, the task starts, and its lock goes with it.
    ASSERT_TRUE(f.h.Download(f.fields));
    EXPECT_FALSE(FileExists(project + ".lock"));
}

}  // namespace
}  // namespace tessellon
