// An unpaced download (no pauses, the timer ticking as often as it can, as
// a pace scale of 0 makes it) of a few hundred 20 KiB tiles by 8 workers from
// tessellon-tileserver --fast on loopback, against curl fetching the same URLs
// into files with `--parallel --parallel-max 8`. The sides run in turns, each
// run into a fresh folder. The folders stay until the end: ext4 passes over
// the inodes freed in the last minutes when it looks for a free one, so
// removing each run's files would slow the file creation of the runs after
// it, on either side, more than anything measured here. Reports each side's
// median tiles per second and the median of our per-pair share of curl's
// rate with its spread. Target: at least 1.0x curl.
//
// Usage: bench_unpaced_download BIN_DIR

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "child_process.h"
#include "control/download_control.h"
#include "control/run_loop.h"
#include "paired_runs.h"
#include "platform/ini_file.h"
#include "platform/queue_synchronizer.h"
#include "quiet_front_end.h"
#include "sample_fields.h"
#include "server_process.h"
#include "task/md_task.h"
#include "temp_dir.h"

namespace {

using namespace tessellon;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kPairs = 11;
static_assert(kPairs >= bench::kMinimumPairs);

// The area of the sample task at zoom 14, 16 columns wide: two columns for
// each of the 8 workers.
TaskFields AreaFields(const std::string& folder) {
    TaskFields fields = test::SampleTaskFields(folder);
    fields.TaskName = "unpaced.tsln";
    fields.RightLongitude = "116.6";
    fields.BottomLatitude = "39.6";
    fields.Zoom = "14";
    return fields;
}

class OurSide {
public:
    OurSide(const std::string& host, const std::string& binFolder) {
        IniFile(dir_.File("config.ini")).WriteString("TileService", "MapHost", host);
        settings_.ConfigFileName = dir_.File("config.ini");
        settings_.ProgramFolder = binFolder + "/";
        settings_.Pace = Pacing(0ms);
    }

    // Tiles per second of one whole task in a fresh folder; `urls` receives
    // the task's tile URLs, column by column.
    double Run(std::vector<std::string>* urls = nullptr) {
        QueueSynchronizer sync;
        bench::QuietFrontEnd frontEnd;
        DownloadControl control(settings_, frontEnd, sync);
        const std::string folder = dir_.Path() + "run" + std::to_string(runs_++) + "/";
        const auto start = Clock::now();
        if (!control.Start(AreaFields(folder))) {
            throw std::runtime_error("the task did not start");
        }
        const MDTask& task = *control.CurrentTask();
        const std::int64_t tiles = task.TotalCount;
        if (urls != nullptr) {
            for (std::int32_t x = task.MinX; x <= task.MaxX; ++x) {
                for (std::int32_t y = task.MinY; y <= task.MaxY; ++y) {
                    urls->push_back(task.GetTileUrl(x, y));
                }
            }
        }
        RunLoop(control, sync, 0ms).Run();
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (control.Outcome().FailedTiles > 0 || control.Outcome().EndedByPolicy) {
            throw std::runtime_error("the task did not download every tile");
        }
        return static_cast<double>(tiles) / seconds;
    }

private:
    test::TempDir dir_;
    DownloadSettings settings_;
    int runs_ = 0;
};

class CurlSide {
public:
    explicit CurlSide(std::vector<std::string> urls) : urls_(std::move(urls)) {}

    double Run() {
        const std::string folder = dir_.Path() + "run" + std::to_string(runs_++) + "/";
        std::filesystem::create_directory(folder);
        const std::string config = folder + "urls.txt";
        {
            std::ofstream out(config);
            for (std::size_t i = 0; i < urls_.size(); ++i) {
                out << "url = \"" << urls_[i] << "\"\noutput = \"" << folder << "tile" << i
                    << ".png\"\n";
            }
        }
        const bench::ChildRun run = bench::RunCurl({"--no-progress-meter", "--fail", "--parallel",
                                                    "--parallel-max", "8", "--config", config});
        return static_cast<double>(urls_.size()) / run.Seconds;
    }

private:
    std::vector<std::string> urls_;
    test::TempDir dir_;
    int runs_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s BIN_DIR\n", argv[0]);
        return 2;
    }
    try {
        const bench::ServerProcess server(argv[1], {"--fast"});
        OurSide ours(server.Host(), argv[1]);
        // A first run of each side warms the caches and names the URLs.
        std::vector<std::string> urls;
        ours.Run(&urls);
        CurlSide curl(urls);
        curl.Run();
        const bench::PairedFigures figures = bench::RunPairs(
            kPairs, [&] { return ours.Run(); }, [&] { return curl.Run(); });
        std::printf("tiles=%zu workers=8 | tessellon %.0f tiles/s | curl %.0f tiles/s | ratio %s\n",
                    urls.size(), bench::SpreadOf(figures.Ours).Median,
                    bench::SpreadOf(figures.Peer).Median, bench::RatioText(figures).c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_unpaced_download: %s\n", e.what());
        return 1;
    }
    return 0;
}
