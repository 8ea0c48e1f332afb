// The rules the command line's messages come from: how far a stopped range
// of zooms got, the source a name finds, and the save folders a start makes
// with every missing level and takes back when refused.

#include <gtest/gtest.h>

#include <filesystem>

#include "control/download_control.h"
#include "control/source_choice.h"
#include "control/start_checks.h"
#include "geo/tile_math.h"
#include "platform/files.h"
#include "sample_fields.h"
#include "task/tile_cover.h"
#include "temp_dir.h"

namespace tessellon {
namespace {

// Zooms 12..14 of a rectangle within tiles 1000..1001 of zoom 12, 0.4 tile
// from their outer edges: 2 x 2 tiles at zoom 12 and 13, 4 x 4 at 14, so
// positions 1..4, 5..8 and 9..24.
TileCover ThreeZooms() {
    const GeoRect area{TileXToLongitude(1000.6, 12), TileXToLongitude(1001.4, 12),
                       TileYToLatitude(1000.6, 12), TileYToLatitude(1001.4, 12)};
    return TileCover::OfRectangle(area, 12, 14);
}

TEST(ZoomWalks, CountEachWorkersPositionsPerZoom) {
    const TileCover cover = ThreeZooms();
    ASSERT_EQ(cover.CountAt(12), 4);
    ASSERT_EQ(cover.CountAt(13), 4);
    ASSERT_EQ(cover.CountAt(14), 16);
    struct Case {
        std::vector<std::int64_t> positions;
        std::int64_t at12, at13, at14;
    };
    const Case cases[] = {
        {{0, 0, 0}, 0, 0, 0},
        // One worker walks every position.
        {{24}, 4, 4, 16},
        {{5}, 4, 1, 0},
        // Three workers: 0 takes 3, 6, 9 ...; 1 takes 1, 4, 7 ...; 2 takes 2, 5, 8 ...
        {{3, 1, 0}, 2, 0, 0},
        {{6, 4, 2}, 4, 1, 0},
        {{24, 22, 23}, 4, 4, 16},
        {{3, 7, 2}, 4, 1, 0},
        // Worker 0 ended early, the others walked to the end.
        {{12, 22, 23}, 4, 4, 12},
    };
    for (const Case& c : cases) {
        const std::vector<ZoomWalk> walks = WalkedByZoom(cover, c.positions);
        ASSERT_EQ(walks.size(), 3U);
        EXPECT_EQ(walks[0].Walked, c.at12) << c.positions[0];
        EXPECT_EQ(walks[1].Walked, c.at13) << c.positions[0];
        EXPECT_EQ(walks[2].Walked, c.at14) << c.positions[0];
        EXPECT_EQ(walks[2].Zoom, 14);
        EXPECT_EQ(walks[2].Count, 16);
    }
}

TEST(ZoomWalks, NameTheZoomsAllSomeOrNoneWalked) {
    EXPECT_EQ(ZoomWalkLine({12, 4, 4}), "Zoom 12: all 4 tiles.");
    EXPECT_EQ(ZoomWalkLine({13, 1234, 5000}), "Zoom 13: 1,234 of 5,000 tiles.");
    EXPECT_EQ(ZoomWalkLine({14, 0, 20000}), "Zoom 14: not reached (20,000 tiles).");
}

TEST(NamedSources, AreFoundInAnyCaseAndOnlyTheirOwnRefusalIsTold) {
    SourcesFile file = ParseSources(
        "[Topo]\nUrl=https://t.example/{z}/{x}/{y}.png\n"
        "[It's]\nUrl=https://i.example/{zoom}/{x}/{y}.png\n"
        "[Aerial]\nUrl=https://a.example/{q}.jpg\n"
        "[Broken]\nUrl=https://b.example/{x}.png\n",
        "1");
    ASSERT_EQ(file.Sources.size(), 2U);
    const NamedSource topo = FindNamedSource(file, "TOPO", "s.ini");
    ASSERT_TRUE(topo.Source);
    EXPECT_EQ(topo.Source->Name(), "Topo");
    EXPECT_TRUE(topo.Messages.empty());

    const NamedSource quoted = FindNamedSource(file, "it's", "s.ini");
    EXPECT_FALSE(quoted.Source);
    ASSERT_EQ(quoted.Messages.size(), 3U);
    EXPECT_EQ(quoted.Messages[0].rfind("Source 'It's': ", 0), 0U) << quoted.Messages[0];
    EXPECT_EQ(quoted.Messages[1], "No usable source \"it's\" in s.ini.");
    EXPECT_EQ(quoted.Messages[2], "Known sources: Topo, Aerial.");

    const NamedSource unknown = FindNamedSource(file, "Topo2", "s.ini");
    EXPECT_EQ(unknown.Messages, (std::vector<std::string>{"No usable source \"Topo2\" in s.ini.",
                                                          "Known sources: Topo, Aerial."}));
    // A file that gave nothing says why, and there is nothing to list.
    const NamedSource none = FindNamedSource({{}, {"No sources file \"x.ini\"."}}, "Topo", "x.ini");
    EXPECT_EQ(none.Messages, (std::vector<std::string>{"No sources file \"x.ini\".",
                                                       "No usable source \"Topo\" in x.ini."}));
}

TEST(SaveFolders, TheWholePathIsMadeAndTakenBackWhenTheStartIsRefused) {
    const test::TempDir dir;
    const Configuration config(dir.File("config.ini"));
    TaskFields fields = test::SampleTaskFields(dir.File("a/b/c"));
    // The window's way: one level only.
    EXPECT_EQ(CheckStartInput(fields, config).Message,
              "Create directory " + dir.File("a/b/c") + " Failed.");

    StartCheckResult made = CheckStartInput(fields, config, SaveFolderMaking::WholePath);
    ASSERT_FALSE(made.Message) << *made.Message;
    EXPECT_EQ(made.MadeFolders,
              (std::vector<std::string>{dir.File("a"), dir.File("a/b"), dir.File("a/b/c")}));
    { const FolderTakeBack takeBack(made.MadeFolders); }
    EXPECT_FALSE(std::filesystem::exists(dir.File("a")));

    // A folder that holds something stays, and so do those above it.
    made = CheckStartInput(fields, config, SaveFolderMaking::WholePath);
    WriteFileAtomic(dir.File("a/b/c/kept.txt"), "x");
    { const FolderTakeBack takeBack(made.MadeFolders); }
    EXPECT_TRUE(FileExists(dir.File("a/b/c/kept.txt")));
    FolderTakeBack kept(made.MadeFolders);
    kept.Keep();

    // Refused after the folders were made: they are gone again.
    fields = test::SampleTaskFields(dir.File("x/y"));
    fields.LeftLongitude = "117";
    EXPECT_EQ(CheckStartInput(fields, config, SaveFolderMaking::WholePath).Message,
              "Left Longitude should less than Right Longitude!");
    EXPECT_FALSE(std::filesystem::exists(dir.File("x")));
}

}  // namespace
}  // namespace tessellon
