// The pace of a real download: 8 workers with the program's own pauses
// against tessellon-tileserver on loopback. Reports the tiles per second
// reached beside the limit N / (1 s + mean fetch time), and the CPU time per
// tile of the downloading process (the server runs in a process of its own).
// Target: at least 99% of the limit.
//
// Usage: bench_download_rate BIN_DIR

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>

#include "control/download_control.h"
#include "net/http_client.h"
#include "platform/ini_file.h"
#include "platform/queue_synchronizer.h"
#include "quiet_front_end.h"
#include "sample_fields.h"
#include "server_process.h"
#include "temp_dir.h"

namespace {

using namespace tessellon;
using Clock = std::chrono::steady_clock;

// Log lines with the moment they arrived.
class TimingFrontEnd : public bench::QuietFrontEnd {
public:
    void LogLineAdded(const std::string& line) override {
        if (line.size() < 2 || line[0] != 'T') {
            return;
        }
        const int worker = std::atoi(line.c_str() + 1);
        if (line.find(" OK") != std::string::npos) {
            ++tiles[worker];
        } else if (line.find(" Finished.") != std::string::npos) {
            finished[worker] = Clock::now();
        }
    }

    std::map<int, int> tiles;
    std::map<int, Clock::time_point> finished;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s BIN_DIR\n", argv[0]);
        return 2;
    }
    const bench::ServerProcess server(argv[1], {});
    const std::string host = server.Host();

    // The mean time of one fetch, on a kept connection as the workers have.
    THttpClient http;
    TNetBuffer body;
    constexpr int kProbes = 200;
    const auto probeStart = Clock::now();
    for (int i = 0; i < kProbes; ++i) {
        body.Clear();
        http.GetUrl(
            "http://" + host + "/hx/tl?v=4.3&r=1&x=" + std::to_string(7000 + i) + "&y=900&z=14",
            body);
    }
    const double meanFetch =
        std::chrono::duration<double>(Clock::now() - probeStart).count() / kProbes;

    test::TempDir dir;
    IniFile(dir.File("config.ini")).WriteString("TileService", "MapHost", host);
    DownloadSettings settings;
    settings.ConfigFileName = dir.File("config.ini");
    settings.ProgramFolder = std::string(argv[1]) + "/";
    QueueSynchronizer sync;
    TimingFrontEnd frontEnd;
    DownloadControl control(settings, frontEnd, sync);
    // The sample area stretched to 8 columns by 12 rows: 12 tiles for each
    // of the 8 workers.
    TaskFields fields = test::SampleTaskFields(dir.Path() + "maps");
    fields.TaskName = "rate.tsln";
    fields.RightLongitude = "116.6";
    fields.BottomLatitude = "39.6";

    const double cpuBefore = bench::CpuSeconds();
    const auto start = Clock::now();
    if (!control.Start(fields)) {
        return 1;
    }
    auto nextTick = start + std::chrono::seconds(1);
    while (control.Running()) {
        if (Clock::now() >= nextTick) {
            control.Timer1Timer();
            nextTick += std::chrono::seconds(1);
        }
        sync.ServePending(std::chrono::milliseconds(20));
    }
    const double cpu = bench::CpuSeconds() - cpuBefore;

    // Each worker's rate over its own run: from its start offset to its end.
    double rate = 0;
    int tiles = 0;
    for (const auto& [worker, count] : frontEnd.tiles) {
        const double seconds =
            std::chrono::duration<double>(frontEnd.finished[worker] - start).count() -
            0.1 * (worker - 1);
        rate += count / seconds;
        tiles += count;
    }
    const double workers = static_cast<double>(frontEnd.tiles.size());
    const double limit = workers / (1.0 + meanFetch);
    std::printf("tiles=%d workers=%.0f mean_fetch_ms=%.2f\n", tiles, workers, meanFetch * 1000);
    std::printf("rate=%.3f tiles/s limit=%.3f tiles/s share=%.2f%% (target >= 99%%)\n", rate, limit,
                100 * rate / limit);
    std::printf("cpu_per_tile_us=%.0f\n", 1e6 * cpu / tiles);
    return 0;
}
