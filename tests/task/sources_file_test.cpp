#include "task/sources_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "platform/files.h"
#include "temp_dir.h"

namespace tessellon {
namespace {

std::vector<std::string> Names(const SourcesFile& file) {
    std::vector<std::string> names;
    for (const TileSource& source : file.Sources) {
        names.push_back(source.Name());
    }
    return names;
}

// A bad source is refused with its message; the ones around it stay.
constexpr std::string_view kMixed =
    "; tile sources\r\n"
    "Url=https://before.example.org/{z}/{x}/{y}.png\r\n"
    "[Topo]\r\n"
    "Url = https://{s}.topo.example.org/{z}/{x}/{y}.png \r\n"
    "Subdomains=abc\r\n"
    "workers=4\r\n"
    "Workers=7\r\n"
    "\r\n"
    "[Broken]\r\n"
    "Url=https://example.org/{z}/{x}/{y}.png\r\n"
    "Workers=9\r\n"
    "[ Aerial ]\n"
    "Url=https://example.org/{q}.jpeg\n"
    "[topo]\n"
    "Url=https://other.example.org/{z}/{x}/{y}.png\n"
    "[Empty]\n"
    "[]\n"
    "Url=https://nameless.example.org/{q}\n";

TEST(SourcesFile, KeepsTheGoodSourcesAndTellsWhyTheOthersAreRefused) {
    const SourcesFile file = ParseSources(kMixed, "5.23");
    EXPECT_EQ(Names(file), (std::vector<std::string>{"Topo", "Aerial"}));
    EXPECT_EQ(file.Errors, (std::vector<std::string>{
                               "Source 'Broken': Workers must be 1..8.",
                               "Source 'topo' appears twice; the first one is used.",
                               "Source 'Empty' has no Url.",
                               "A source without a name (\"[]\") cannot be chosen.",
                           }));
    // By the INI rules: blanks around a value go, a key's first line counts.
    const TileSource& topo = file.Sources[0];
    EXPECT_EQ(topo.Url().Text(), "https://{s}.topo.example.org/{z}/{x}/{y}.png");
    EXPECT_EQ(topo.Workers(), 4);
    EXPECT_EQ(topo.UserAgent(), "Tessellon/5.23");
    EXPECT_EQ(file.Sources[1].Format(), "jpg");
}

// A byte order mark before the first section hides nothing.
TEST(SourcesFile, SkipsAByteOrderMark) {
    const SourcesFile file = ParseSources(
        "\xEF\xBB\xBF[Topo]\r\nUrl=https://example.org/{z}/{x}/{y}.png\r\n[Relief\x1b]\r\n"
        "Workers=0\r\n",
        "5.23");
    EXPECT_EQ(Names(file), std::vector<std::string>{"Topo"});
    EXPECT_EQ(file.Errors, std::vector<std::string>{"Source 'Relief\\x1B' has no Url."});
}

// The user's file wins by name; a fresh installation without one still has
// the catalogue's sources and no complaint.
TEST(SourcesFile, TheCatalogueFollowsTheUsersSources) {
    test::TempDir dir;
    const SourcesFile catalogue = ParseSources(
        "[Sea]\nUrl=https://sea.example/{z}/{x}/{y}.png\n[Topo]\nUrl=https://cat.example/{q}\n",
        "1");
    const SourcesFile own =
        ParseSources("[TOPO]\nUrl=https://own.example/{q}\n[Bad]\nWorkers=1\n", "1");
    WriteFileAtomic(dir.File("sources.ini"), "");
    const SourcesFile both = WithCatalogue(own, catalogue, dir.File("sources.ini"));
    EXPECT_EQ(Names(both), (std::vector<std::string>{"TOPO", "Sea"}));
    EXPECT_EQ(both.Sources[0].Url().Text(), "https://own.example/{q}");
    EXPECT_EQ(both.Errors, std::vector<std::string>{"Source 'Bad' has no Url."});

    const SourcesFile fresh =
        WithCatalogue(ReadSourcesFile(dir.File("none.ini"), "1"), catalogue, dir.File("none.ini"));
    EXPECT_EQ(Names(fresh), (std::vector<std::string>{"Sea", "Topo"}));
    EXPECT_TRUE(fresh.Errors.empty());
}

// The catalogue shipped with the program: every source reads, names its
// attribution and terms, keeps a polite pace, and none is a service whose
// policy forbids bulk downloading.
TEST(SourcesFile, TheCatalogueHoldsOnlyPoliteSourcesWithTheirTerms) {
    const SourcesFile catalogue = ReadSourcesFile(TESSELLON_CATALOGUE, "1");
    EXPECT_TRUE(catalogue.Errors.empty()) << catalogue.Errors.front();
    ASSERT_GE(catalogue.Sources.size(), 4U);
    for (const TileSource& source : catalogue.Sources) {
        SCOPED_TRACE(source.Name());
        const std::string& url = source.Url().Text();
        EXPECT_EQ(url.rfind("https://", 0), 0U);
        for (const char* forbidden : {"openstreetmap.org", "osm.org", "openstreetmap.fr"}) {
            EXPECT_EQ(url.find(forbidden), std::string::npos);
        }
        EXPECT_FALSE(source.Attribution().empty());
        EXPECT_FALSE(source.Terms().empty());
        EXPECT_LE(source.Workers(), 2);
        EXPECT_GE(source.PauseMs(), 1000);
        EXPECT_LE(source.MaxZoom(), 18);
        EXPECT_FALSE(source.Insecure());
        EXPECT_TRUE(source.Headers().empty());
        EXPECT_EQ(source.UserAgent(), "Tessellon/1");
    }
}

TEST(SourcesFile, NoSectionsNoSources) {
    for (const char* text : {"", "\n\n", "Url=https://example.org/{q}\n"}) {
        const SourcesFile file = ParseSources(text, "5.23");
        EXPECT_TRUE(file.Sources.empty());
        EXPECT_TRUE(file.Errors.empty());
    }
}

TEST(SourcesFile, ReadsAFileAsItsText) {
    const test::TempDir folder;
    const std::string path = folder.File("sources.ini");
    WriteFileAtomic(path, kMixed);
    const SourcesFile fromFile = ReadSourcesFile(path, "5.23");
    const SourcesFile fromText = ParseSources(kMixed, "5.23");
    EXPECT_EQ(Names(fromFile), Names(fromText));
    EXPECT_EQ(fromFile.Errors, fromText.Errors);
}

// Thousands of sources are read in one pass; a name seen before is told
// about, unless the first section of it was refused (the second one is then
// the source), and a section with too many keys refuses the whole file.
TEST(SourcesFile, ManySourcesAreReadAndASectionOfTooManyKeysRefusesTheFile) {
    std::string text = "[Twice]\nUrl=no template\n[Twice]\nUrl=https://t.example.org/{q}\n";
    for (int i = 0; i < 20000; ++i) {
        text += "[S" + std::to_string(i) + "]\nUrl=https://example.org/{z}/{x}/{y}.png\n";
    }
    text += "[s19999]\nUrl=https://example.org/{q}\n";
    const SourcesFile many = ParseSources(text, "5.23");
    ASSERT_EQ(many.Sources.size(), 20001U);
    EXPECT_EQ(many.Sources[0].Name(), "Twice");
    EXPECT_EQ(many.Sources.back().Name(), "S19999");
    ASSERT_EQ(many.Errors.size(), 2U);
    EXPECT_EQ(many.Errors[0].rfind("Source 'Twice': ", 0), 0U) << many.Errors[0];
    EXPECT_EQ(many.Errors[1], "Source 's19999' appears twice; the first one is used.");

    const test::TempDir folder;
    const std::string path = folder.File("sources.ini");
    std::string big = "[Big]\n";
    for (int i = 0; i < 150000; ++i) {
        big += std::to_string(i) + "=\n";
    }
    WriteFileAtomic(path, std::string(kMixed) + big.substr(0, kInputFileLimit - kMixed.size()));
    const SourcesFile refused = ReadSourcesFile(path, "5.23");
    EXPECT_TRUE(refused.Sources.empty());
    EXPECT_EQ(refused.Errors, std::vector<std::string>{"Cannot read file \"" + path +
                                                       "\". Its section [Big] holds more than "
                                                       "1000 keys."});
}

TEST(SourcesFile, AFileThatCannotBeReadGivesOneMessageAndNoSources) {
    const test::TempDir folder;
    const SourcesFile missing = ReadSourcesFile(folder.File("sources.ini"), "5.23");
    EXPECT_TRUE(missing.Sources.empty());
    EXPECT_EQ(missing.Errors,
              std::vector<std::string>{"No sources file \"" + folder.File("sources.ini") + "\"."});

    // A folder in its place cannot be read, whoever runs the test.
    ASSERT_EQ(::mkdir(folder.File("folder.ini").c_str(), 0755), 0);
    const SourcesFile unreadable = ReadSourcesFile(folder.File("folder.ini"), "5.23");
    EXPECT_TRUE(unreadable.Sources.empty());
    ASSERT_EQ(unreadable.Errors.size(), 1U);
    EXPECT_NE(unreadable.Errors[0].find(folder.File("folder.ini")), std::string::npos);

    // Far larger than any sources file: not read whole.
    const std::string large = folder.File("large.ini");
    WriteFileAtomic(large, "[Topo]\nUrl=http://h/{z}/{x}/{y}.png\n" + std::string(2 << 20, ';'));
    EXPECT_EQ(ReadSourcesFile(large, "5.23").Errors,
              std::vector<std::string>{"Cannot open file \"" + large + "\". Larger than 1 MiB."});
}

}  // namespace
}  // namespace tessellon
