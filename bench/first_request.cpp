// How soon a task of 17.5 million tiles (a 20 x 20 degree area at zoom 16)
// saves its first tile: tessellon-cli started as a user starts it, against
// tessellon-tileserver --fast, timed from the start of the process to the
// first tile file, for a new task and for the same task continued. Target:
// within 1 s each time; the tile list is written beside the download.
//
// Usage: bench_first_request BIN_DIR SCRATCH

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "paired_runs.h"
#include "platform/files.h"
#include "server_process.h"

namespace fs = std::filesystem;

namespace {

using namespace tessellon;
using Clock = std::chrono::steady_clock;

constexpr int kRuns = 5;

bool HoldsATile(const std::string& folder) {
    std::error_code error;
    return fs::is_directory(folder, error) && !fs::is_empty(folder, error);
}

// Seconds from the start of `args` to the first file in `tiles`; the
// download is then stopped as Ctrl-C stops it.
double SecondsToFirstTile(const std::vector<std::string>& args, const std::string& tiles) {
    const Clock::time_point start = Clock::now();
    const pid_t pid = bench::SpawnChild(args, true);
    while (!HoldsATile(tiles) && Clock::now() - start < std::chrono::seconds(30)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    ::kill(pid, SIGINT);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!HoldsATile(tiles)) {
        throw std::runtime_error("no tile within 30 s");
    }
    return seconds;
}

void Print(const char* what, const std::vector<double>& seconds) {
    const bench::Spread s = bench::SpreadOf(seconds);
    std::printf("%s: median %.3f s (min..max %.3f..%.3f, %zu runs)\n", what, s.Median, s.Min, s.Max,
                seconds.size());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_first_request BIN_DIR SCRATCH\n");
        return 2;
    }
    const std::string bin = argv[1];
    const std::string scratch = std::string(argv[2]) + "/";
    try {
        ::unsetenv("TESSELLON_PACE_MS");
        const bench::ServerProcess server(bin, {"--fast"});
        const std::string config = scratch + "config.ini";
        WriteFileAtomic(config, "[TileService]\r\nMapHost=" + server.Host() + "\r\n");
        std::vector<double> fresh;
        std::vector<double> continued;
        for (int run = 0; run < kRuns; ++run) {
            const std::string folder = scratch + "run" + std::to_string(run) + "/";
            const std::vector<std::string> args = {bin + "/tessellon-cli",
                                                   "download",
                                                   "--name",
                                                   "huge",
                                                   "--type",
                                                   "map",
                                                   "--left",
                                                   "100",
                                                   "--right",
                                                   "120",
                                                   "--top",
                                                   "50",
                                                   "--bottom",
                                                   "30",
                                                   "--zoom",
                                                   "16",
                                                   "--path",
                                                   folder,
                                                   "--config",
                                                   config,
                                                   "--yes"};
            fresh.push_back(SecondsToFirstTile(args, folder + "huge/"));
            fs::remove_all(folder + "huge/");
            continued.push_back(SecondsToFirstTile(args, folder + "huge/"));
            fs::remove_all(folder);
        }
        Print("a new task of 17,528,946 tiles", fresh);
        Print("the same task continued", continued);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_first_request: %s\n", e.what());
        return 1;
    }
    return 0;
}
