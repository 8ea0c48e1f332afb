#include "control/main_window_fields.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "platform/files.h"
#include "temp_dir.h"

namespace tessellon {
namespace {

using test::TempDir;

TEST(MainWindowFields, WithoutAConfigurationTheCaptionCarriesTheDefaultVersion) {
    TempDir home;
    TempDir program;
    ::setenv("HOME", home.Path().c_str(), 1);
    const MainWindowFields fields =
        ReadMainWindowFields(program.Path(), program.File("ini/config.ini"));
    EXPECT_EQ(fields.Caption, "Tessellon 5.23");
    EXPECT_EQ(fields.DefaultPath, home.Path() + "orvanta");
    EXPECT_EQ(fields.DefaultOutputName, "bigmap.bmp");
    EXPECT_EQ(fields.DefaultThreadCount, 1);
    EXPECT_EQ(fields.ConfigFileName, program.File("ini/config.ini"));
    EXPECT_EQ(fields.HelpFileName, program.File("help/help.html"));
    EXPECT_EQ(fields.MapViewerProgram, program.File("mapviewer"));
    EXPECT_EQ(fields.MapCombinerProgram, program.File("combiner"));
    EXPECT_EQ(fields.MailLink.rfind("mailto:", 0), 0u);
    EXPECT_FALSE(fields.HomePageUrl.empty());
    EXPECT_FALSE(FileExists(program.File("ini/config.ini")));
}

TEST(MainWindowFields, TheCaptionAndSaveFolderComeFromTheConfiguration) {
    TempDir program;
    const std::string config = program.File("config.ini");
    WriteFileAtomic(config, "[IniParas]\r\nVersion=6.0\r\nDefaultPath=/srv/tiles\r\n");
    const MainWindowFields fields = ReadMainWindowFields(program.Path(), config);
    EXPECT_EQ(fields.Caption, "Tessellon 6.0");
    EXPECT_EQ(fields.DefaultPath, "/srv/tiles");
}

}  // namespace
}  // namespace tessellon
