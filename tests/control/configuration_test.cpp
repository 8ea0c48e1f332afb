#include "control/configuration.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include "platform/files.h"
#include "platform/ini_file.h"
#include "temp_dir.h"

namespace tessellon {
namespace {

using test::TempDir;

class ConfigurationTest : public ::testing::Test {
protected:
    ConfigurationTest() {
        ::setenv("HOME", home.Path().c_str(), 1);
        EXPECT_TRUE(CreateDirectoryOneLevel(dir.File("ini")));
    }

    TempDir home;
    TempDir dir;
    Configuration config{dir.File("ini/config.ini")};
};

TEST_F(ConfigurationTest, WithoutAFileEveryReaderGetsItsDefaults) {
    const MainWindowSettings main = config.ReadMainWindow();
    EXPECT_EQ(main.DefaultPath, home.Path() + "orvanta");
    EXPECT_EQ(main.DefaultOutputName, "bigmap.bmp");
    EXPECT_EQ(main.DefaultThreadCount, 1);
    EXPECT_EQ(main.Version, "5.23");

    const OptionsSettings options = config.ReadOptions();
    // The options window shows the folder the main window uses.
    EXPECT_EQ(options.DefaultPath, main.DefaultPath);
    EXPECT_FALSE(options.Proxy.UseProxy);
    EXPECT_EQ(options.Proxy.ProxyServer, "");
    EXPECT_EQ(options.Proxy.ProxyPort, "");
    EXPECT_EQ(options.Proxy.ProxyUsername, "");
    EXPECT_EQ(options.Proxy.ProxyPassword, "");

    const TileServiceSettings tiles = config.ReadTileService();
    EXPECT_EQ(tiles.MapHost, "127.0.0.1:8086");
    EXPECT_EQ(tiles.SatelliteHost, "127.0.0.1:8086");
    EXPECT_FALSE(FileExists(config.FileName()));  // reading writes nothing
}

TEST_F(ConfigurationTest, StoredValuesWinAndOnlyOneMeansUseTheProxy) {
    WriteFileAtomic(
        config.FileName(),
        "[iniparas]\r\nversion=6.0\r\nDefaultPath=/srv/maps\r\nDefaultThreadCount=0x4\r\n"
        "[Proxy]\r\nUseProxy=2\r\nProxyServer=proxy.local\r\n"
        "[TileService]\r\nMapHost=tiles.local:9000\r\nSatelliteHost=sat.local\r\n");
    const MainWindowSettings main = config.ReadMainWindow();
    EXPECT_EQ(main.Version, "6.0");
    EXPECT_EQ(main.DefaultPath, "/srv/maps");
    EXPECT_EQ(main.DefaultThreadCount, 4);
    EXPECT_EQ(config.ReadOptions().DefaultPath, "/srv/maps");

    const ProxySettings proxy = config.ReadProxy();
    EXPECT_FALSE(proxy.UseProxy);
    EXPECT_EQ(proxy.ProxyServer, "proxy.local");
    IniFile(config.FileName()).WriteString("Proxy", "UseProxy", "1");
    EXPECT_TRUE(config.ReadProxy().UseProxy);
    IniFile(config.FileName()).WriteString("Proxy", "UseProxy", "yes");
    EXPECT_FALSE(config.ReadProxy().UseProxy);

    EXPECT_EQ(config.ReadTileService().MapHost, "tiles.local:9000");
    EXPECT_EQ(config.ReadTileService().SatelliteHost, "sat.local");
}

TEST_F(ConfigurationTest, OptionsWriteAllSixKeysAndReadBackTheSame) {
    OptionsSettings options;
    options.DefaultPath = "/data/tiles";
    options.Proxy = {true, "10.1.1.1", "3128", "anna", "pa ss"};
    config.WriteOptions(options);
    EXPECT_EQ(ReadFileBytes(config.FileName()),
              "[IniParas]\r\nDefaultPath=/data/tiles\r\n\r\n[Proxy]\r\nUseProxy=1\r\n"
              "ProxyServer=10.1.1.1\r\nProxyPort=3128\r\nProxyUsername=anna\r\n"
              "ProxyPassword=pa ss\r\n");
    const OptionsSettings back = config.ReadOptions();
    EXPECT_EQ(back.DefaultPath, "/data/tiles");
    EXPECT_TRUE(back.Proxy.UseProxy);
    EXPECT_EQ(back.Proxy.ProxyPassword, "pa ss");

    options.Proxy.UseProxy = false;
    config.WriteOptions(options);
    EXPECT_EQ(config.Read(settings::UseProxy), 0);
    EXPECT_NE(ReadFileBytes(config.FileName()).find("UseProxy=0\r\n"), std::string::npos);
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

TEST_F(ConfigurationTest, AFileMadeForAProxyPasswordIsPrivateAndAnExistingOneKeepsItsMode) {
    const mode_t oldMask = ::umask(022);
    OptionsSettings options;
    options.Proxy = {true, "10.1.1.1", "3128", "anna", "secret"};
    config.WriteOptions(options);
    EXPECT_EQ(ModeOf(config.FileName()), 0600u);

    // The user's own choice for a file that exists stands.
    ASSERT_EQ(::chmod(config.FileName().c_str(), 0640), 0);
    config.WriteOptions(options);
    EXPECT_EQ(ModeOf(config.FileName()), 0640u);

    const Configuration plain(dir.File("ini/plain.ini"));
    options.Proxy.ProxyPassword.clear();
    plain.WriteOptions(options);
    EXPECT_EQ(ModeOf(plain.FileName()), 0644u);
    ::umask(oldMask);
}

TEST_F(ConfigurationTest, AFolderThatCannotBeWrittenRaisesUnableToWriteTo) {
    const Configuration nowhere(dir.File("missing/config.ini"));
    try {
        nowhere.WriteOptions(OptionsSettings{});
        FAIL() << "no error";
    } catch (const EIniFileException& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + dir.File("missing/config.ini"));
    }
}

// A missing file the user named would send a download meant for the proxy
// direct; the default one may be missing. Either must be a readable regular
// file of a settings file's size.
TEST_F(ConfigurationTest, ANamedFileMustBeThereAndAnyFileMustBeReadable) {
    const std::string missing =
        "Cannot open file \"" + config.FileName() + "\". No such file or directory";
    EXPECT_EQ(config.Problem(true), missing);
    EXPECT_EQ(config.Problem(false), "");
    WriteFileAtomic(config.FileName(), "[IniParas]\r\nVersion=6.0\r\n");
    EXPECT_EQ(config.Problem(true), "");
    EXPECT_EQ(config.Problem(false), "");
    const Configuration folder(dir.File("ini"));
    EXPECT_NE(folder.Problem(true), "");
    WriteFileAtomic(config.FileName(), std::string(kInputFileLimit + 1, ';'));
    EXPECT_EQ(config.Problem(false),
              "Cannot open file \"" + config.FileName() + "\". Larger than 1 MiB.");
}

TEST_F(ConfigurationTest, TheDefaultFileLivesInTheIniFolderBesideTheProgram) {
    EXPECT_EQ(Configuration::DefaultFileName(), ProgramFolder() + "ini/config.ini");
}

// The built-in services' hosts as the options window reads and writes them:
// a file that never named them stays without them until one changes.
TEST_F(ConfigurationTest, TheOptionsWriteAHostOnlyWhenItChanges) {
    OptionsSettings options = config.ReadOptions();
    EXPECT_EQ(options.Hosts.MapHost, "127.0.0.1:8086");
    EXPECT_EQ(options.Hosts.SatelliteHost, "127.0.0.1:8086");
    config.WriteOptions(options);
    EXPECT_EQ(ReadFileBytes(config.FileName()).find("TileService"), std::string::npos);

    options.Hosts.SatelliteHost = "tiles.example.org";
    config.WriteOptions(options);
    EXPECT_EQ(config.ReadTileService().SatelliteHost, "tiles.example.org");
    EXPECT_EQ(config.ReadTileService().MapHost, "127.0.0.1:8086");
    EXPECT_EQ(ReadFileBytes(config.FileName()).find("MapHost"), std::string::npos);

    // Set back to the default, a host that is in the file is written as such.
    options.Hosts.SatelliteHost = "127.0.0.1:8086";
    options.Hosts.MapHost = "10.0.0.5:80";
    config.WriteOptions(options);
    EXPECT_EQ(config.ReadOptions().Hosts.SatelliteHost, "127.0.0.1:8086");
    EXPECT_EQ(config.ReadOptions().Hosts.MapHost, "10.0.0.5:80");
}

TEST(HostProblem, TakesANameOrAddressWithAPortAndNothingThatWouldBreakTheUrl) {
    for (const char* good :
         {"127.0.0.1:8086", "tiles.example.org", "a-b.c:1", "h:65535", "10.0.0.5"}) {
        EXPECT_EQ(HostProblem("MapHost", good), std::nullopt) << good;
    }
    for (const char* bad :
         {"", ":8086", "host:", "host:0", "host:65536", "host:+80", "host:80:80", "http://host",
          "host/path", "host?x=1", "user@host", "ho st", "host#", "[::1]:80", "host:123456"}) {
        const auto problem = HostProblem("SatelliteHost", bad);
        ASSERT_TRUE(problem) << bad;
        EXPECT_EQ(problem->rfind("SatelliteHost must be a host name or address", 0), 0U);
    }
}

}  // namespace
}  // namespace tessellon
