#include "platform/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/files.h"
#include "temp_dir.h"

namespace tessellon {
namespace {

using test::TempDir;

TEST(IniFileRead, NamesMatchWithoutCaseAndValuesAreTrimmedAfterTheFirstEquals) {
    TempDir dir;
    const std::string path = dir.File("config.ini");
    WriteFileAtomic(path,
                    "[IniParas]\r\n"
                    "  DefaultPath =  /data/maps a=b  \r\n"
                    "Version=6.0\n"
                    "[ proxy ]\r\n"
                    "ProxyServer=\t10.0.0.1\t\r\n"
                    "ProxyPort=\r\n");
    const IniFile ini(path);
    EXPECT_EQ(ini.ReadString("iniparas", "DEFAULTPATH", "d"), "/data/maps a=b");
    EXPECT_EQ(ini.ReadString("IniParas", "Version", "5.23"), "6.0");
    EXPECT_EQ(ini.ReadString("Proxy", "proxyserver", ""), "10.0.0.1");
    EXPECT_EQ(ini.ReadString("Proxy", "ProxyPort", "default"), "");     // present but empty
    EXPECT_EQ(ini.ReadString("Proxy", "Version", "absent"), "absent");  // other section
    EXPECT_EQ(ini.ReadString("Nowhere", "Version", "absent"), "absent");
}

TEST(IniFileRead, AMissingFileGivesTheDefaults) {
    TempDir dir;
    const IniFile ini(dir.File("ini/config.ini"));
    EXPECT_EQ(ini.ReadString("IniParas", "Version", "5.23"), "5.23");
    EXPECT_EQ(ini.ReadInteger("Proxy", "UseProxy", 0), 0);
}

TEST(IniFileRead, IntegersAreDecimalOrHexAndAnythingElseGivesTheDefault) {
    const struct {
        const char* text;
        bool valid;
        int value;
    } cases[] = {
        {"0", true, 0},
        {"17", true, 17},
        {"-4", true, -4},
        {"+8", true, 8},
        {"0x1F", true, 31},
        {"0XfF", true, 255},
        {"2147483647", true, 2147483647},
        {"-2147483648", true, -2147483647 - 1},
        {"0xFFFFFFFF", true, -1},
        {"2147483648", false, 0},
        {"", false, 0},
        {"12abc", false, 0},
        {"abc", false, 0},
        {"1.5", false, 0},
        {"0x", false, 0},
        {"-", false, 0},
        {"1 2", false, 0},
        {"+-1", false, 0},
        {"0x-1", false, 0},
        {"-0x10", true, -16},
        {"-0xFFFFFFFF", true, 1},
        {"0x100000000", false, 0},
        {" 1", false, 0},
    };
    for (const auto& c : cases) {
        int value = 12345;
        EXPECT_EQ(ParseProfileInteger(c.text, value), c.valid) << c.text;
        if (c.valid) {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
    TempDir dir;
    const std::string path = dir.File("p.tsln");
    WriteFileAtomic(path, "[THREADS]\r\nT1X=\r\nT2X=6745\r\nT3X=x\r\n");
    const IniFile ini(path);
    EXPECT_EQ(ini.ReadInteger("THREADS", "T1X", 0), 0);
    EXPECT_EQ(ini.ReadInteger("THREADS", "T2X", 0), 6745);
    EXPECT_EQ(ini.ReadInteger("THREADS", "T3X", 100), 100);
    EXPECT_EQ(ini.ReadInteger("THREADS", "T4X", 100), 100);
}

// Sections as a reader lists them, in one pass: a key written again, in any
// case, keeps its first value however many keys came before it, and a
// section holds up to kMostIniSectionKeys keys; one more refuses the lines.
TEST(IniSections, AKeyWrittenAgainKeepsItsFirstValueAndASectionHoldsAtMostTheLimit) {
    std::vector<std::string> lines{"before=none", "[Big]"};
    for (std::size_t i = 0; i < kMostIniSectionKeys; ++i) {
        lines.push_back("Key" + std::to_string(i) + " = " + std::to_string(i));
    }
    for (std::size_t i = 0; i < 150000; ++i) {
        lines.push_back("KEY" + std::to_string(i % kMostIniSectionKeys) + "=again");
    }
    lines.insert(lines.end(), {"[Next]", "a=1", "[big]", "b=2"});
    const std::vector<IniSection> sections = ReadIniSections(lines);
    ASSERT_EQ(sections.size(), 3U);
    EXPECT_EQ(sections[0].Name, "Big");
    ASSERT_EQ(sections[0].Keys.size(), kMostIniSectionKeys);
    EXPECT_EQ(sections[0].Keys[7], (std::pair<std::string, std::string>("Key7", "7")));
    EXPECT_EQ(sections[0].Keys.back().first, "Key999");
    // Each section counts its own keys, a second one of the same name too.
    EXPECT_EQ(sections[1].Keys.size(), 1U);
    EXPECT_EQ(sections[2].Keys.size(), 1U);

    lines.insert(lines.begin() + 2, "one=more");
    try {
        ReadIniSections(lines);
        ADD_FAILURE() << "the section was not refused";
    } catch (const EIniLimitError& error) {
        EXPECT_STREQ(error.what(), "Its section [Big] holds more than 1000 keys.");
    }
}

// A project whose SOURCE section was grown to 115,000 lines, within the size
// limit: refused with the file's name, not read for minutes.
TEST(IniSections, AFileWithASectionOfTooManyKeysIsRefusedByName) {
    TempDir dir;
    const std::string path = dir.File("grown.tsln");
    std::string text = "[SOURCE]\r\nName=Topo\r\n";
    for (int i = 0; i < 115000; ++i) {
        char line[16];
        std::snprintf(line, sizeof line, "%x=\n", i);
        text += line;
    }
    ASSERT_LE(text.size(), kInputFileLimit);
    WriteFileAtomic(path, text);
    try {
        ReadIniFileSections(path);
        ADD_FAILURE() << "the file was not refused";
    } catch (const EFileError& error) {
        EXPECT_EQ(std::string(error.what()), "Cannot read file \"" + path +
                                                 "\". Its section [SOURCE] holds more than "
                                                 "1000 keys.");
    }
}

TEST(IniFileWrite, ReplacesTheValueInPlaceAndKeepsEveryOtherLine) {
    TempDir dir;
    const std::string path = dir.File("task.tsln");
    const std::string before =
        "[MapsType]\r\nMapsType=3\r\n\r\n[THREADS]\r\nThreadCount=3\r\nT1X=\r\nT1Y=\r\nT2X="
        "\r\n\r\n";
    WriteFileAtomic(path, before);
    IniFile ini(path);
    ini.WriteInteger("threads", "t1x", 6745);
    EXPECT_EQ(ReadFileBytes(path),
              "[MapsType]\r\nMapsType=3\r\n\r\n[THREADS]\r\nThreadCount=3\r\nt1x=6745\r\nT1Y=\r\n"
              "T2X=\r\n\r\n");
    EXPECT_EQ(ini.ReadInteger("THREADS", "T1X", 0), 6745);
}

TEST(IniFileWrite, NewKeysJoinTheirSectionAndNewSectionsAndFilesAreCreated) {
    TempDir dir;
    const std::string path = dir.File("config.ini");
    IniFile ini(path);
    ini.WriteString("IniParas", "DefaultPath", "/data");
    ini.WriteInteger("Proxy", "UseProxy", 1);
    ini.WriteString("IniParas", "Version", "6.0");
    EXPECT_EQ(ReadFileBytes(path),
              "[IniParas]\r\nDefaultPath=/data\r\nVersion=6.0\r\n\r\n[Proxy]\r\nUseProxy=1\r\n");
}

TEST(IniFileWrite, AFileThatCannotBeWrittenRaisesUnableToWriteTo) {
    TempDir dir;
    const std::string path = dir.File("ini/config.ini");  // the folder "ini" is missing
    IniFile ini(path);
    try {
        ini.WriteString("IniParas", "DefaultPath", "x");
        FAIL() << "no error";
    } catch (const EIniFileException& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + path);
    }
}

// A settings or project path that names a huge file reads as no file, and a
// write never replaces a file it could not read with the keys written now.
TEST(IniFileWrite, AFileTooLargeToReadIsLeftAsItIs) {
    TempDir dir;
    const std::string path = dir.File("config.ini");
    const std::string text = "[Proxy]\r\nUseProxy=1\r\n" + std::string(kInputFileLimit, ';');
    WriteFileAtomic(path, text);
    IniFile ini(path);
    EXPECT_EQ(ini.ReadInteger("Proxy", "UseProxy", 0), 0);
    EXPECT_THROW(ini.WriteString("Proxy", "UseProxy", "0"), EIniFileException);
    EXPECT_EQ(ReadFileBytes(path), text);
}

}  // namespace
}  // namespace tessellon
