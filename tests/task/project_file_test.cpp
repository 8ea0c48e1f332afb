#include "task/project_file.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "temp_dir.h"

namespace tessellon {
namespace {

using test::TempDir;

// What the writer puts under a key is what the readers find there: the area
// texts for opening and for the continue check, the type and zoom for both
// readers, and the slots a run saves and the next one reads.
TEST(ProjectFile, WhatANewProjectHoldsReadsBackThroughTheRegistry) {
    TempDir dir;
    const ProjectFile project(dir.File("area.tsln"));
    project.Write({.MapsType = 4,
                   .LeftLongitude = 116.3,
                   .RightLongitude = 116.5,
                   .TopLatitude = 40,
                   .BottomLatitude = -39.8,
                   .Zoom = 13,
                   .ThreadCount = 3,
                   .ThreadSlots = 8});
    const ProjectArea area = project.ReadArea();
    EXPECT_EQ(area.LeftLongitude, "116.3");
    EXPECT_EQ(area.RightLongitude, "116.5");
    EXPECT_EQ(area.TopLatitude, "40");
    EXPECT_EQ(area.BottomLatitude, "-39.8");
    EXPECT_EQ(project.Read(project_keys::MapsTypeWhenOpening), 4);
    EXPECT_EQ(project.Read(project_keys::MapsTypeWhenComparing), 4);
    EXPECT_EQ(project.Read(project_keys::ZoomWhenOpening), 13);
    EXPECT_EQ(project.Read(project_keys::ZoomWhenComparing), 13);
    for (std::int32_t slot = 1; slot <= 8; ++slot) {
        EXPECT_EQ(project.ReadSlot(slot, 'X'), 0) << slot;  // written empty
        EXPECT_EQ(project.ReadSlot(slot, 'Y'), 0) << slot;
    }

    const std::string before = ReadFileBytes(project.FileName());
    project.WriteSlot(8, 'X', 6747);
    project.WriteSlot(8, 'Y', 3101);
    EXPECT_EQ(project.ReadSlot(8, 'X'), 6747);
    EXPECT_EQ(project.ReadSlot(8, 'Y'), 3101);
    EXPECT_EQ(project.ReadSlot(7, 'X'), 0);
    // A saved position fills its own line and leaves the others as written.
    std::string expected = before;
    expected.replace(expected.find("T8X=\r\n"), 6, "T8X=6747\r\n");
    expected.replace(expected.find("T8Y=\r\n"), 6, "T8Y=3101\r\n");
    EXPECT_EQ(ReadFileBytes(project.FileName()), expected);
}

}  // namespace
}  // namespace tessellon
