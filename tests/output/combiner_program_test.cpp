// The combiner program as a user runs it: its arguments, exit codes and what
// it prints.

#include <gtest/gtest.h>

#include <filesystem>

#include "combine_fixture.h"
#include "control/configuration.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "temp_dir.h"

namespace tessellon {
namespace {

class CombinerProgram : public test::SmallTask {
protected:
    test::Run Combiner(const std::string& arguments) const {
        return test::RunCommand(test::Quoted(ProgramFolder() + "combiner") + " " + arguments);
    }
    std::string Project() const { return test::Quoted(dir.File("newtask.tsln")); }
};

TEST_F(CombinerProgram, CombinesListsWhiteTilesAndWritesTheDefaultOutput) {
    Start();
    PutTile(kMinX, kMinY, test::EncodePng({1, 2, 3}));

    test::Run run = Combiner(Project() + " --output " + test::Quoted(dir.File("out.tif")));
    EXPECT_EQ(run.Status, 0) << run.Output;
    EXPECT_NE(run.Output.find("Left white: tile 6743,3101: missing"), std::string::npos)
        << run.Output;
    EXPECT_NE(run.Output.find("512 x 768 pixels, zoom 13, 5 of 6 tiles left white"),
              std::string::npos)
        << run.Output;
    EXPECT_TRUE(FileExists(dir.File("out.tif")));

    // In the task's folder, named after the task, the configured name and
    // the zoom, with the named format's extension.
    const std::string configured =
        Configuration(Configuration::DefaultFileName()).Read(settings::DefaultOutputName);
    run = Combiner(Project() + " --crop --format png");
    EXPECT_EQ(run.Status, 0) << run.Output;
    EXPECT_TRUE(FileExists(dir.File("newtask_" + RemoveFileExt(configured) + "_z13.png")))
        << run.Output;
    EXPECT_NE(run.Output.find("256 x 512 pixels"), std::string::npos) << run.Output;
}

TEST_F(CombinerProgram, CombinesTheZoomItIsToldOfATaskOfSeveral) {
    StartShaped(14);
    PutTile(kMinX, kMinY, test::EncodePng({1, 2, 3}));
    const std::string output = " --output " + test::Quoted(dir.File("out.png"));
    test::Run run = Combiner(Project() + output + " --zoom 13");
    EXPECT_EQ(run.Status, 0) << run.Output;
    // The tile outside the triangle is neither listed nor counted.
    EXPECT_EQ(run.Output.find("6743,3103"), std::string::npos) << run.Output;
    EXPECT_NE(run.Output.find("512 x 768 pixels, zoom 13, 4 of 5 tiles left white"),
              std::string::npos)
        << run.Output;
    run = Combiner(Project() + output + " --force");
    EXPECT_NE(run.Output.find("768 x 1536 pixels, zoom 14, 12 of 12 tiles left white"),
              std::string::npos)
        << run.Output;
    run = Combiner(Project() + output + " --zoom 15");
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Output.find("The task has no tiles at zoom 15; its zooms are 13 to 14."),
              std::string::npos)
        << run.Output;
}

// A relative output lands in the task's folder, not in the folder the
// combiner runs in; a file that is there is replaced only with --force, and
// a second zoom's default output does not take the first one's place.
TEST_F(CombinerProgram, ARelativeOutputGoesToTheTasksFolderAndReplacesOnlyWithForce) {
    StartShaped(14);
    PutTile(kMinX, kMinY, test::EncodePng({1, 2, 3}));
    const test::TempDir elsewhere;
    const std::string inElsewhere = "cd " + test::Quoted(elsewhere.Path()) + " && ";
    test::Run run = test::RunCommand(inElsewhere + test::Quoted(ProgramFolder() + "combiner") +
                                     " " + Project() + " --output mine.png --zoom 13");
    EXPECT_EQ(run.Status, 0) << run.Output;
    EXPECT_TRUE(FileExists(dir.File("mine.png"))) << run.Output;
    EXPECT_FALSE(FileExists(elsewhere.File("mine.png")));
    EXPECT_NE(run.Output.find("Wrote " + dir.File("mine.png") + ": "), std::string::npos)
        << run.Output;

    WriteFileAtomic(dir.File("mine.png"), "someone's file");
    run = Combiner(Project() + " --output mine.png --zoom 13");
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Output.find("combiner: " + dir.File("mine.png") +
                              " already exists; --force replaces it."),
              std::string::npos)
        << run.Output;
    EXPECT_EQ(ReadFileBytes(dir.File("mine.png")), "someone's file");
    run = Combiner(Project() + " --output mine.png --zoom 13 --force");
    EXPECT_EQ(run.Status, 0) << run.Output;
    EXPECT_NE(ReadFileBytes(dir.File("mine.png")), "someone's file");

    const std::string configured = RemoveFileExt(
        Configuration(Configuration::DefaultFileName()).Read(settings::DefaultOutputName));
    EXPECT_EQ(Combiner(Project() + " --format png --zoom 13").Status, 0);
    EXPECT_EQ(Combiner(Project() + " --format png").Status, 0);
    EXPECT_TRUE(FileExists(dir.File("newtask_" + configured + "_z13.png")));
    EXPECT_TRUE(FileExists(dir.File("newtask_" + configured + "_z14.png")));
}

TEST_F(CombinerProgram, TellsUsageFaultsFromFailures) {
    Start();
    for (const std::string& arguments :
         {std::string("--crop"), Project() + " --format gif", Project() + " --output a.gif",
          Project() + " --bogus", Project() + " " + Project(), Project() + " --zoom 1x"}) {
        const test::Run run = Combiner(arguments);
        EXPECT_EQ(run.Status, 2) << arguments << "\n" << run.Output;
        EXPECT_NE(run.Output.find("Usage: combiner"), std::string::npos);
    }

    // A value an option does not take: one line naming the ones it does.
    for (const auto& [arguments, line] : std::vector<std::pair<std::string, std::string>>{
             {" --compress brotli",
              "combiner: unknown compression brotli; choose deflate, zstd, lzw, jpeg or webp.\n"},
             {" --quality 101", "combiner: the quality 101 is not a whole number from 1 to 100.\n"},
         }) {
        const test::Run run = Combiner(Project() + arguments);
        EXPECT_EQ(run.Status, 2) << arguments;
        EXPECT_EQ(run.Output, line);
    }

    std::filesystem::remove_all(dir.File("newtask"));
    const test::Run run = Combiner(Project());
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Output.find("The tile folder " + dir.File("newtask/") + " is missing."),
              std::string::npos)
        << run.Output;
}

}  // namespace
}  // namespace tessellon
