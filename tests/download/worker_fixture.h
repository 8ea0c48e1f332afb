#pragma once
// Workers of a hand-made task against the tile server, with a host that
// records what they post and a loop that serves their calls.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "download/down_thread.h"
#include "download/server_backoff.h"
#include "download_harness.h"
#include "geo/tile_math.h"
#include "platform/files.h"
#include "task/md_task.h"

namespace tessellon::test {

class WorkerFixture : public ::testing::Test, public WorkerHost {
protected:
    void AppendLogLine(const std::string& line) override {
        log.push_back(line);
        std::int64_t finished = 0;
        for (const auto& worker : workers) {
            finished += worker->TilesFinished();
        }
        finishedAtLine.push_back(finished);
    }
    void AppendFailedLine(const std::string& line) override { failed.push_back(line); }
    void DecreaseRunningThreadCount() override { --running; }

    // Starts a server with `options` and a task of `columns` x `rows` tiles
    // (zoom 13, map layer) shared by `workerCount` workers.
    void MakeTask(int columns, int rows, int workerCount,
                  tileserver::TileServerOptions options = ServerOptions()) {
        server = std::make_unique<tileserver::TileServer>(std::move(options));
        server->Start();
        params.Zoom = 13;
        params.MapsType = kMapsTypeMap;
        params.LeftLongitude = TileXToLongitudeCenter(6742);
        params.RightLongitude = TileXToLongitudeCenter(6742 + columns - 1);
        params.TopLatitude = TileYToLatitudeCenter(3101);
        params.BottomLatitude = TileYToLatitudeCenter(3101 + rows - 1);
        params.ThreadCount = workerCount;
        params.SavePath = dir.Path();
        params.TaskName = "w.tsln";
        params.MapHost = "127.0.0.1:" + std::to_string(server->Port());
        params.SatelliteHost = params.MapHost;
        task = std::make_unique<MDTask>(&params, messages);
    }

    // Makes the task a task of the source with these keys; its Url is
    // `scheme`://the server/{z}/{x}/{y}.<Format> + `query`.
    void UseSource(SourceKeys keys, const std::string& query = "",
                   const std::string& scheme = "http") {
        std::string format = "png";
        for (const auto& [key, value] : keys) {
            if (key == "Format") {
                format = value;
            }
        }
        keys.emplace_back("Url",
                          scheme + "://" + params.MapHost + "/{z}/{x}/{y}." + format + query);
        params.MapsType = kMapsTypeSource;
        params.Source = TileSource::Read("Local", keys, "1");
    }

    // Runs workers 0..N-1 to their end; those of a source task share a
    // backoff.
    void RunWorkers(const Pacing& pace = Pacing(kPaceScale)) {
        WorkerEnvironment environment{&sync, this, pace, {}, ProgramFolder()};
        environment.TimeLimits.Connect = std::chrono::seconds(2);
        environment.TimeLimits.Idle = std::chrono::seconds(2);
        if (params.Source) {
            backoff = std::make_unique<ServerBackoff>(pace);
            environment.Backoff = backoff.get();
        }
        for (int i = 0; i < params.ThreadCount; ++i) {
            workers.push_back(std::make_unique<TDownThread>(false, i, task.get(), environment));
            ++running;
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (running > 0 && std::chrono::steady_clock::now() < deadline) {
            sync.ServePending(std::chrono::milliseconds(10));
        }
        ASSERT_EQ(running, 0) << "the workers did not end";
    }

    static double TileXToLongitudeCenter(int x) { return TileXToLongitude(x + 0.5, 13); }
    static double TileYToLatitudeCenter(int y) { return TileYToLatitude(y + 0.5, 13); }

    TempDir dir;
    std::unique_ptr<tileserver::TileServer> server;
    TaskParameters params;
    RecordingFrontEnd messages;
    std::unique_ptr<MDTask> task;
    std::unique_ptr<ServerBackoff> backoff;
    QueueSynchronizer sync;
    std::vector<std::unique_ptr<TDownThread>> workers;
    int running = 0;
    std::vector<std::string> log;
    // The tiles the workers counted as finished when each line came.
    std::vector<std::int64_t> finishedAtLine;
    std::vector<std::string> failed;
};

}  // namespace tessellon::test
