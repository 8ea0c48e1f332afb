// tessellon-cli as a user runs it: a child process against a tile server in
// this process, with its exit status, standard output and standard error.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "cli_fixture.h"
#include "geo/tile_math.h"
#include "output/mbtiles.h"
#include "platform/files.h"
#include "platform/ini_file.h"
#include "script_server.h"
#include "stored_records.h"
#include "test_proxy.h"

extern char** environ;

namespace tessellon {
namespace {

using namespace std::chrono_literals;

using test::WithFault;

TEST_F(Cli, ADownloadPrintsItsLogAndEndsWithStatusZero) {
    StartServer();
    const Outcome run = Execute(DownloadArgs());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.rfind("Project: " + dir.File("maps/area.tsln") + "\n", 0), 0u) << run.out;
    EXPECT_NE(run.out.find("\nLog file has been saved as " + dir.File("maps/area_log.txt") + "\n"),
              std::string::npos);
    EXPECT_EQ(run.err, "Task stoped!" + std::string(20, ' ') + "\nAll 42 tiles downloaded.\n");
    for (const std::string& tile : TileFiles()) {
        EXPECT_TRUE(FileExists(tile)) << tile;
    }
}

TEST_F(Cli, RefusedInputEndsWithStatusOneAndTheMessageOnStandardError) {
    StartServer();
    const Outcome run = Execute(DownloadArgs("200"));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Left Longitude should be between -180 and 180.\n");
    EXPECT_EQ(run.out, "");

    // A usage error is one line that says where the help is, not the help.
    const Outcome usage = Execute({"download", "--name", "x"});
    EXPECT_EQ(usage.status, 1);
    EXPECT_EQ(usage.err, "tessellon-cli: download needs --bottom (see tessellon-cli --help)\n");
}

// The download of `args` at another zoom, with `flags` added.
std::vector<std::string> AtZoom(std::vector<std::string> args, const std::string& zoom,
                                const std::vector<std::string>& flags = {}) {
    *(std::find(args.begin(), args.end(), "--zoom") + 1) = zoom;
    args.insert(args.end(), flags.begin(), flags.end());
    return args;
}

// Without a window to ask, the question goes to standard error and the
// answer Yes must be given beforehand.
TEST_F(Cli, ReplacingAnotherTaskOrStartingAHugeOneNeedsItsFlag) {
    StartServer();
    ASSERT_EQ(Execute(DownloadArgs()).status, 0);
    const std::string project = ReadFileBytes(dir.File("maps/area.tsln"));

    const Outcome refused = Execute(AtZoom(DownloadArgs(), "12", {"--yes"}));
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err,
              "A task named area.tsln already exists in this folder with other settings. "
              "Replace it? Run again with --replace to replace it.\n");
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(ReadFileBytes(dir.File("maps/area.tsln")), project);
    const Outcome replaced = Execute(AtZoom(DownloadArgs(), "12", {"--replace"}));
    EXPECT_EQ(replaced.status, 0) << replaced.err;
    EXPECT_NE(ReadFileBytes(dir.File("maps/area.tsln")).find("Zoom=12"), std::string::npos);

    const auto huge = [&](const std::string& flag) {
        return AtZoom(DownloadArgs("116.3", "huge"), "19", {flag});
    };
    const Outcome asked = Execute(huge("--replace"));
    EXPECT_EQ(asked.status, 1);
    EXPECT_EQ(asked.err.rfind("This task has 111252 tiles: about ", 0), 0u) << asked.err;
    EXPECT_TRUE(asked.err.ends_with(" on disk. Start it? Run again with --yes to start it.\n"))
        << asked.err;
    EXPECT_FALSE(FileExists(dir.File("maps/huge.tsln")));
    const pid_t pid = Spawn(huge("--yes"), "100");
    // A second tile of some worker shows that the download runs.
    const auto tiles = [&] {
        std::error_code error;
        const std::filesystem::directory_iterator folder(dir.File("maps/huge"), error);
        return error ? 0 : std::distance(begin(folder), end(folder));
    };
    for (int i = 0; i < 200 && tiles() <= 8; ++i) {
        std::this_thread::sleep_for(20ms);
    }
    ::kill(pid, SIGINT);
    const Outcome started = Wait(pid);
    EXPECT_EQ(started.status, 3) << started.err;
    EXPECT_NE(started.out.find("Total count of images would be downloaded: 111252"),
              std::string::npos);
}

// SIGTERM while a start writes the tile list of a huge task calls the start
// off: the program ends as a stopped one, and leaves no project file (so the
// task is not taken for one that can continue), no temporary file and no
// folder it made.
TEST_F(Cli, TerminatingDuringAStartCallsItOffCleanly) {
    StartServer();
    const pid_t pid = Spawn(AtZoom(DownloadArgs("115.5"), "19", {"--yes"}), "100");
    // The tile folder is made just before the task's files are written.
    for (int i = 0; i < 5000 && !DirectoryExists(dir.File("maps/area")); ++i) {
        std::this_thread::sleep_for(1ms);
    }
    ::kill(pid, SIGTERM);
    const Outcome run = Wait(pid);
    EXPECT_EQ(run.status, 3) << run.err;
    EXPECT_EQ(run.err, "Start cancelled.\n");
    EXPECT_FALSE(FileExists(dir.File("maps/area.tsln")));
    // The save folder the start made goes too, with any temporary file.
    EXPECT_FALSE(std::filesystem::exists(dir.File("maps")));
}

TEST_F(Cli, FailedTilesEndWithStatusTwoAndAWorkerEndedByThePolicyWithThree) {
    StartServer(WithFault("status-503"));
    EXPECT_EQ(Execute(DownloadArgs()).status, 2);
    EXPECT_EQ(ReadTextLines(dir.File("maps/area_failed.ftl")).size(), 42u);

    // Another task: the one above is complete, and continuing it fetches nothing.
    StartServer(WithFault("status-403"));
    EXPECT_EQ(Execute(DownloadArgs("116.3", "banned.tsln")).status, 3);
}

TEST_F(Cli, InterruptStopsTheDownloadAndTheSameCommandContinuesIt) {
    StartServer();
    const pid_t pid = Spawn(DownloadArgs(), "100");
    // Wait until a few tiles are in.
    for (int i = 0; i < 200 && !FileExists(TileFiles()[3]); ++i) {
        std::this_thread::sleep_for(20ms);
    }
    ::kill(pid, SIGINT);
    const Outcome stopped = Wait(pid);
    EXPECT_EQ(stopped.status, 3) << stopped.err;
    EXPECT_NE(stopped.out.find("Thread8will be terminated by user. please wait..."),
              std::string::npos);
    EXPECT_NE(stopped.out.find("Task Stoped!"), std::string::npos);
    int missing = 0;
    for (const std::string& tile : TileFiles()) {
        missing += FileExists(tile) ? 0 : 1;
    }
    EXPECT_GT(missing, 0);

    const Outcome continued = Execute(DownloadArgs());
    EXPECT_EQ(continued.status, 0) << continued.err;
    EXPECT_NE(continued.out.find("Log continue..."), std::string::npos);
    for (const std::string& tile : TileFiles()) {
        EXPECT_TRUE(FileExists(tile)) << tile;
    }
}

// The same synthetic tiles reached through a template on the command line and
// through sources of the sources file, by rows from the north, from the south
// and by quadkey, end up as the same tl_ files.
TEST_F(Cli, DownloadsFromATemplateOrASourceOfTheSourcesFile) {
    StartServer();
    const Outcome byUrl = Execute(SourceArgs("url.tsln", {"--url", ServerUrl("/{z}/{x}/{y}.png")}));
    EXPECT_EQ(byUrl.status, 0) << byUrl.err;
    EXPECT_NE(byUrl.out.find("\nSource: url\nUrl: " + ServerUrl("/{z}/{x}/{y}.png") + "\n"),
              std::string::npos)
        << byUrl.out;
    EXPECT_NE(byUrl.out.find("\nDownload threads count: 2\n"), std::string::npos);
    const std::vector<std::string> reference = TileFiles("url", "tl");
    for (const std::string& tile : reference) {
        EXPECT_TRUE(FileExists(tile)) << tile;
    }

    WriteLinesAtomic(dir.File("sources.ini"),
                     {"[Tms]", "Url=" + ServerUrl("/tms/{z}/{x}/{-y}.png"), "Workers=3", "[Quad]",
                      "Url=" + ServerUrl("/q/{q}.png"), "PauseMs=0"});
    for (const std::string name : {"Tms", "Quad"}) {
        const Outcome run = Execute(
            SourceArgs(name + ".tsln", {"--source", name, "--sources", dir.File("sources.ini")}));
        EXPECT_EQ(run.status, 0) << name << run.err;
        const std::vector<std::string> tiles = TileFiles(name, "tl");
        for (std::size_t i = 0; i < tiles.size(); ++i) {
            EXPECT_EQ(ReadFileBytes(tiles[i]), ReadFileBytes(reference[i])) << tiles[i];
        }
    }
    EXPECT_NE(ReadFileBytes(dir.File("maps/Tms.tsln")).find("\r\nWorkers=3\r\n"),
              std::string::npos);
}

// Opening and continuing a source task need no sources file: the source is
// in the project file.
TEST_F(Cli, ASourceTaskStopsAndContinuesWithoutItsSourcesFile) {
    StartServer();
    WriteLinesAtomic(dir.File("sources.ini"),
                     {"[Local]", "Url=" + ServerUrl("/{z}/{x}/{y}.png"), "Workers=4"});
    const std::vector<std::string> args =
        SourceArgs("area.tsln", {"--source", "Local", "--sources", dir.File("sources.ini")});
    const std::vector<std::string> tiles = TileFiles("area", "tl");
    const pid_t pid = Spawn(args, "100");
    for (int i = 0; i < 200 && !FileExists(tiles[3]); ++i) {
        std::this_thread::sleep_for(20ms);
    }
    ::kill(pid, SIGINT);
    const Outcome stopped = Wait(pid);
    EXPECT_EQ(stopped.status, 3) << stopped.err;
    EXPECT_NE(stopped.out.find("Thread4will be terminated by user. please wait..."),
              std::string::npos);
    int missing = 0;
    for (const std::string& tile : tiles) {
        missing += FileExists(tile) ? 0 : 1;
    }
    EXPECT_GT(missing, 0);

    ASSERT_EQ(std::remove(dir.File("sources.ini").c_str()), 0);
    const Outcome continued =
        Execute({"open", dir.File("maps/area.tsln"), "--config", dir.File("config.ini")});
    EXPECT_EQ(continued.status, 0) << continued.err;
    EXPECT_NE(continued.out.find("Log continue..."), std::string::npos);
    for (const std::string& tile : tiles) {
        EXPECT_TRUE(FileExists(tile)) << tile;
    }
}

// A source that does not check certificates says so on standard error at
// every start, a continued one too: the project may be someone else's.
TEST_F(Cli, AnInsecureSourceIsSaidAtEveryStart) {
    StartServer();
    WriteLinesAtomic(dir.File("sources.ini"),
                     {"[Loose]", "Url=" + ServerUrl("/{z}/{x}/{y}.png"), "Insecure=1"});
    const std::string warning =
        "Warning: source 'Loose' has Insecure=1: its server's certificate is not checked";
    const Outcome run = Execute(
        SourceArgs("loose.tsln", {"--source", "Loose", "--sources", dir.File("sources.ini")}));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err.rfind(warning, 0), 0U) << run.err;
    const Outcome again =
        Execute({"open", dir.File("maps/loose.tsln"), "--config", dir.File("config.ini")});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.err.rfind(warning, 0), 0U) << again.err;
    EXPECT_NE(again.out.find(warning), std::string::npos) << again.out;
}

// A certificate that does not verify ends the task with the reason and
// what to do on standard error, not only in a log line.
TEST_F(Cli, ACertificateThatDoesNotVerifySaysWhyAndWhatToDo) {
    tileserver::TileServerOptions options = test::ServerOptions();
    options.tls = true;
    StartServer(std::move(options));
    WriteLinesAtomic(
        dir.File("sources.ini"),
        {"[Own]", "Url=https://127.0.0.1:" + std::to_string(server->Port()) + "/{z}/{x}/{y}.png"});
    const Outcome run =
        Execute(SourceArgs("own.tsln", {"--source", "Own", "--sources", dir.File("sources.ini")}));
    EXPECT_EQ(run.status, 3) << run.err;
    EXPECT_NE(run.err.find("Network error: the workers stopped.\nTLS handshake failed: "),
              std::string::npos)
        << run.err;
    for (const char* advice : {"could not be verified", "SSL_CERT_FILE", "Insecure=1"}) {
        EXPECT_NE(run.err.find(advice), std::string::npos) << advice;
    }
}

// A proxy that refuses the tunnel is the proxy's doing, not the server's:
// the task ends at once with the proxy's answer and what to check.
TEST_F(Cli, AProxyThatRefusesConnectSaysSoAndWhatToCheck) {
    for (const std::string status : {"403 Forbidden", "407 Proxy Authentication Required"}) {
        SCOPED_TRACE(status);
        test::TTestProxy proxy(status);
        IniFile config(dir.File("config.ini"));
        config.WriteString("Proxy", "UseProxy", "1");
        config.WriteString("Proxy", "ProxyServer", "127.0.0.1");
        config.WriteString("Proxy", "ProxyPort", std::to_string(proxy.Port()));
        WriteLinesAtomic(dir.File("sources.ini"),
                         {"[Far]", "Url=https://tiles.example.org/{z}/{x}/{y}.png", "Workers=2"});
        const Outcome run =
            Execute(SourceArgs(status.substr(0, 3) + ".tsln",
                               {"--source", "Far", "--sources", dir.File("sources.ini")}));
        EXPECT_EQ(run.status, 3) << run.err;
        EXPECT_NE(run.err.find("Network error: the workers stopped. (proxy 127.0.0.1:" +
                               std::to_string(proxy.Port()) +
                               ")\nThe proxy refused CONNECT: " + status + "\n"),
                  std::string::npos)
            << run.err;
        EXPECT_EQ(run.err.find("The server refused"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("in Options"), std::string::npos) << run.err;
        // Each worker asked once, and none tried again.
        EXPECT_EQ(proxy.Requests().size(), 2U);
    }
}

TEST_F(Cli, AnUnknownOrRefusedSourceEndsWithStatusOne) {
    WriteLinesAtomic(dir.File("sources.ini"),
                     {"[Bad]", "Url=http://127.0.0.1:1/{z}/{x}/{y}.png", "Workers=9"});
    const std::vector<std::string> file = {"--sources", dir.File("sources.ini")};
    const auto run = [&](std::vector<std::string> choice) {
        return Execute(SourceArgs("area.tsln", choice));
    };
    std::vector<std::string> choice = {"--source", "Bad"};
    choice.insert(choice.end(), file.begin(), file.end());
    const Outcome refused = run(choice);
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "Source 'Bad': Workers must be 1..8.\nNo usable source \"Bad\" in " +
                               dir.File("sources.ini") + ".\n");
    choice[1] = "Other";
    EXPECT_EQ(run(choice).status, 1);
    const Outcome badUrl = run({"--url", "http://h/{zoom}/{x}/{y}.png"});
    EXPECT_EQ(badUrl.status, 1);
    EXPECT_NE(badUrl.err.find("unknown placeholder {zoom}"), std::string::npos) << badUrl.err;
    const Outcome both = run({"--url", "http://h/{z}/{x}/{y}.png", "--type", "map"});
    EXPECT_EQ(both.status, 1);
    EXPECT_NE(both.err.find("one of --type, --source and --url"), std::string::npos);
    EXPECT_FALSE(FileExists(dir.File("maps/area.tsln")));
}

TEST_F(Cli, OpenContinuesASavedProject) {
    StartServer();
    ASSERT_EQ(Execute(DownloadArgs()).status, 0);
    const Outcome run =
        Execute({"open", dir.File("maps/area.tsln"), "--config", dir.File("config.ini")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Log continue..."), std::string::npos);
    EXPECT_EQ(Execute({"open", dir.File("nothing.tsln")}).status, 1);
}

// Opening a file that is no task's project starts nothing and leaves it.
// --retry-failed fetches the listed tiles that are still blank before the
// task continues, for download and open alike; without it a run that only
// continues leaves them and ends with status 2.
TEST_F(Cli, RetryFailedFetchesTheStillBlankListedTilesFirst) {
    // Two one-tile tasks whose three attempts each fail.
    StartServer(test::FailingFirst(6));
    const auto oneTile = [&](const std::string& name) {
        std::vector<std::string> args = DownloadArgs("116.5", name);
        *(std::find(args.begin(), args.end(), "--bottom") + 1) = "40";
        return args;
    };
    const auto withFlag = [](std::vector<std::string> args) {
        args.push_back("--retry-failed");
        return args;
    };
    const std::string stillBlank = "Task stoped!" + std::string(20, ' ') +
                                   "\n1 tiles: 0 downloaded, 1 still blank (listed in ";
    for (const char* name : {"a.tsln", "b.tsln"}) {
        const Outcome failed = Execute(oneTile(name));
        EXPECT_EQ(failed.status, 2) << failed.err;
        EXPECT_EQ(failed.err.rfind(stillBlank, 0), 0u) << failed.err;
    }
    const Outcome continued = Execute(oneTile("a.tsln"));
    EXPECT_EQ(continued.status, 2);
    EXPECT_EQ(continued.out.find(" OK\n"), std::string::npos) << continued.out;

    const std::string allDone =
        "Task stoped!" + std::string(20, ' ') + "\nAll 1 tiles downloaded.\n";
    const Outcome retried = Execute(withFlag(oneTile("a.tsln")));
    EXPECT_EQ(retried.status, 0) << retried.err;
    EXPECT_EQ(retried.err, allDone);
    EXPECT_NE(retried.out.find("Fetching again the 1 tiles of " + dir.File("maps/a_failed.ftl") +
                               " that are still blank.\n"),
              std::string::npos)
        << retried.out;
    EXPECT_EQ(ReadTextLines(dir.File("maps/a_failed.ftl")).size(), 1u);

    const std::vector<std::string> open = {"open", dir.File("maps/b.tsln"), "--config",
                                           dir.File("config.ini")};
    EXPECT_EQ(Execute(open).status, 2);
    const Outcome opened = Execute(withFlag(open));
    EXPECT_EQ(opened.status, 0) << opened.err;
    EXPECT_EQ(opened.err, allDone);

    // Only download and open take it.
    const Outcome refused = Execute({"refresh", dir.File("maps/b.tsln"), "--retry-failed"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("--retry-failed"), std::string::npos) << refused.err;
}

// A refresh killed midway leaves its position and the tile store as its
// last save wrote them: the next refresh takes the killed run's lock over,
// asks only the tiles after that position, tells a tile changed meanwhile,
// and leaves every tile whole and every tile known to the store.
TEST_F(Cli, ARefreshKilledMidwayContinuesAfterItsLastSave) {
    test::TempDir served;
    tileserver::TileServerOptions options = test::ServingSampleTiles(served);
    options.validators = true;
    StartServer(std::move(options));
    ASSERT_EQ(Execute(SourceArgs("area.tsln", {"--url", ServerUrl("/{z}/{x}/{y}.png")})).status, 0);
    const std::string project = dir.File("maps/area.tsln");
    const std::vector<std::string> refresh = {"refresh", project, "--config",
                                              dir.File("config.ini")};
    const pid_t pid = Spawn(refresh, "200");
    const auto saved = [&] { return IniFile(project).ReadInteger("REFRESH", "T1", 0); };
    for (int i = 0; i < 1000 && saved() < 5; ++i) {
        std::this_thread::sleep_for(5ms);
    }
    ::kill(pid, SIGKILL);
    EXPECT_EQ(Wait(pid).status, 128 + SIGKILL);
    const int done = saved();
    ASSERT_GE(done, 5);
    ASSERT_LT(done, 42);

    // The last tile of the walk lies after any position the kill left.
    const std::string last = "tl_6747_3107_13.png";
    WriteFileAtomic(served.File(last), test::SampleTileImage(6742, 3101));
    const auto ended = [](const Outcome& run, int asked, int changed) {
        return run.err.ends_with("\nRefreshed " + std::to_string(asked) +
                                 " tiles: " + std::to_string(changed) + " changed, " +
                                 std::to_string(asked - changed) +
                                 " unchanged, 0 kept (not on the server).\n");
    };
    const Outcome continued = Execute(refresh);
    EXPECT_EQ(continued.status, 0) << continued.err;
    EXPECT_TRUE(ended(continued, 42 - done, 1)) << continued.err;
    for (const std::string& tile : TileFiles("area", "tl")) {
        const std::string name = tile.substr(tile.rfind('/') + 1);
        EXPECT_EQ(ReadFileBytes(tile), ReadFileBytes(served.File(name))) << name;
    }
    EXPECT_EQ(test::StoredRecords(dir.File("maps/area_tiles.sqlite")).size(), 42u);
    const Outcome again = Execute(refresh);
    EXPECT_TRUE(ended(again, 42, 0)) << again.err;
}

TEST_F(Cli, OpenRefusesAFileThatIsNoTaskProjectAndLeavesIt) {
    StartServer();
    const std::string path = dir.File("notes.tsln");
    WriteFileAtomic(path, "[MapsType]\r\nMapsType=3\r\nsome notes\r\n");
    const Outcome run = Execute({"open", path, "--config", dir.File("config.ini")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, path + " is not a task project file.\n");
    EXPECT_EQ(ReadFileBytes(path), "[MapsType]\r\nMapsType=3\r\nsome notes\r\n");
    EXPECT_FALSE(DirectoryExists(dir.File("notes")));
}

TEST_F(Cli, FoldersFromHomeOrTheCurrentFolderAreNamedWhole) {
    StartServer();
    workingFolder = dir.Path();  // also the home folder
    std::vector<std::string> args = DownloadArgs();
    *std::find(args.begin(), args.end(), dir.File("maps")) = "~/maps";
    const Outcome run = Execute(args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.rfind("Project: " + dir.File("maps/area.tsln") + "\n", 0), 0u) << run.out;

    // The folder "x" does not exist: ".." is taken from the text.
    const Outcome open =
        Execute({"open", "./x/../maps/area.tsln", "--config", dir.File("config.ini")});
    EXPECT_EQ(open.status, 0) << open.err;
    EXPECT_NE(
        open.out.rfind("\nLog file has been saved as " + dir.File("maps/area_log.txt") + "\n"),
        std::string::npos);
}

// A settings file named but missing or unreadable must not give way to the
// defaults: a download meant for the proxy would go direct.
TEST_F(Cli, ANamedSettingsFileThatCannotBeReadEndsWithStatusOne) {
    StartServer();
    std::vector<std::string> args = DownloadArgs();
    const std::string missing = dir.File("conifg.ini");
    args.back() = missing;
    const Outcome run = Execute(args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Cannot open file \"" + missing + "\". No such file or directory\n");
    args.back() = dir.Path();
    EXPECT_EQ(Execute(args).status, 1);
    args.back() = "/dev/zero";
    EXPECT_EQ(Execute(args).err, "Cannot open file \"/dev/zero\". Not a regular file.\n");
    EXPECT_FALSE(FileExists(dir.File("maps/area.tsln")));
}

// A project that is no regular file or far too large is refused at once,
// without blocking, reading it whole, or writing anything.
TEST_F(Cli, OpenRefusesAProjectThatIsNoRegularFileOrTooLarge) {
    const std::string fifo = dir.File("fifo.tsln");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const Outcome blocked = Execute({"open", fifo, "--config", dir.File("config.ini")});
    EXPECT_EQ(blocked.status, 1);
    EXPECT_EQ(blocked.err, "Cannot open file \"" + fifo + "\". Not a regular file.\n");

    const std::string large = dir.File("large.tsln");
    const std::string text = "[MapsType]\r\nMapsType=0\r\n" + std::string(2 << 20, ';');
    WriteFileAtomic(large, text);
    const Outcome huge = Execute({"open", large, "--config", dir.File("config.ini")});
    EXPECT_EQ(huge.status, 1);
    EXPECT_EQ(huge.err, "Cannot open file \"" + large + "\". Larger than 1 MiB.\n");
    EXPECT_EQ(ReadFileBytes(large), text);
}

TEST_F(Cli, CoordinatesAreTakenAsPeopleWriteThemAndWholeOrNotAtAll) {
    const Outcome west = Execute({"estimate", "--left", "122 30 W", "--right", "122 25 W", "--top",
                                  "37\xC2\xB0 50' N", "--bottom", "37 45", "--zoom", "12"});
    EXPECT_EQ(west.status, 0) << west.err;
    EXPECT_EQ(west.out.substr(0, 11), "Zoom 12: 4\n");
    // Once read as 122 east.
    const Outcome wrongLetter = Execute({"estimate", "--left", "122 25 N", "--right", "122 20 W",
                                         "--top", "37.8", "--bottom", "37.7", "--zoom", "12"});
    EXPECT_EQ(wrongLetter.status, 1);
    EXPECT_EQ(wrongLetter.err, "Left Longitude should be between -180 and 180.\n");
}

TEST_F(Cli, ConvertPrintsTheResultOrInputError) {
    const Outcome ok = Execute({"convert", "39", "55", "30"});
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(ok.out, "39.9249992370605\n");
    // The sign is the whole angle's.
    const Outcome negative = Execute({"convert", "-10", "30", "0"});
    EXPECT_EQ(negative.out, "-10.5\n");
    const Outcome bad = Execute({"convert", "39.5", "0", "0"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err, "Input Error.\n");
}

TEST_F(Cli, RedownloadPrintsItsLinesAndTellsWhetherEveryRecordCameBack) {
    StartServer();
    const std::string url =
        "http://127.0.0.1:" + std::to_string(server->Port()) + "/hx/tl?v=4.3&r=1&x=1&y=1&z=14";
    const std::string tile = dir.File("yn_1_1_14.png");
    WriteLinesAtomic(dir.File("f.ftl"), {tile + "|" + url});
    const Outcome run = Execute({"redownload", dir.File("f.ftl")});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "Start...\n" + tile + ":" + url +
                           " ->OK\nDownload End.\nNo listed tile is still blank.\n");
    const std::vector<std::string> missing = {dir.File("yn_1_2_14.png") + "|" + url +
                                              "&fault=status-404"};
    WriteLinesAtomic(dir.File("f.ftl"), missing);
    const Outcome failed = Execute({"redownload", dir.File("f.ftl")});
    EXPECT_EQ(failed.status, 2);
    EXPECT_TRUE(failed.out.ends_with("\nDownload End.\n1 listed tile is still blank.\n"))
        << failed.out;
    EXPECT_EQ(ReadTextLines(dir.File("f.ftl")), missing);
    EXPECT_EQ(Execute({"redownload", dir.File("none.ftl")}).status, 1);
}

TEST_F(Cli, SourcesListsEachSourceAndRefusedOnesOnStandardError) {
    WriteFileAtomic(dir.File("sources.ini"),
                    "[Topo]\nUrl=https://{s}.topo.example.org/{z}/{x}/{y}.png\nSubdomains=abc\n"
                    "[Broken]\nUrl=https://example.org/{zoom}/{x}/{y}.png\n"
                    "[Aerial]\nUrl=https://example.org/{q}.jpg\nMinZoom=3\nMaxZoom=17\n"
                    "Workers=1\nPauseMs=2500\n");
    const Outcome run = Execute(
        {"sources", "--sources", dir.File("sources.ini"), "--config", dir.File("config.ini")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out,
              "Topo: https://{s}.topo.example.org/{z}/{x}/{y}.png, zooms 1-19, workers 2, pause "
              "1000 ms\n"
              "Aerial: https://example.org/{q}.jpg, zooms 3-17, workers 1, pause 2500 ms\n");
    EXPECT_EQ(run.err, "Source 'Broken': unknown placeholder {zoom} in Url.\n");

    const Outcome missing = Execute({"sources", "--sources", dir.File("none.ini")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err, "No sources file \"" + dir.File("none.ini") + "\".\n");
}

TEST_F(Cli, SourcesCheckFetchesATileOfEachAndEndsWithTwoWhenOneFails) {
    StartServer();
    const std::string origin = "http://127.0.0.1:" + std::to_string(server->Port());
    const std::string good = "[Good]\nUrl=" + origin + "/{z}/{x}/{y}.png\nMinZoom=4\n";
    const std::vector<std::string> args = {"sources",   "--check",
                                           "--sources", dir.File("sources.ini"),
                                           "--config",  dir.File("config.ini")};
    WriteFileAtomic(dir.File("sources.ini"), good);
    const Outcome passed = Execute(args);
    EXPECT_EQ(passed.status, 0) << passed.err;
    EXPECT_NE(passed.out.find("\n  check 4/0/0: ok, HTTP 200, "), std::string::npos) << passed.out;

    WriteFileAtomic(dir.File("sources.ini"),
                    good + "[Page]\nUrl=" + origin + "/{z}/{x}/{y}.png?fault=html-error-page\n");
    const Outcome failed = Execute(args);
    EXPECT_EQ(failed.status, 2) << failed.err;
    EXPECT_EQ(failed.err, "");
    EXPECT_NE(failed.out.find("\n  check 1/0/0: failed, HTTP 200, "), std::string::npos)
        << failed.out;
    EXPECT_NE(failed.out.find(" bytes, no image (text/html), not PNG\n"), std::string::npos)
        << failed.out;
}

// A range of zooms is one task: one project, list, log and tile folder, the
// lowest zoom first; a second run continues it as a whole. A project of one
// zoom, as the previous version made one per zoom of a range, still opens
// and continues.
TEST_F(Cli, AZoomRangeIsOneTaskThatContinuesAsAWhole) {
    StartServer();
    const std::vector<std::string> range = AtZoom(DownloadArgs("116.3", "pyr"), "12-13");
    const Outcome run = Execute(range);
    EXPECT_EQ(run.status, 0) << run.err;
    const std::int64_t total = CoveringTiles({116.3, 116.5, 40, 39.8}, 12).Count() + 42;
    EXPECT_EQ(run.err, "Task stoped!" + std::string(20, ' ') + "\nAll " + std::to_string(total) +
                           " tiles downloaded.\nZoom 12: all " + std::to_string(total - 42) +
                           " tiles.\nZoom 13: all 42 tiles.\n");
    EXPECT_EQ(ReadTextLines(dir.File("maps/pyr_list.txt")).size(),
              static_cast<std::size_t>(total) + 1);
    EXPECT_NE(ReadFileBytes(dir.File("maps/pyr.tsln")).find("[COVER]\r\nZoomFrom=12\r\nZoomTo=13"),
              std::string::npos);
    for (const std::string& tile : TileFiles("pyr")) {
        EXPECT_TRUE(FileExists(tile)) << tile;
    }
    EXPECT_TRUE(FileExists(dir.File("maps/pyr/yn_3371_1550_12.png")));
    const Outcome again = Execute(range);
    EXPECT_EQ(again.status, 0) << again.err;
    const std::size_t first = again.out.find("Log continue...");
    ASSERT_NE(first, std::string::npos) << again.out;
    EXPECT_EQ(again.out.find("Log continue...", first + 1), std::string::npos) << again.out;

    ASSERT_EQ(Execute(DownloadArgs("116.3", "pyr_z13")).status, 0);
    const Outcome opened =
        Execute({"open", dir.File("maps/pyr_z13.tsln"), "--config", dir.File("config.ini")});
    EXPECT_EQ(opened.status, 0) << opened.err;
    EXPECT_NE(opened.out.find("Log continue..."), std::string::npos) << opened.out;
}

// A track with a buffer over two zooms is one task of just the corridor's
// tiles, with the copy of its area beside the project; a track without a
// buffer is refused with the option to give.
TEST_F(Cli, ATrackWithABufferDownloadsItsCorridorOverItsZooms) {
    StartServer();
    WriteFileAtomic(dir.File("walk.gpx"),
                    "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"test\" "
                    "xmlns=\"http://www.topografix.com/GPX/1/1\"><trk><name>walk</name><trkseg>"
                    "<trkpt lat=\"39.80\" lon=\"116.30\"/><trkpt lat=\"39.90\" lon=\"116.40\"/>"
                    "<trkpt lat=\"40.00\" lon=\"116.50\"/></trkseg></trk></gpx>\n");
    std::vector<std::string> args = SourceArgs("walk", {"--type", "map"});
    for (const char* bound : {"--left", "--right", "--top", "--bottom"}) {
        const auto at = std::find(args.begin(), args.end(), bound);
        args.erase(at, at + 2);
    }
    args = AtZoom(args, "13-14", {"--area", dir.File("walk.gpx")});

    const Outcome refused = Execute(args);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("--buffer"), std::string::npos) << refused.err;
    EXPECT_FALSE(FileExists(dir.File("maps/walk.tsln")));

    args.insert(args.end(), {"--buffer", "300m"});
    const Outcome run = Execute(args);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> list = ReadTextLines(dir.File("maps/walk_list.txt"));
    const std::int64_t rectangle = CoveringTiles({116.3, 116.5, 40, 39.8}, 13).Count() +
                                   CoveringTiles({116.3, 116.5, 40, 39.8}, 14).Count();
    EXPECT_LT(static_cast<std::int64_t>(list.size()) - 1, rectangle / 2);
    EXPECT_EQ(
        run.err.rfind("Task stoped!" + std::string(20, ' ') + "\nAll " +
                          std::to_string(list.size() - 1) + " tiles downloaded.\nZoom 13: all ",
                      0),
        0U)
        << run.err;
    EXPECT_NE(run.err.find(" tiles.\nZoom 14: all "), std::string::npos) << run.err;
    for (std::size_t i = 1; i < list.size(); ++i) {
        const std::string name = list[i].substr(0, list[i].find(':'));
        EXPECT_TRUE(FileExists(dir.File("maps/walk/" + name))) << name;
    }
    const std::string project = ReadFileBytes(dir.File("maps/walk.tsln"));
    EXPECT_NE(project.find("\r\nArea=walk_area.geojson\r\nBufferMetres=300\r\n"), std::string::npos)
        << project;
    EXPECT_TRUE(FileExists(dir.File("maps/walk_area.geojson")));

    // The same track and buffer continue the task; open continues it from
    // its copy alone.
    const Outcome again = Execute(args);
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_NE(again.out.find("Log continue..."), std::string::npos) << again.out;
    std::filesystem::remove(dir.File("walk.gpx"));
    const Outcome opened =
        Execute({"open", dir.File("maps/walk.tsln"), "--config", dir.File("config.ini")});
    EXPECT_EQ(opened.status, 0) << opened.err;
    EXPECT_NE(opened.out.find("Log continue..."), std::string::npos) << opened.out;
}

TEST_F(Cli, BadZoomRangesAndRefusedExportsEndWithStatusOne) {
    for (const char* zooms : {"13-12", "12-20", "0-3", "12-", "12-13-14"}) {
        const Outcome run = Execute(AtZoom(DownloadArgs(), zooms));
        EXPECT_EQ(run.status, 1) << zooms;
        EXPECT_NE(run.err.find("--zoom takes a zoom or a range"), std::string::npos) << run.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("maps")));

    const std::string file = dir.File("x.mbtiles");
    const Outcome absent = Execute({"export", dir.File("absent.tsln"), "--mbtiles", file});
    EXPECT_EQ(absent.status, 1);
    EXPECT_NE(absent.err.find(dir.File("absent.tsln")), std::string::npos) << absent.err;
    EXPECT_FALSE(FileExists(file));
    EXPECT_EQ(Execute({"export", "--mbtiles", file}).status, 1);
    EXPECT_EQ(Execute({"export", dir.File("absent.tsln")}).status, 1);
    const Outcome two = Execute(
        {"export", dir.File("absent.tsln"), "--mbtiles", file, "--gpkg", dir.File("x.gpkg")});
    EXPECT_EQ(two.status, 1);
    EXPECT_NE(two.err.find("export writes one file"), std::string::npos) << two.err;

    StartServer();
    ASSERT_EQ(Execute(DownloadArgs()).status, 0);
    WriteFileAtomic(file, "not a database, but some text of a size SQLite would read");
    const Outcome foreign = Execute({"export", dir.File("maps/area.tsln"), "--mbtiles", file});
    EXPECT_EQ(foreign.status, 1);
    EXPECT_EQ(foreign.err,
              "The file " + file + " is not an MBTiles file: it is no SQLite database.\n");
    // The same refusal in a GeoPackage's words; a GeoPackage made anew.
    const std::string gpkg = dir.File("x.gpkg");
    WriteFileAtomic(gpkg, "not a database, but some text of a size SQLite would read");
    EXPECT_EQ(Execute({"export", dir.File("maps/area.tsln"), "--gpkg", gpkg}).err,
              "The file " + gpkg + " is not a GeoPackage file: it is no SQLite database.\n");
    std::filesystem::remove(gpkg);
    const Outcome made = Execute({"export", dir.File("maps/area.tsln"), "--gpkg", gpkg});
    EXPECT_EQ(made.status, 0) << made.err;
    EXPECT_NE(made.out.find("tiles written"), std::string::npos) << made.out;

    // Zooms built below: a count, then a line that tells them.
    for (const char* levels : {"0", "20", "two"}) {
        EXPECT_NE(Execute({"export", dir.File("maps/area.tsln"), "--osmand", file, "--build-lower",
                           levels})
                      .err.find("--build-lower takes a number of zooms from 1 to 19"),
                  std::string::npos)
            << levels;
    }
    const Outcome lower = Execute({"export", dir.File("maps/area.tsln"), "--osmand",
                                   dir.File("x.sqlitedb"), "--build-lower", "2"});
    EXPECT_EQ(lower.status, 0) << lower.err;
    EXPECT_NE(lower.out.find("\nZooms 11-12 built from zoom 13: 4 and 12 tiles.\n"),
              std::string::npos)
        << lower.out;
}

TEST_F(Cli, EstimateCountsEveryZoomAndListsTheTilesADownloadWouldFetch) {
    const std::vector<std::string> rectangle = {
        "estimate", "--left", "116.3", "--right", "116.5", "--top", "40", "--bottom", "39.8"};
    std::vector<std::string> args = rectangle;
    args.insert(args.end(), {"--zoom", "13-14", "--tiles", "-"});
    const Outcome run = Execute(args);
    ASSERT_EQ(run.status, 0) << run.err;
    // 6 x 7 tiles at zoom 13, 11 x 13 at 14, the lowest zoom first and each
    // column from the north.
    EXPECT_EQ(run.out.substr(0, run.out.find("/6743/")),
              "Zoom 13: 42\nZoom 14: 143\n185 tiles, under a minute at the service's pace, "
              "about 2.7 MiB on disk\n13/6742/3101\n13/6742/3102\n13/6742/3103\n"
              "13/6742/3104\n13/6742/3105\n13/6742/3106\n13/6742/3107\n13");
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 3 + 185);
    EXPECT_TRUE(run.err.empty()) << run.err;

    // A corridor: the buffered track goes to --save-area, the tiles to a
    // file, and a download of the same track fetches those very tiles.
    StartServer();
    WriteFileAtomic(dir.File("walk.gpx"),
                    "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"test\" "
                    "xmlns=\"http://www.topografix.com/GPX/1/1\"><trk><trkseg>"
                    "<trkpt lat=\"39.80\" lon=\"116.30\"/><trkpt lat=\"40.00\" lon=\"116.50\"/>"
                    "</trkseg></trk></gpx>\n");
    const std::vector<std::string> shape = {"--area", dir.File("walk.gpx"), "--zoom", "13-14"};
    std::vector<std::string> lineOnly = {"estimate"};
    lineOnly.insert(lineOnly.end(), shape.begin(), shape.end());
    const Outcome unbuffered = Execute(lineOnly);
    EXPECT_EQ(unbuffered.status, 1);
    EXPECT_NE(unbuffered.err.find("--buffer"), std::string::npos) << unbuffered.err;

    std::vector<std::string> corridor = lineOnly;
    corridor.insert(corridor.end(), {"--buffer", "300m", "--tiles", dir.File("tiles.txt"),
                                     "--save-area", dir.File("corridor.geojson")});
    ASSERT_EQ(Execute(corridor).status, 0);
    EXPECT_EQ(ReadFileBytes(dir.File("corridor.geojson")).substr(0, 1), "{");
    std::vector<std::string> download = SourceArgs("walk", {"--type", "map"});
    for (const char* bound : {"--left", "--right", "--top", "--bottom"}) {
        const auto at = std::find(download.begin(), download.end(), bound);
        download.erase(at, at + 2);
    }
    download = AtZoom(download, "13-14", {"--area", dir.File("walk.gpx"), "--buffer", "300m"});
    ASSERT_EQ(Execute(download).status, 0);
    const std::vector<std::string> estimated = ReadTextLines(dir.File("tiles.txt"));
    const std::vector<std::string> listed = ReadTextLines(dir.File("maps/walk_list.txt"));
    ASSERT_EQ(estimated.size() + 1, listed.size());
    for (std::size_t i = 0; i < estimated.size(); ++i) {
        // "map_X_Y_Z.png: ..." against "Z/X/Y".
        const std::string& name = listed[i + 1];
        const std::size_t x = name.find('_') + 1;
        const std::size_t y = name.find('_', x) + 1;
        const std::size_t z = name.find('_', y) + 1;
        EXPECT_EQ(estimated[i], name.substr(z, name.find('.') - z) + "/" +
                                    name.substr(x, y - 1 - x) + "/" + name.substr(y, z - 1 - y));
    }

    for (const std::vector<std::string>& refused :
         {std::vector<std::string>{"estimate", "--zoom", "13"},
          std::vector<std::string>{"estimate", "--left", "116.3", "--right", "116.5", "--top", "40",
                                   "--bottom", "39.8", "--zoom", "13", "--save-area", "x"},
          std::vector<std::string>{"estimate", "--left", "116.5", "--right", "116.3", "--top", "40",
                                   "--bottom", "39.8", "--zoom", "13"}}) {
        EXPECT_EQ(Execute(refused).status, 1) << refused.back();
    }
}

// A source from a service's description: the layers listed, the chosen one
// added under its name, and a layer that must be chosen asked for.
TEST_F(Cli, SourcesImportAddsALayerOfAService) {
    const std::string caps = ReadFileBytes(std::string(TESSELLON_SERVICE_DATA) + "wmts_kvp.xml");
    const std::string reply = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(caps.size()) +
                              "\r\nConnection: close\r\n\r\n" + caps;
    test::TScriptServer service({test::TServerScript().Answer(reply)});
    const Outcome run = Execute(
        {"sources", "--import", service.Url("/wmts?REQUEST=GetCapabilities"), "--name", "Roads",
         "--sources", dir.File("sources.ini"), "--config", dir.File("config.ini")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "WMTS \"Roads of the example region\", 1 layer(s):\n"
              "  roads & paths: Roads; formats image/tiff, image/png; mode=8bit, "
              "image/jpeg; styles default; sets GoogleMapsCompatible\n"
              "Source 'Roads' added to " +
                  dir.File("sources.ini") + ".\n");
    const Outcome listed = Execute({"sources", "--sources", dir.File("sources.ini")});
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(listed.out.rfind("Roads: https://kvp.example.org/service?map=roads&SERVICE=WMTS", 0),
              0U)
        << listed.out;

    for (const std::vector<std::string>& wrong :
         {std::vector<std::string>{"sources", "--layer", "roads"},
          std::vector<std::string>{"sources", "--import", "http://x/", "--check"}}) {
        const Outcome refused = Execute(wrong);
        EXPECT_EQ(refused.status, 1);
        EXPECT_NE(refused.err.find("--import"), std::string::npos) << refused.err;
    }
}

TEST_F(Cli, HelpExplainsEveryCommand) {
    const Outcome run = Execute({"--help"});
    EXPECT_EQ(run.status, 0);
    for (const char* word :
         {"download", "estimate",  "--tiles",       "open",           "redownload",
          "convert",  "sources",   "export",        "--config",       "--sources",
          "--check",  "--import",  "--layer",       "--replace",      "--yes",
          "Z1-Z2",    "--mbtiles", "--with-blanks", "--retry-failed", "Exit status",
          "--quiet",  "--version", "--gpkg",        "--pmtiles",      "--osmand"}) {
        EXPECT_NE(run.out.find(word), std::string::npos) << word;
    }
}

}  // namespace
}  // namespace tessellon
