// Creates a task of about a million tiles and writes its four files, then
// reports the wall time and the peak memory of the process.
// Target: at most 1 s and 32 MiB.
//
// Usage: bench_task_files FOLDER
// Prints "tiles=N seconds=S peak_mib=M list=PATH".

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "geo/tile_math.h"
#include "platform/message_sink.h"
#include "task/md_task.h"

namespace {

class StderrMessages : public tessellon::MessageSink {
public:
    void ShowMessage(const std::string& text) override {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    tessellon::TaskParameters params;
    // 1000 columns by 1000 rows at zoom 13, each bound inside its tile.
    params.Zoom = 13;
    params.LeftLongitude = tessellon::TileXToLongitude(4300.5, params.Zoom);
    params.RightLongitude = tessellon::TileXToLongitude(5299.5, params.Zoom);
    params.TopLatitude = tessellon::TileYToLatitude(2700.5, params.Zoom);
    params.BottomLatitude = tessellon::TileYToLatitude(3699.5, params.Zoom);
    params.MapsType = tessellon::kMapsTypeMap;
    params.SavePath = std::string(argv[1]) + "/";
    params.TaskName = "bench.tsln";
    StderrMessages messages;

    const auto start = std::chrono::steady_clock::now();
    const tessellon::MDTask task(&params, messages);
    task.WriteProjectFile();
    task.WriteTileList();
    task.WriteLogHeader();
    task.CreateFailedList();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("tiles=%lld seconds=%.3f peak_mib=%.1f list=%s\n",
                static_cast<long long>(task.TotalCount), seconds, usage.ru_maxrss / 1024.0,
                task.ListFileName.c_str());
    return 0;
}
