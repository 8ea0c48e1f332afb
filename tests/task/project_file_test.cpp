#include "task/project_file.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/ini_file.h"
#include "temp_dir.h"

namespace tessellon {
namespace {

using test::TempDir;

// A one-zoom rectangle of a source with these keys (none: a built-in task).
NewProject SampleProject(SourceKeys source = {}) {
    return {.MapsType = 4,
            .LeftLongitude = 116.3,
            .RightLongitude = 116.5,
            .TopLatitude = 40,
            .BottomLatitude = -39.8,
            .Zoom = 13,
            .ThreadCount = 3,
            .ThreadSlots = 8,
            .Source = std::move(source),
            .Cover = {}};
}

// What the writer puts under a key is what the readers find there: the area
// texts for opening and for the continue check, the type and zoom for both
// readers, and the slots a run saves and the next one reads.
TEST(ProjectFile, WhatANewProjectHoldsReadsBackThroughTheRegistry) {
    TempDir dir;
    const ProjectFile project(dir.File("area.tsln"));
    project.Write(SampleProject());
    const ProjectArea area = project.Read().Area();
    EXPECT_EQ(area.LeftLongitude, "116.3");
    EXPECT_EQ(area.RightLongitude, "116.5");
    EXPECT_EQ(area.TopLatitude, "40");
    EXPECT_EQ(area.BottomLatitude, "-39.8");
    EXPECT_EQ(project.Read().Integer(project_keys::MapsTypeWhenOpening), 4);
    EXPECT_EQ(project.Read().Integer(project_keys::MapsTypeWhenComparing), 4);
    EXPECT_EQ(project.Read().Integer(project_keys::ZoomWhenOpening), 13);
    EXPECT_EQ(project.Read().Integer(project_keys::ZoomWhenComparing), 13);
    for (std::int32_t slot = 1; slot <= 8; ++slot) {
        EXPECT_EQ(project.Read().Slot(slot, 'X'), 0) << slot;  // written empty
        EXPECT_EQ(project.Read().Slot(slot, 'Y'), 0) << slot;
    }

    const std::string before = ReadFileBytes(project.FileName());
    project.WriteSlots({{8, 'X', 6747}, {8, 'Y', 3101}});
    EXPECT_EQ(project.Read().Slot(8, 'X'), 6747);
    EXPECT_EQ(project.Read().Slot(8, 'Y'), 3101);
    EXPECT_EQ(project.Read().Slot(7, 'X'), 0);
    // A saved position fills its own line and leaves the others as written.
    std::string expected = before;
    expected.replace(expected.find("T8X=\r\n"), 6, "T8X=6747\r\n");
    expected.replace(expected.find("T8Y=\r\n"), 6, "T8Y=3101\r\n");
    EXPECT_EQ(ReadFileBytes(project.FileName()), expected);
}

// Saving every position in one rewrite leaves the bytes that one rewrite per
// key leaves: keys replaced in place whatever their case, absent slots added
// at the end of the section (before its blank lines), a missing section or
// file created, unknown keys and sections kept, line ends made CR LF, and no
// values at all leaving the file untouched.
TEST(ProjectFile, SavingAllPositionsAtOnceGivesTheBytesOfOneWritePerKey) {
    const std::string newProject =
        "[MapsType]\r\nMapsType=0\r\n\r\n[THREADS]\r\nThreadCount=3\r\nT1X=\r\nT1Y=\r\n"
        "T2X=\r\nT2Y=\r\nT3X=\r\nT3Y=\r\n\r\n";
    const std::string withStrangers =
        "; written by hand\n[MapsType]\nMapsType=5\n[threads]\nThreadCount=8\nt2x = 17\n"
        "Extra=kept\n\nT1Y=4\n\n\n[SOURCE]\nUrl=https://t.example/{z}/{x}/{y}.png\nT1X=9\n";
    const std::string withoutThreads = "[MapsType]\r\nMapsType=1\r\n[XY]\r\nMinX=3";
    const std::vector<SlotValue> positions = {{1, 'X', 6745}, {1, 'Y', 3100}, {2, 'Y', 3101},
                                              {4, 'X', 6760}, {5, 'X', 6761}, {5, 'Y', 3102},
                                              {8, 'Y', 3199}};
    const std::vector<SlotValue> none;
    for (const std::string* before :
         {&newProject, &withStrangers, &withoutThreads, static_cast<const std::string*>(nullptr)}) {
        for (const std::vector<SlotValue>* values : {&positions, &none}) {
            TempDir dir;
            const ProjectFile oneByOne(dir.File("one.tsln"));
            const ProjectFile atOnce(dir.File("all.tsln"));
            if (before != nullptr) {
                WriteFileAtomic(oneByOne.FileName(), *before);
                WriteFileAtomic(atOnce.FileName(), *before);
            }
            for (const SlotValue& value : *values) {
                IniFile(oneByOne.FileName())
                    .WriteInteger("THREADS", ThreadSlotKey(value.Slot, value.Axis), value.Value);
            }
            atOnce.WriteSlots(*values);
            const std::string which = before != nullptr ? *before : "(no file)";
            ASSERT_EQ(FileExists(atOnce.FileName()), FileExists(oneByOne.FileName())) << which;
            if (FileExists(oneByOne.FileName())) {
                EXPECT_EQ(ReadFileBytes(atOnce.FileName()), ReadFileBytes(oneByOne.FileName()))
                    << which << ", " << values->size() << " values";
            }
        }
    }
}

// A SOURCE section grown past the key limit is refused with the file's
// name; the limit is far above what a source writes.
TEST(ProjectFile, ASourceSectionOfTooManyKeysIsRefused) {
    TempDir dir;
    const ProjectFile project(dir.File("area.tsln"));
    SourceKeys keys{{"Url", "https://example.org/{z}/{x}/{y}.png"}};
    for (std::size_t i = 1; i < kMostIniSectionKeys; ++i) {
        keys.emplace_back("; note " + std::to_string(i), "x");
    }
    NewProject parameters = SampleProject(keys);
    project.Write(parameters);
    EXPECT_EQ(project.Read().Source().size(), kMostIniSectionKeys);
    parameters.Source.emplace_back("; one more", "x");
    project.Write(parameters);
    try {
        project.Read();
        FAIL() << "no error";
    } catch (const EFileError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot read file \"" + project.FileName() +
                                             "\". Its section [SOURCE] holds more than "
                                             "1000 keys.");
    }
}

TEST(ProjectFile, PositionsThatCannotBeSavedRaiseUnableToWriteTo) {
    TempDir dir;
    const ProjectFile project(dir.File("gone/area.tsln"));  // the folder is missing
    try {
        project.WriteSlots({{1, 'X', 6745}});
        FAIL() << "no error";
    } catch (const EIniFileException& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + project.FileName());
    }
}

}  // namespace
}  // namespace tessellon
