// The rules of a refresh that need no server: how each tile is asked, the
// ages --older-than takes, and how the walk hands tiles out and knows how
// far it is done.

#include "download/refresh_job.h"

#include <gtest/gtest.h>

#include "temp_dir.h"

namespace tessellon {
namespace {

using test::TempDir;

// A store path where there is none.
const std::string kNoStore = "/nonexistent/tessellon/none_tiles.sqlite";

TEST(RefreshJob, MissingAndBlankTilesAreAskedPlainlyOthersByAgeAndValidators) {
    const TileValidators etag{"\"e\"", std::nullopt, 1000, 10, ""};
    const TileValidators dated{"", 784111777, 1000, 10, ""};
    const TileValidators bare{"", std::nullopt, 1000, 10, ""};
    const RefreshJob everything(kNoStore, std::nullopt);
    const RefreshJob olderThan(kNoStore, 2000);  // fetched before 2000: asked

    EXPECT_EQ(everything.Decide(&etag, false, 5000), RefreshAsk::Conditional);
    EXPECT_EQ(everything.Decide(&dated, false, 5000), RefreshAsk::Conditional);
    EXPECT_EQ(everything.Decide(&bare, false, 5000), RefreshAsk::Plain);
    // A date no request can carry is no validator.
    const TileValidators farOff{"", INT64_MAX, 1000, 10, ""};
    EXPECT_EQ(everything.Decide(&farOff, false, 5000), RefreshAsk::Plain);
    EXPECT_EQ(everything.Decide(&etag, true, 5000), RefreshAsk::Plain);
    // The store's time wins over the file's; without a record the file's.
    EXPECT_EQ(olderThan.Decide(&etag, false, 5000), RefreshAsk::Conditional);
    const RefreshJob recent(kNoStore, 900);
    EXPECT_EQ(recent.Decide(&etag, false, 100), RefreshAsk::Skip);
    EXPECT_EQ(recent.Decide(nullptr, false, 100), RefreshAsk::Plain);
    EXPECT_EQ(recent.Decide(nullptr, false, 950), RefreshAsk::Skip);
    EXPECT_EQ(recent.Decide(&etag, true, 950), RefreshAsk::Plain);
}

TEST(RefreshJob, AgesTakeOneUnitAndNothingElse) {
    EXPECT_EQ(ParseAge("30d"), 30 * 86400);
    EXPECT_EQ(ParseAge("12h"), 12 * 3600);
    EXPECT_EQ(ParseAge("45m"), 45 * 60);
    EXPECT_EQ(ParseAge("0s"), 0);
    for (const char* bad : {"", "d", "30", "-1d", "1.5h", "3w", "30dd", " 3d", "99999999999d"}) {
        EXPECT_FALSE(ParseAge(bad).has_value()) << bad;
    }
}

TEST(RefreshJob, TheWalkHandsTilesOutInOrderAndIsDoneUpToItsFirstOpenTile) {
    const TileCover cover = TileCover::OfRange({10, 20, 20, 21}, 5);  // 11 x 2 tiles
    // The store knows two tiles of the cover; each comes with its tile.
    TempDir dir;
    const std::string store = dir.File("walk_tiles.sqlite");
    TileStore(store).Write({{cover.At(5), {"\"five\"", std::nullopt, 1, 1, ""}},
                            {cover.At(9), {"\"nine\"", std::nullopt, 1, 1, ""}}});
    RefreshJob job(store, std::nullopt);
    job.WalkFrom(cover, 3);
    EXPECT_EQ(job.FinishedUpTo(), 3);
    // Whichever worker is free takes the next tile.
    const auto a = job.Take(0);
    const auto b = job.Take(2);
    const auto c = job.Take(0);
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(a->Seq, 4);
    EXPECT_EQ(b->Seq, 5);
    EXPECT_EQ(c->Seq, 6);
    EXPECT_EQ(a->Tile, cover.At(4));
    EXPECT_EQ(c->Tile, cover.At(6));
    EXPECT_FALSE(a->Known.has_value());
    ASSERT_TRUE(b->Known.has_value());
    EXPECT_EQ(b->Known->ETag, "\"five\"");
    // Tile 5, still held by the worker in slot 2, holds the position back.
    job.Finish(0, 4);
    job.Finish(0, 6);
    EXPECT_EQ(job.FinishedUpTo(), 4);
    job.Finish(2, 5);
    EXPECT_EQ(job.FinishedUpTo(), 6);
    // Past the last tile nothing is handed out, and all is done once the
    // last ones are.
    std::vector<std::int64_t> taken;
    std::vector<std::string> tags;
    while (const auto next = job.Take(1)) {
        taken.push_back(next->Seq);
        if (next->Known) {
            tags.push_back(next->Known->ETag);
        }
    }
    EXPECT_EQ(tags, std::vector<std::string>{"\"nine\""});
    EXPECT_EQ(taken.size(), 22u - 6);
    EXPECT_EQ(job.FinishedUpTo(), 6);
    for (const std::int64_t seq : taken) {
        job.Finish(1, seq);
    }
    EXPECT_EQ(job.FinishedUpTo(), 22);
    EXPECT_FALSE(job.Take(0).has_value());
}

TEST(RefreshJob, CountsAddUpWhatWasAsked) {
    RefreshJob job(kNoStore, std::nullopt);
    job.Count(RefreshOutcome::Changed);
    job.Count(RefreshOutcome::Unchanged);
    job.Count(RefreshOutcome::Unchanged);
    job.Count(RefreshOutcome::Skipped);
    job.Count(RefreshOutcome::Failed);
    const RefreshCounts counts = job.Counts();
    EXPECT_EQ(counts.Unchanged, 2);
    EXPECT_EQ(counts.Skipped, 1);
    EXPECT_EQ(counts.Asked(), 4);
    EXPECT_EQ(Sha1Hex("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
}

}  // namespace
}  // namespace tessellon
