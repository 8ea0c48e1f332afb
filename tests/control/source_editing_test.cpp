// Editing the sources file one section at a time: what the other sections
// keep, what a save refuses, and that the file reads back as saved.

#include "control/source_editing.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/files.h"
#include "temp_dir.h"

namespace tessellon {
namespace {

const std::string kUrl = "https://tiles.example.org/{z}/{x}/{y}.png";

TEST(SourceEditingTest, ReplacingASectionKeepsEveryOtherLineAsItWas) {
    const std::string before =
        "; my sources\n[Topo]\nUrl=" + kUrl + "\n; keep me\nWorkers=3\n\n[Broken]\nWorkers=9\n";
    struct Case {
        const char* what;
        std::string name;
        SourceKeys keys;
        std::string after;
    };
    const Case cases[] = {
        {"edit in place, comment kept, empty value dropped",
         "topo",
         {{"Name", "Topo"}, {"Url", kUrl}, {"Referer", ""}, {"PauseMs", "0"}},
         "; my sources\n[Topo]\n; keep me\nUrl=" + kUrl + "\nPauseMs=0\n\n[Broken]\nWorkers=9\n"},
        {"rename",
         "Topo",
         {{"Name", "Relief"}, {"Url", kUrl}},
         "; my sources\n[Relief]\n; keep me\nUrl=" + kUrl + "\n\n[Broken]\nWorkers=9\n"},
        {"remove", "Topo", {}, "; my sources\n[Broken]\nWorkers=9\n"},
        {"remove the last one",
         "Broken",
         {},
         "; my sources\n[Topo]\nUrl=" + kUrl + "\n; keep me\nWorkers=3\n"},
        {"add", "Sea", {{"Name", "Sea"}, {"Url", kUrl}}, before + "\n[Sea]\nUrl=" + kUrl + "\n"},
        {"remove one that is not there", "Sea", {}, before},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ReplaceSection(before, c.name, c.keys), c.after);
    }
}

TEST(SourceEditingTest, LinesKeepTheFilesOwnBreaks) {
    EXPECT_EQ(
        ReplaceSection("[A]\r\nUrl=x\r\n[B]\r\nUrl=y\r\n", "A", {{"Name", "A"}, {"Url", "z"}}),
        "[A]\r\nUrl=z\r\n[B]\r\nUrl=y\r\n");
    EXPECT_EQ(ReplaceSection("", "A", {{"Name", "A"}, {"Url", "z"}}), "[A]\r\nUrl=z\r\n");
}

TEST(SourceEditingTest, SectionKeysAreTheKeysAsWritten) {
    const std::string text = "[Other]\nUrl=a\n[topo]\nUrl=" + kUrl + "\nReferer=\nWorkers=3\n";
    EXPECT_EQ(SectionKeys(text, "Topo"),
              (SourceKeys{{"Name", "topo"}, {"Url", kUrl}, {"Workers", "3"}}));
    EXPECT_EQ(SectionKeys(text, "Sea"), std::nullopt);
}

class SaveSourceTest : public ::testing::Test {
protected:
    std::string File() const { return dir.File("sources.ini"); }
    std::optional<std::string> Save(const std::string& oldName, const SourceKeys& keys) {
        return SaveSource(File(), oldName, keys, "5.23");
    }

    test::TempDir dir;
};

TEST_F(SaveSourceTest, ASavedSourceReadsBackAndRefusedSectionsStay) {
    WriteFileAtomic(File(), "[Broken]\nUrl=" + kUrl + "\nWorkers=9\n");
    ASSERT_EQ(Save("", {{"Name", "Topo"}, {"Url", kUrl}, {"MaxZoom", "12"}}), std::nullopt);
    ASSERT_EQ(Save("Topo", {{"Name", "Topo"}, {"Url", kUrl}, {"MaxZoom", "14"}}), std::nullopt);

    SourcesFile file = ReadSourcesFile(File(), "5.23");
    ASSERT_EQ(file.Sources.size(), 1u);
    EXPECT_EQ(file.Sources[0].Name(), "Topo");
    EXPECT_EQ(file.Sources[0].MaxZoom(), 14);
    // A default is not written down: a later version still makes the agent.
    EXPECT_EQ(ReadSourcesFile(File(), "6.0").Sources[0].UserAgent(), "Tessellon/6.0");
    EXPECT_EQ(file.Errors, std::vector<std::string>{"Source 'Broken': Workers must be 1..8."});

    RemoveSource(File(), "TOPO");
    file = ReadSourcesFile(File(), "5.23");
    EXPECT_TRUE(file.Sources.empty());
    EXPECT_EQ(ReadFileBytes(File()), "[Broken]\nUrl=" + kUrl + "\nWorkers=9\n");
}

TEST_F(SaveSourceTest, ARefusedSaveLeavesTheFileAndSaysWhy) {
    const std::string before = "[Topo]\nUrl=" + kUrl + "\n[Sea]\nUrl=" + kUrl + "\n";
    WriteFileAtomic(File(), before);
    struct Case {
        std::string oldName;
        SourceKeys keys;
        std::string message;
    };
    const Case cases[] = {
        {"Topo",
         {{"Name", "Topo"}, {"Url", kUrl}, {"Workers", "9"}},
         "Source 'Topo': Workers must be 1..8."},
        {"Topo",
         {{"Name", "Topo"}, {"Url", "https://a/{zoom}/{x}/{y}.png"}},
         "Source 'Topo': unknown placeholder {zoom} in Url."},
        {"Topo", {{"Name", "Topo"}}, "Source 'Topo' has no Url."},
        {"Topo",
         {{"Name", ""}, {"Url", kUrl}},
         "A source without a name (\"[]\") cannot be chosen."},
        {"Topo", {{"Name", "SEA"}, {"Url", kUrl}}, "Source 'SEA' exists already."},
        {"", {{"Name", "Sea"}, {"Url", kUrl}}, "Source 'Sea' exists already."},
        {"",
         {{"Name", "a]b"}, {"Url", kUrl}},
         "Source 'a]b': a name cannot hold ] or begin or end with a blank."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(Save(c.oldName, c.keys), c.message);
        EXPECT_EQ(ReadFileBytes(File()), before);
    }
}

TEST_F(SaveSourceTest, AFileThatCannotBeWrittenIsSaidSo) {
    const std::string file = dir.File("missing/sources.ini");
    EXPECT_EQ(SaveSource(file, "", {{"Name", "Topo"}, {"Url", kUrl}}, "1"),
              "Unable to write to " + file);
}

// The window lists the catalogue beside the user's own, marked; the user's
// source of a catalogue name wins, and a user's file that cannot be read
// still leaves the catalogue to pick from.
TEST_F(SaveSourceTest, TheWindowListsTheCataloguesSourcesAfterTheUsersOwn) {
    const std::string catalogue = dir.File("catalogue.ini");
    WriteFileAtomic(catalogue,
                    "[OpenTopo]\nUrl=" + kUrl + "\nMaxZoom=15\n[Aerial]\nUrl=" + kUrl + "\n");
    const auto labels = [&] {
        std::vector<std::string> seen;
        for (const ListedSource& entry :
             ListForSourcesWindow(File(), dir.File("config.ini"), catalogue).Entries) {
            seen.push_back(entry.Label + (entry.FromCatalogue ? "*" : ""));
        }
        return seen;
    };
    EXPECT_EQ(labels(), (std::vector<std::string>{"OpenTopo (catalogue)*", "Aerial (catalogue)*"}));

    ASSERT_EQ(Save("", {{"Name", "Mine"}, {"Url", kUrl}}), std::nullopt);
    ASSERT_EQ(Save("", {{"Name", "OpenTopo"}, {"Url", kUrl}, {"MaxZoom", "12"}}), std::nullopt);
    EXPECT_EQ(labels(), (std::vector<std::string>{"Mine", "OpenTopo", "Aerial (catalogue)*"}));
    const SourcesWindowList list = ListForSourcesWindow(File(), dir.File("config.ini"), catalogue);
    EXPECT_EQ(list.Entries[1].Source.MaxZoom(), 12);

    WriteFileAtomic(File(), std::string(2 << 20, 'x'));
    const SourcesWindowList unreadable =
        ListForSourcesWindow(File(), dir.File("config.ini"), catalogue);
    EXPECT_EQ(unreadable.Errors.size(), 1U);
    EXPECT_EQ(labels(), (std::vector<std::string>{"OpenTopo (catalogue)*", "Aerial (catalogue)*"}));
}

}  // namespace
}  // namespace tessellon
