// Ctrl-C twice: a run whose workers a stop cannot wake ends at the second
// one, saved. The workers here are inside name lookups that a preloaded
// library holds for 30 s, as a name server that does not answer would.

#include <csignal>
#include <thread>

#include "cli_fixture.h"

namespace tessellon {
namespace {

using namespace std::chrono_literals;

TEST_F(Cli, ASecondInterruptEndsARunWhoseWorkersCannotStopAndSavesIt) {
    StartServer();
    environment = {"LD_PRELOAD=" TESSELLON_STALLED_LOOKUP,
                   // The preloaded library comes before the sanitizers'
                   // runtime in a sanitizer build.
                   "ASAN_OPTIONS=verify_asan_link_order=0"};
    const std::string url =
        "http://lookup.stall:" + std::to_string(server->Port()) + "/{z}/{x}/{y}.png";
    const pid_t pid = Spawn(SourceArgs("stalled.tsln", {"--url", url}));
    for (int i = 0; i < 500 && !FileExists(dir.File("maps/stalled.tsln")); ++i) {
        std::this_thread::sleep_for(10ms);
    }
    std::this_thread::sleep_for(200ms);
    ::kill(pid, SIGINT);
    std::this_thread::sleep_for(300ms);
    const auto second = std::chrono::steady_clock::now();
    ::kill(pid, SIGINT);
    const Outcome run = Wait(pid);
    EXPECT_LT(std::chrono::steady_clock::now() - second, 10s);
    EXPECT_EQ(run.status, 3) << run.err;
    EXPECT_NE(run.out.find("Task Stoped!"), std::string::npos) << run.out;
    const std::string log = ReadFileBytes(dir.File("maps/stalled_log.txt"));
    EXPECT_NE(log.find("Ended without waiting for 2 workers that had not stopped."),
              std::string::npos)
        << log;
    EXPECT_TRUE(FileExists(dir.File("maps/stalled.tsln")));
}

}  // namespace
}  // namespace tessellon
