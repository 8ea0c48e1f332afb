// Memory against a hostile server: 8 workers, each fed a tile body that never
// ends (tessellon-tileserver's never-ending fault), until every worker has had
// two bodies cut at the tile limit ([IniParas] MaxTileBytes, 64 MiB by
// default). Reports the peak resident set of the downloading process (the
// server runs in a process of its own). Target: at most 600 MiB.
//
// Usage: bench_endless_body BIN_DIR

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "control/download_control.h"
#include "net/net_errors.h"
#include "platform/ini_file.h"
#include "platform/queue_synchronizer.h"
#include "quiet_front_end.h"
#include "sample_fields.h"
#include "server_process.h"
#include "temp_dir.h"

namespace {

using namespace tessellon;
using Clock = std::chrono::steady_clock;

constexpr int kWorkers = 8;
constexpr int kCutsPerWorker = 2;

// Counts, per worker, the bodies cut at the limit.
class CutCounter : public bench::QuietFrontEnd {
public:
    void LogLineAdded(const std::string& line) override {
        if (line.size() > 1 && line[0] == 'T' &&
            line.find(kReplyBodyTooLarge) != std::string::npos) {
            ++cuts[std::atoi(line.c_str() + 1)];
        }
    }

    bool EveryWorkerCut() const {
        int done = 0;
        for (const auto& [worker, count] : cuts) {
            done += count >= kCutsPerWorker ? 1 : 0;
        }
        return done == kWorkers;
    }

    std::map<int, int> cuts;
};

double PeakResidentMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s BIN_DIR\n", argv[0]);
        return 2;
    }
    const bench::ServerProcess server(argv[1], {"--fault", "never-ending:0"});
    test::TempDir dir;
    IniFile(dir.File("config.ini")).WriteString("TileService", "MapHost", server.Host());
    DownloadSettings settings;
    settings.ConfigFileName = dir.File("config.ini");
    settings.ProgramFolder = std::string(argv[1]) + "/";
    QueueSynchronizer sync;
    CutCounter frontEnd;
    DownloadControl control(settings, frontEnd, sync);
    TaskFields fields = test::SampleTaskFields(dir.Path() + "maps");
    fields.TaskName = "endless.tsln";

    const double before = PeakResidentMiB();
    const auto start = Clock::now();
    if (!control.Start(fields)) {
        return 1;
    }
    constexpr auto kLongest = std::chrono::minutes(3);
    auto nextTick = start + std::chrono::seconds(1);
    bool stopped = false;
    while (control.Running()) {
        const auto now = Clock::now();
        if (!stopped && (frontEnd.EveryWorkerCut() || now - start > kLongest)) {
            control.Stop();
            stopped = true;
        }
        if (now >= nextTick) {
            control.Timer1Timer();
            nextTick += std::chrono::seconds(1);
        }
        sync.ServePending(std::chrono::milliseconds(20));
    }
    int cuts = 0;
    for (const auto& [worker, count] : frontEnd.cuts) {
        cuts += count;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("workers=%zu bodies_cut=%d seconds=%.1f%s\n", frontEnd.cuts.size(), cuts, seconds,
                frontEnd.EveryWorkerCut() ? "" : " (not every worker reached the limit twice)");
    std::printf("peak_rss_mib=%.0f before_start_mib=%.0f (target <= 600)\n", PeakResidentMiB(),
                before);
    return frontEnd.EveryWorkerCut() ? 0 : 1;
}
