#include "command_line.h"

#include <gtest/gtest.h>

namespace tessellon::tileserver {
namespace {

CommandLine Parse(std::vector<std::string_view> args) {
    return ParseCommandLine(args);
}

TEST(CommandLine, DefaultsServeSyntheticTilesOnTheDownloadersDefaultAddress) {
    const CommandLine c = Parse({});
    EXPECT_EQ(c.error, "");
    EXPECT_EQ(c.options.bindAddress, "127.0.0.1");
    EXPECT_EQ(c.options.port, 8086);
    EXPECT_EQ(c.options.root, "");
    EXPECT_FALSE(c.options.bodySize);
    EXPECT_FALSE(c.options.fast);
    EXPECT_FALSE(c.options.fault);
}

TEST(CommandLine, ReadsEveryOptionInBothSpellings) {
    const CommandLine c =
        Parse({"--port=0", "--bind", "0.0.0.0", "--root", "/tiles", "--fast", "--fault", "drip:5",
               "--fault-rate=0.05", "--seed", "42", "--pieces", "3", "--piece-delay=2",
               "--idle-timeout", "0", "--log", "-"});
    ASSERT_EQ(c.error, "");
    EXPECT_EQ(c.options.port, 0);
    EXPECT_EQ(c.options.bindAddress, "0.0.0.0");
    EXPECT_EQ(c.options.root, "/tiles");
    EXPECT_TRUE(c.options.fast);
    EXPECT_FALSE(c.options.bodySize);
    ASSERT_TRUE(c.options.fault);
    EXPECT_EQ(FaultText(*c.options.fault), "drip:5");
    EXPECT_DOUBLE_EQ(c.options.faultRate, 0.05);
    EXPECT_EQ(c.options.seed, 42u);
    EXPECT_EQ(c.options.pieceSize, 3u);
    EXPECT_EQ(c.options.pieceDelayMs, 2);
    EXPECT_LT(c.options.idleTimeoutMs, 0);  // 0 on the command line: never
    EXPECT_EQ(c.options.log, "-");
    EXPECT_EQ(Parse({"--body-size", "64"}).options.bodySize, 64u);
    const CommandLine sequence = Parse({"--fault-sequence", "reset,reset,status-503"});
    ASSERT_EQ(sequence.options.faultSequence.size(), 3u);
    EXPECT_EQ(FaultText(sequence.options.faultSequence[1]), "reset");
    EXPECT_EQ(FaultText(sequence.options.faultSequence[2]), "status-503");
    EXPECT_TRUE(Parse({"--help"}).help);
}

TEST(CommandLine, RefusesBadArgumentsWithAMessageNamingThem) {
    const struct {
        std::vector<std::string_view> args;
        std::string message;
    } cases[] = {
        {{"--port", "65536"}, "bad value \"65536\" for --port"},
        {{"--port", "-1"}, "bad value \"-1\" for --port"},
        {{"--port"}, "--port needs a value (N)"},
        {{"--fault-rate", "1.5"}, "bad value \"1.5\" for --fault-rate"},
        {{"--fault", "nope"}, "unknown fault \"nope\" (see --help)"},
        {{"--fault", "close:1"}, "fault \"close\" takes no arguments"},
        {{"--fast=1"}, "--fast takes no value"},
        {{"--bogus"}, "unknown option \"--bogus\""},
        {{"--fault-sequence", "reset,nope"}, "unknown fault \"nope\" (see --help)"},
        {{"--fault-sequence", "refused"},
         "fault \"refused\" applies to the whole server only (--fault)"},
        {{"8086"}, "unknown option \"8086\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Parse(c.args).error, c.message);
    }
}

TEST(CommandLine, HelpDocumentsEveryFaultAndOption) {
    const std::string help = HelpText();
    for (const FaultEntry& entry : FaultCatalogue()) {
        EXPECT_NE(help.find("\n  " + std::string(entry.name)), std::string::npos) << entry.name;
        EXPECT_NE(help.find(std::string(entry.description.substr(0, 20))), std::string::npos)
            << entry.name;
    }
    for (const std::string option :
         {"--port", "--bind", "--root", "--body-size", "--fast", "--fault", "--fault-rate",
          "--seed", "--pieces", "--piece-delay", "--idle-timeout", "--log", "--help"}) {
        EXPECT_NE(help.find("\n  " + option + " "), std::string::npos) << option;
    }
}

}  // namespace
}  // namespace tessellon::tileserver
