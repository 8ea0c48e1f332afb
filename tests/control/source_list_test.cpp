// The main window's "Source:" list: what it offers, which entry it keeps
// chosen, and what becomes of refused sources and of the Source choice when
// nothing is offered.

#include "control/source_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tessellon {
namespace {

const std::string kLocal = "Url=http://127.0.0.1:9/{z}/{x}/{y}.png\n";

SourcesFile File(const std::string& text) {
    return ParseSources(text, "1");
}

TileSource Source(const std::string& text) {
    return File(text).Sources.at(0);
}

std::vector<std::string> Labels(const SourceChoices& choices) {
    std::vector<std::string> labels;
    for (const SourceEntry& entry : choices.Entries) {
        labels.push_back(entry.Label);
    }
    return labels;
}

TEST(SourceList, OffersTheFilesSourcesInOrderAndTellsWhyOthersWereRefused) {
    const SourceChoices choices =
        ListSourceChoices(File("[Topo]\n" + kLocal + "[Broken]\nUrl=x\n[Bad]\n" + kLocal +
                               "Workers=9\n[Aerial]\n" + kLocal + "Format=jpg\n"),
                          std::nullopt, std::nullopt);
    EXPECT_EQ(Labels(choices), (std::vector<std::string>{"Topo", "Aerial"}));
    EXPECT_EQ(choices.Entries[1].Source.Format(), "jpg");
    // Hovering tells the whole source.
    EXPECT_NE(choices.Entries[1].Description.find("Aerial: http://127.0.0.1:9/{z}/{x}/{y}.png"),
              std::string::npos);
    EXPECT_EQ(choices.Refused,
              "Source 'Broken': Url must begin with http:// or https://.\n"
              "Source 'Bad': Workers must be 1..8.");
    EXPECT_EQ(choices.Chosen, 0u);
    EXPECT_TRUE(choices.Offered());
}

TEST(SourceList, AnOpenedTasksSourceLeadsUnlessTheFileHasItsVeryKeys) {
    const SourcesFile file = File("[Local]\n" + kLocal + "[Other]\n" + kLocal);
    const struct {
        const char* what;
        std::string task;
        std::vector<std::string> labels;
    } cases[] = {
        {"the file lacks it",
         "[Gone]\nUrl=http://old.example/{z}/{x}/{y}.jpg\n",
         {"Gone (task)", "Local", "Other"}},
        {"the same name with other keys",
         "[Local]\n" + kLocal + "Workers=5\n",
         {"Local (task)", "Local", "Other"}},
        {"the file holds it as it is", "[Other]\n" + kLocal, {"Local", "Other"}},
    };
    for (const auto& c : cases) {
        const TileSource task = Source(c.task);
        const SourceChoices choices = ListSourceChoices(file, task, task);
        EXPECT_EQ(Labels(choices), c.labels) << c.what;
        // Opening the task chooses its own source.
        EXPECT_EQ(choices.Entries.at(choices.Chosen).Source.Keys(), task.Keys()) << c.what;
    }
}

TEST(SourceList, ReadingAgainKeepsTheEntryOfTheSameKeysElseOfTheSameNameElseTheFirst) {
    const std::vector<SourceEntry> entries =
        ListSourceChoices(File("[Local]\n" + kLocal + "[Other]\n" + kLocal),
                          Source("[Local]\n" + kLocal + "Workers=5\n"), std::nullopt)
            .Entries;
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(EntryFor(entries, Source("[Local]\n" + kLocal)), 1u);
    EXPECT_EQ(EntryFor(entries, Source("[Local]\n" + kLocal + "Workers=5\n")), 0u);
    EXPECT_EQ(EntryFor(entries, Source("[Other]\n" + kLocal)), 2u);
    // Edited in the sources window: found by its name.
    EXPECT_EQ(EntryFor(entries, Source("[Other]\n" + kLocal + "PauseMs=10\n")), 2u);
    EXPECT_EQ(EntryFor(entries, Source("[Removed]\n" + kLocal)), 0u);
    EXPECT_EQ(EntryFor({}, Source("[Removed]\n" + kLocal)), 0u);
}

TEST(SourceList, WithNothingToOfferTheSourceChoiceFallsBackToTheSatelliteLayer) {
    const SourceChoices none =
        ListSourceChoices(File("[Broken]\nUrl=x\n"), std::nullopt, Source("[Local]\n" + kLocal));
    EXPECT_FALSE(none.Offered());
    EXPECT_EQ(none.Chosen, 0u);
    EXPECT_EQ(MapsTypeItemAfter(none, kSourceItem), kSatelliteItem);
    EXPECT_EQ(MapsTypeItemAfter(none, kMapItem), kMapItem);
    const SourceChoices some = ListSourceChoices(File("[Local]\n" + kLocal), std::nullopt, {});
    EXPECT_EQ(MapsTypeItemAfter(some, kSourceItem), kSourceItem);
    // The Source choice comes after every tile layer's.
    for (const TileLayer& layer : kTileLayers) {
        EXPECT_NE(layer.WindowItem, kSourceItem);
    }
}

// A fresh installation's built-in services point at a test server that is
// not running: a source offered (the catalogue's) is the opening choice.
TEST(SourceList, AFreshInstallationOpensOnTheFirstSourceOffered) {
    const TileServiceSettings fresh{"127.0.0.1:8086", "127.0.0.1:8086"};
    const SourceChoices offered = ListSourceChoices(
        File("[OpenTopo]\n" + kLocal + "[Aerial]\n" + kLocal), std::nullopt, std::nullopt);
    EXPECT_EQ(OpeningMapsTypeItem(offered, fresh, false), kSourceItem);
    EXPECT_EQ(offered.Chosen, 0U);
    EXPECT_EQ(
        OpeningMapsTypeItem(ListSourceChoices(File(""), std::nullopt, std::nullopt), fresh, false),
        kSatelliteItem);
    // A host the user set, or a sources file of the user's, is a choice
    // made: the built-in layer stays as it always opened.
    EXPECT_EQ(OpeningMapsTypeItem(offered, {"tiles.example.org", "127.0.0.1:8086"}, false),
              kSatelliteItem);
    EXPECT_EQ(OpeningMapsTypeItem(offered, {"127.0.0.1:8086", "10.0.0.5:8086"}, false),
              kSatelliteItem);
    EXPECT_EQ(OpeningMapsTypeItem(offered, fresh, true), kSatelliteItem);
}

}  // namespace
}  // namespace tessellon
