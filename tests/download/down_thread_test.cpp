#include "download/down_thread.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>

#include "download/failure_policy.h"
#include "download/image_kind.h"
#include "loopback_server.h"
#include "platform/thread_policy.h"
#include "task/contract_texts.h"
#include "worker_fixture.h"

namespace tessellon {
namespace {

using namespace std::chrono_literals;
using test::CountContaining;
using test::WorkerFixture;

std::string Tile(int x, int y) {
    return "yn_" + std::to_string(x) + "_" + std::to_string(y) + "_13.png";
}

tileserver::TileServerOptions WithFault(const std::string& name, const std::string& logFile) {
    tileserver::TileServerOptions options = test::ServerOptions();
    tileserver::FaultChoice fault;
    std::string error;
    EXPECT_TRUE(tileserver::ParseFault(name, fault, error)) << error;
    options.fault = fault;
    options.log = logFile;
    return options;
}

class DownThread : public WorkerFixture {
protected:
    int RequestsServed() { return static_cast<int>(ReadTextLines(dir.File("server.log")).size()); }
    int RequestsServedSoFar() { return FileExists(dir.File("server.log")) ? RequestsServed() : 0; }
    std::string Url() { return task->GetTileUrl({task->Params->Zoom, 6742, 3101}); }

    // The worker's count of finished tiles, when each log line reached the
    // main thread, was at least `counts`: no line tells of a tile before
    // the count has it.
    void ExpectCountedByTheirLines(const std::vector<std::int64_t>& counts) const {
        ASSERT_EQ(finishedAtLine.size(), counts.size());
        for (std::size_t i = 0; i < counts.size(); ++i) {
            EXPECT_GE(finishedAtLine[i], counts[i]) << "line " << i << ": " << log[i];
        }
    }

    // Runs one worker until its first log line, stops it, and returns how
    // long it took to end from then.
    std::chrono::steady_clock::duration StopAfterTheFirstLine(
        const WorkerEnvironment& environment) {
        return StopOnceThere(environment, [&] { return !log.empty(); });
    }

    // The same once `there` holds.
    std::chrono::steady_clock::duration StopOnceThere(const WorkerEnvironment& environment,
                                                      const std::function<bool()>& there) {
        workers.push_back(std::make_unique<TDownThread>(false, 0, task.get(), environment));
        running = 1;
        while (!there()) {
            sync.ServePending(10ms);
        }
        const auto stopped = std::chrono::steady_clock::now();
        workers[0]->Terminate();
        while (running > 0) {
            sync.ServePending(10ms);
        }
        return std::chrono::steady_clock::now() - stopped;
    }
};

// What a request of a built-in task and of a source task carried: a source
// task sends the source's user agent, referer and headers, a built-in task
// the program's own user agent and nothing more.
TEST_F(DownThread, ASourceTaskSendsTheSourcesUserAgentRefererAndHeaders) {
    std::mutex lock;
    std::vector<std::string> requests;
    test::TLoopbackServer tiles([&](int fd, int) {
        std::string request = test::ReadHttpRequest(fd);
        {
            const std::lock_guard<std::mutex> guard(lock);
            requests.push_back(std::move(request));
        }
        test::SendAll(fd,
                      "HTTP/1.1 200 OK\r\nContent-Length: 8\r\nConnection: close\r\n\r\n"
                      "\x89PNG\r\n\x1a\n");
    });
    MakeTask(1, 1, 1);
    params.MapHost = "127.0.0.1:" + std::to_string(tiles.Port());
    RunWorkers();
    params.MapsType = kMapsTypeSource;
    params.Source = TileSource::Read(
        "Topo",
        {{"Url", "http://127.0.0.1:" + std::to_string(tiles.Port()) + "/{z}/{x}/{y}.png"},
         {"UserAgent", "Topo-fetcher/1"},
         {"Referer", "https://maps.example/"},
         {"Headers", "X-Api-Key: k1|Accept: image/png"}},
        "1");
    workers.clear();
    RunWorkers();
    EXPECT_TRUE(FileExists(task->ImageFolder + "tl_6742_3101_13.png"));

    ASSERT_EQ(requests.size(), 2u);
    EXPECT_NE(requests[0].find("\r\nUser-Agent: Mozilla/3.0 (compatible; Tessellon)\r\n"),
              std::string::npos)
        << requests[0];
    EXPECT_EQ(requests[0].find("Referer:"), std::string::npos);
    EXPECT_EQ(requests[1].rfind("GET /13/6742/3101.png HTTP/1.1\r\n", 0), 0u) << requests[1];
    for (const char* line :
         {"\r\nUser-Agent: Topo-fetcher/1\r\n", "\r\nReferer: https://maps.example/\r\n",
          "\r\nX-Api-Key: k1\r\n", "\r\nAccept: image/png\r\n"}) {
        EXPECT_NE(requests[1].find(line), std::string::npos) << line << requests[1];
    }
    EXPECT_EQ(requests[1].find("Mozilla"), std::string::npos);
}

TEST_F(DownThread, ThreeWorkersShareTheWalkByRunningNumber) {
    MakeTask(2, 3, 3);
    RunWorkers();
    EXPECT_EQ(CountContaining(log, "T1:seq=3," + Tile(6742, 3103) + " OK"), 1);
    EXPECT_EQ(CountContaining(log, "T1:seq=6," + Tile(6743, 3103) + " OK"), 1);
    EXPECT_EQ(CountContaining(log, "T2:seq=1," + Tile(6742, 3101) + " OK"), 1);
    EXPECT_EQ(CountContaining(log, "T2:seq=4," + Tile(6743, 3101) + " OK"), 1);
    EXPECT_EQ(CountContaining(log, "T3:seq=2," + Tile(6742, 3102) + " OK"), 1);
    EXPECT_EQ(CountContaining(log, "T3:seq=5," + Tile(6743, 3102) + " OK"), 1);
    EXPECT_EQ(CountContaining(log, " OK"), 6);
    for (const char* finished : {"T1 Finished.", "T2 Finished.", "T3 Finished."}) {
        EXPECT_EQ(CountContaining(log, finished), 1) << finished;
    }
    EXPECT_EQ(workers[0]->LastPosition().X, 6743);
    EXPECT_EQ(workers[0]->LastPosition().Y, 3103);
    EXPECT_EQ(workers[1]->TilesFinished(), 2);
    EXPECT_EQ(workers[2]->EndReason(), WorkerEnd::RangeDone);
}

TEST_F(DownThread, ASingleWorkerFetchesEveryTileInColumnOrder) {
    MakeTask(2, 3, 1);
    RunWorkers();
    const std::vector<std::string> expected = {"T1:seq=1," + Tile(6742, 3101) + " OK",
                                               "T1:seq=2," + Tile(6742, 3102) + " OK",
                                               "T1:seq=3," + Tile(6742, 3103) + " OK",
                                               "T1:seq=4," + Tile(6743, 3101) + " OK",
                                               "T1:seq=5," + Tile(6743, 3102) + " OK",
                                               "T1:seq=6," + Tile(6743, 3103) + " OK",
                                               "T1 Finished."};
    EXPECT_EQ(log, expected);
    // A progress shown beside the log counts a tile as soon as its line is in
    // (or earlier: the worker goes on while its lines wait for the main thread).
    ExpectCountedByTheirLines({1, 2, 3, 4, 5, 6, 6});
    // The file holds exactly the body the server sent.
    EXPECT_EQ(ReadFileBytes(task->GetTilePath({task->Params->Zoom, 6743, 3102})).substr(1, 3),
              "PNG");
}

TEST_F(DownThread, AWorkerResumesAfterItsSavedPosition) {
    MakeTask(2, 5, 1);
    task->SavedX[0] = 6743;  // (MinX + 1, MinY + 2): running number 8
    task->SavedY[0] = 3103;
    RunWorkers();
    const std::vector<std::string> expected = {"T1:seq=9," + Tile(6743, 3104) + " OK",
                                               "T1:seq=10," + Tile(6743, 3105) + " OK",
                                               "T1 Finished."};
    EXPECT_EQ(log, expected);
}

TEST_F(DownThread, ASavedPositionWithAZeroCoordinateMeansNone) {
    MakeTask(1, 2, 1);
    task->SavedX[0] = 6742;
    task->SavedY[0] = 0;
    RunWorkers();
    EXPECT_EQ(CountContaining(log, " OK"), 2);
}

TEST_F(DownThread, ATileNotFoundThreeTimesGetsTheBlankImageAndNoRecord) {
    MakeTask(1, 1, 1, WithFault("status-404", dir.File("server.log")));
    RunWorkers();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].rfind(std::string(kNotFoundMessage), 0), 0u) << log[0];
    EXPECT_NE(log[0].find("404"), std::string::npos);
    EXPECT_EQ(log[1], "T1:6742-3101 got a blank image!");
    EXPECT_EQ(log[2], "T1 Finished.");
    ExpectCountedByTheirLines({0, 1, 1});
    EXPECT_TRUE(failed.empty());
    EXPECT_EQ(RequestsServed(), 3);
    EXPECT_EQ(ReadFileBytes(task->GetTilePath({task->Params->Zoom, 6742, 3101})),
              ReadFileBytes(ProgramFolder() + "blankimg/blank.png"));
    EXPECT_EQ(workers[0]->LastPosition().X, 6742);
}

TEST_F(DownThread, AnExistingTileFileIsKeptWhenTheTileIsGivenUp) {
    MakeTask(1, 1, 1, WithFault("status-404", dir.File("server.log")));
    WriteFileAtomic(task->GetTilePath({task->Params->Zoom, 6742, 3101}), "an earlier tile");
    RunWorkers();
    EXPECT_EQ(ReadFileBytes(task->GetTilePath({task->Params->Zoom, 6742, 3101})),
              "an earlier tile");
    EXPECT_EQ(CountContaining(log, "got a blank image!"), 1);
}

TEST_F(DownThread, ARefusingServerEndsTheWorkerWithARecordAndTheBanMessage) {
    MakeTask(1, 2, 1, WithFault("status-403", dir.File("server.log")));
    RunWorkers();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].rfind("T1 ", 0), 0u);
    EXPECT_NE(log[0].find("403"), std::string::npos);
    EXPECT_EQ(log[0].substr(log[0].size() - Url().size() - 2), "->" + Url());
    EXPECT_EQ(log[1], "Error: may be your IP is banned.\nPlease try again later.");
    EXPECT_EQ(log[2], "T1 Finished.");
    EXPECT_EQ(failed, std::vector<std::string>{task->GetTilePath({task->Params->Zoom, 6742, 3101}) +
                                               "|" + Url()});
    EXPECT_EQ(RequestsServed(), 3);              // the second tile is never tried
    EXPECT_EQ(workers[0]->LastPosition().X, 0);  // a continued run starts at this tile
    EXPECT_EQ(workers[0]->EndReason(), WorkerEnd::Refused);
    EXPECT_FALSE(FileExists(task->GetTilePath({task->Params->Zoom, 6742, 3101})));
}

TEST_F(DownThread, ARefusedConnectionEndsTheWorkerWithTheNetworkMessage) {
    MakeTask(1, 1, 1);
    const int port = server->Port();
    server->Stop();  // nothing listens there any more
    params.MapHost = "127.0.0.1:" + std::to_string(port);
    RunWorkers();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0], "T1 Socket Error # 10061\r\nConnection refused.->" + Url());
    EXPECT_EQ(log[1], "Error: Your network has problem, please check it.");
    EXPECT_EQ(failed.size(), 1u);
    EXPECT_EQ(workers[0]->EndReason(), WorkerEnd::EndedByError);
}

TEST_F(DownThread, AnUnavailableServerGivesTheTileUpWithARecordAndGoesOn) {
    MakeTask(1, 2, 1, WithFault("status-503", dir.File("server.log")));
    RunWorkers();
    EXPECT_EQ(CountContaining(log, "503"), 2);
    EXPECT_EQ(CountContaining(log, "got a blank image!"), 2);
    EXPECT_EQ(failed.size(), 2u);
    EXPECT_EQ(RequestsServed(), 6);
    EXPECT_EQ(workers[0]->EndReason(), WorkerEnd::RangeDone);
}

TEST_F(DownThread, TwoResetsAndAnUnavailableServerGiveTheTileUpAfterTheThirdAttempt) {
    tileserver::TileServerOptions options = test::ServerOptions();
    for (const char* name : {"reset", "reset", "status-503"}) {
        tileserver::FaultChoice fault;
        std::string error;
        ASSERT_TRUE(tileserver::ParseFault(name, fault, error)) << error;
        options.faultSequence.push_back(fault);
    }
    options.log = dir.File("server.log");
    MakeTask(1, 1, 1, options);
    RunWorkers();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].rfind("T1 ", 0), 0u);
    EXPECT_NE(log[0].find("503"), std::string::npos) << log[0];
    EXPECT_EQ(log[1], "T1:6742-3101 got a blank image!");
    EXPECT_EQ(failed.size(), 1u);
    EXPECT_EQ(RequestsServed(), 3);
}

TEST_F(DownThread, ATileThatCannotBeWrittenIsLoggedRecordedAndTheWalkGoesOn) {
    MakeTask(1, 2, 1);
    ASSERT_TRUE(CreateDirectoryOneLevel(
        task->GetTilePath({task->Params->Zoom, 6742, 3101})));  // in the file's way
    RunWorkers();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(
        log[0].rfind(
            "T1 Cannot create file \"" + task->GetTilePath({task->Params->Zoom, 6742, 3101}), 0),
        0u)
        << log[0];
    EXPECT_EQ(log[1], "T1:seq=2," + Tile(6742, 3102) + " OK");
    EXPECT_EQ(log[2], "T1 Finished.");
    EXPECT_EQ(failed.size(), 1u);
}

TEST_F(DownThread, AProxyPortThatIsNotANumberEndsTheWorkerWithItsLines) {
    MakeTask(1, 1, 1);
    params.UseProxy = true;
    params.ProxyServer = "127.0.0.1";
    params.ProxyPort = "31x8";
    RunWorkers();
    EXPECT_EQ(log,
              (std::vector<std::string>{"T1 '31x8' is not a valid integer value", "T1 Finished."}));
}

TEST_F(DownThread, StopCutsThePauseAfterATileShort) {
    MakeTask(1, 3, 1);
    Pacing slow(test::kPaceScale);
    slow.AfterTile = 20s;
    WorkerEnvironment environment{&sync, this, slow, {}, ProgramFolder()};
    EXPECT_LT(StopAfterTheFirstLine(environment), 5s);
    EXPECT_EQ(log,
              (std::vector<std::string>{"T1:seq=1," + Tile(6742, 3101) + " OK", "T1 Finished."}));
    EXPECT_EQ(workers[0]->EndReason(), WorkerEnd::Stopped);
}

TEST_F(DownThread, StopCutsARetryPauseShortAndLeavesTheTileForLater) {
    MakeTask(1, 1, 1, WithFault("status-503", dir.File("server.log")));
    Pacing slow(test::kPaceScale);
    slow.Retry = 20s;
    WorkerEnvironment environment{&sync, this, slow, {}, ProgramFolder()};
    EXPECT_LT(StopOnceThere(environment, [&] { return RequestsServedSoFar() >= 1; }), 5s);
    EXPECT_EQ(log, std::vector<std::string>{"T1 Finished."});
    EXPECT_TRUE(failed.empty());
    EXPECT_EQ(workers[0]->LastPosition().X, 0);  // not finished: fetched again next time
}

// A server that takes the connection and stalls: it never answers the TLS
// hello, or drips its reply a byte every 20 s. Neither runs into the time
// limits soon, so only a stop that wakes the socket's wait ends the worker.
TEST_F(DownThread, StopEndsAWorkerWaitingOnAStalledServerAtOnce) {
    for (const bool tls : {true, false}) {
        SCOPED_TRACE(tls ? "stalled handshake" : "dripping reply");
        log.clear();
        workers.clear();
        std::atomic<int> stalling{0};
        std::unique_ptr<test::TLoopbackServer> stalled;
        stalled = std::make_unique<test::TLoopbackServer>([&](int fd, int) {
            if (!tls) {
                test::ReadHttpRequest(fd);
            }
            ++stalling;
            while (!stalled->Stopping()) {
                if (!tls) {
                    test::SendAll(fd, "H");
                }
                stalled->Pause(20000);
            }
        });
        MakeTask(1, 1, 1);
        params.MapHost = "127.0.0.1:" + std::to_string(stalled->Port());
        UseSource({}, "", tls ? "https" : "http");
        WorkerEnvironment environment{&sync, this, Pacing(test::kPaceScale), {}, ProgramFolder()};
        environment.TimeLimits.Idle = 60s;
        EXPECT_LT(StopOnceThere(environment, [&] { return stalling > 0; }), 5s);
        EXPECT_EQ(log, std::vector<std::string>{"T1 Finished."});
        EXPECT_TRUE(failed.empty());
        EXPECT_EQ(workers[0]->EndReason(), WorkerEnd::Stopped);
        EXPECT_EQ(workers[0]->LastPosition().X, 0);  // fetched again next time
    }
}

// The scheduling policy and nice value of each thread of this process; one
// that ends meanwhile is left out.
std::vector<std::pair<int, int>> ThreadPolicies() {
    std::vector<std::pair<int, int>> policies;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        const auto thread = static_cast<pid_t>(std::stoi(entry.path().filename().string()));
        errno = 0;
        const int nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(thread));
        const int policy = ::sched_getscheduler(thread);
        if (errno == ESRCH) {
            continue;
        }
        EXPECT_EQ(errno, 0);
        policies.emplace_back(policy, nice);
    }
    return policies;
}

// A worker is woken for every reply; its wakeups must not preempt the thread
// that runs (on one machine, often the server that sent the reply). Its
// nice value, and so its share of the processor, stays the program's; a
// worker started under another policy (idle time only) keeps it.
TEST_F(DownThread, WorkersRunAsBulkWorkAtTheProgramsNiceValue) {
    const int ownPolicy = ::sched_getscheduler(0);
    const int ownNice = ::getpriority(PRIO_PROCESS, 0);
    if (ownPolicy != SCHED_OTHER) {
        GTEST_SKIP() << "the tests run under another policy already";
    }
    int granted = -1;
    std::thread([&] {
        RunThisThreadAsBulkWork();
        granted = ::sched_getscheduler(0);
    }).join();
    if (granted != SCHED_BATCH) {
        GTEST_SKIP() << "the system refuses the batch policy here";
    }
    for (const int started : {SCHED_OTHER, SCHED_IDLE}) {
        SCOPED_TRACE(started == SCHED_IDLE ? "started idle" : "started ordinary");
        std::atomic<int> waiting{0};
        std::unique_ptr<test::TLoopbackServer> stalled;
        stalled = std::make_unique<test::TLoopbackServer>([&](int fd, int) {
            test::ReadHttpRequest(fd);
            ++waiting;
            while (!stalled->Stopping()) {
                stalled->Pause(20000);
            }
        });
        workers.clear();
        MakeTask(2, 1, 2);
        params.MapHost = "127.0.0.1:" + std::to_string(stalled->Port());
        UseSource({});
        const WorkerEnvironment environment{
            &sync, this, Pacing(test::kPaceScale), {}, ProgramFolder()};
        // A thread's policy passes to the threads it starts.
        std::thread([&] {
            const sched_param none{};
            ASSERT_EQ(::pthread_setschedparam(::pthread_self(), started, &none), 0);
            for (int i = 0; i < 2; ++i) {
                workers.push_back(std::make_unique<TDownThread>(false, i, task.get(), environment));
                ++running;
            }
        }).join();
        ASSERT_EQ(std::ssize(workers), 2);
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (waiting < 2 && std::chrono::steady_clock::now() < deadline) {
            sync.ServePending(10ms);
        }
        ASSERT_EQ(waiting, 2) << "the workers did not reach the server";
        const std::vector<std::pair<int, int>> policies = ThreadPolicies();
        for (const auto& worker : workers) {
            worker->Terminate();
        }
        while (running > 0) {
            sync.ServePending(10ms);
        }
        const int expected = started == SCHED_OTHER ? SCHED_BATCH : SCHED_IDLE;
        EXPECT_EQ(std::count(policies.begin(), policies.end(), std::pair(expected, ownNice)), 2);
        EXPECT_EQ(std::count(policies.begin(), policies.end(), std::pair(ownPolicy, ownNice)),
                  std::ssize(policies) - 2);
    }
}

// What a source task's server asks of its workers, and what it may send in
// place of a tile.
class SourceWorkers : public DownThread {
protected:
    std::string SourceTile(int x, int y, const std::string& format = "png") {
        return "tl_" + std::to_string(x) + "_" + std::to_string(y) + "_13." + format;
    }
};

const char* const kPngReply =
    "HTTP/1.1 200 OK\r\nContent-Length: 8\r\nConnection: close\r\n\r\n\x89PNG\r\n\x1a\n";

TEST_F(SourceWorkers, ARetryAfterHoldsEveryWorkerAndIsLoggedOnce) {
    using Clock = std::chrono::steady_clock;
    std::mutex lock;
    std::vector<Clock::time_point> arrivals;
    test::TLoopbackServer tiles([&](int fd, int) {
        test::ReadHttpRequest(fd);
        bool first = false;
        {
            const std::lock_guard<std::mutex> guard(lock);
            arrivals.push_back(Clock::now());
            first = arrivals.size() == 1;
        }
        test::SendAll(fd, first ? "HTTP/1.1 429 Too Many Requests\r\nRetry-After: 60\r\n"
                                  "Content-Length: 0\r\nConnection: close\r\n\r\n"
                                : kPngReply);
    });
    MakeTask(1, 3, 3);
    params.MapHost = "127.0.0.1:" + std::to_string(tiles.Port());
    UseSource({{"Workers", "3"}});
    Pacing pace(test::kPaceScale);
    pace.StartOffset = 100ms;  // the later workers start while the first is held
    RunWorkers(pace);

    EXPECT_EQ(CountContaining(log, "Server asks to wait"), 1);
    EXPECT_EQ(CountContaining(log, "Server asks to wait 60 s (429 Too Many Requests)."), 1);
    EXPECT_EQ(CountContaining(log, " OK"), 3);
    EXPECT_TRUE(failed.empty());
    ASSERT_EQ(arrivals.size(), 4u);
    // Sixty server seconds of 5 ms from the refusal.
    for (std::size_t i = 1; i < arrivals.size(); ++i) {
        EXPECT_GE(arrivals[i] - arrivals[0], 300ms) << i;
    }
}

TEST_F(SourceWorkers, WaitsAreNotAttemptsButATileGetsFiveOfThem) {
    tileserver::TileServerOptions options = test::ServerOptions();
    for (int i = 0; i < 7; ++i) {
        tileserver::FaultChoice fault;
        std::string error;
        ASSERT_TRUE(tileserver::ParseFault("retry-after-503:0", fault, error)) << error;
        options.faultSequence.push_back(fault);
    }
    options.log = dir.File("server.log");
    MakeTask(1, 2, 1, options);
    UseSource({});
    RunWorkers();
    // Five waits, then two attempts that the table retries, then the tile.
    const std::string wait = "Server asks to wait 0 s (503 Service Unavailable).";
    const std::vector<std::string> expected = {wait,
                                               wait,
                                               wait,
                                               wait,
                                               wait,
                                               "T1:seq=1," + SourceTile(6742, 3101) + " OK",
                                               "T1:seq=2," + SourceTile(6742, 3102) + " OK",
                                               "T1 Finished."};
    EXPECT_EQ(log, expected);
    EXPECT_EQ(RequestsServed(), 9);
}

TEST_F(SourceWorkers, AServerThatKeepsAskingToWaitGetsTheTileGivenUp) {
    MakeTask(1, 1, 1, WithFault("retry-after-429:0", dir.File("server.log")));
    UseSource({});
    RunWorkers();
    ASSERT_EQ(log.size(), 8u);
    EXPECT_EQ(CountContaining(log, "Server asks to wait 0 s (429 Too Many Requests)."), 5);
    EXPECT_EQ(log[5], "T1 429 Too Many Requests->" + Url());
    EXPECT_EQ(log[6], "T1:6742-3101 got a blank image!");
    EXPECT_EQ(failed.size(), 1u);
    EXPECT_EQ(RequestsServed(), 8);
    // Refusals that carried a wait leave the pause after a tile alone.
    EXPECT_EQ(backoff->PauseAfterTile(), test::kPaceScale);
}

TEST_F(SourceWorkers, A429WithoutRetryAfterDoublesThePauseAndA503DoesNot) {
    tileserver::TileServerOptions options = test::ServerOptions();
    for (const char* name : {"status-429", "no-retry-after-503"}) {
        tileserver::FaultChoice fault;
        std::string error;
        ASSERT_TRUE(tileserver::ParseFault(name, fault, error)) << error;
        options.faultSequence.push_back(fault);
    }
    MakeTask(1, 1, 1, options);
    UseSource({});
    RunWorkers();
    EXPECT_EQ(log, (std::vector<std::string>{"T1:seq=1," + SourceTile(6742, 3101) + " OK",
                                             "T1 Finished."}));
    EXPECT_EQ(backoff->PauseAfterTile(), 2 * test::kPaceScale);
}

TEST_F(SourceWorkers, AnErrorPageIsNeverSavedAsATile) {
    // A built-in task keeps whatever its service sends.
    MakeTask(1, 1, 1, WithFault("html-error-page", dir.File("server.log")));
    RunWorkers();
    EXPECT_EQ(CountContaining(log, " OK"), 1);

    workers.clear();
    log.clear();
    UseSource({});
    RunWorkers();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].rfind("T1 Not an image (text/html, ", 0), 0u) << log[0];
    EXPECT_NE(log[0].find(" bytes).->" + Url()), std::string::npos) << log[0];
    EXPECT_EQ(log[1], "T1:6742-3101 got a blank image!");
    EXPECT_EQ(failed, std::vector<std::string>{task->GetTilePath({task->Params->Zoom, 6742, 3101}) +
                                               "|" + Url()});
    EXPECT_EQ(RequestsServed(), 1 + 3);
    EXPECT_EQ(ReadFileBytes(task->GetTilePath({task->Params->Zoom, 6742, 3101})),
              ReadFileBytes(ProgramFolder() + "blankimg/blank.png"));
}

TEST_F(SourceWorkers, AGivenUpTileGetsTheBlankOfItsSourcesFormat) {
    for (const char* format : {"jpg", "webp", "pbf"}) {
        MakeTask(1, 1, 1, WithFault("status-404", ""));
        UseSource({{"Format", format}});
        workers.clear();
        RunWorkers();
        const std::string path = task->GetTilePath({task->Params->Zoom, 6742, 3101});
        EXPECT_EQ(path.substr(path.size() - SourceTile(6742, 3101, format).size()),
                  SourceTile(6742, 3101, format));
        ASSERT_TRUE(FileExists(path)) << format;
        EXPECT_EQ(ReadFileBytes(path),
                  ReadFileBytes(ProgramFolder() + "blankimg/blank." + std::string(format)));
    }
    EXPECT_EQ(DetectImageKind(ReadFileBytes(ProgramFolder() + "blankimg/blank.webp")),
              ImageKind::WebP);
}

TEST_F(SourceWorkers, AnUntrustedCertificateEndsTheWorkerAtOnce) {
    tileserver::TileServerOptions options = test::ServerOptions();
    options.tls = true;
    MakeTask(1, 2, 1, options);
    UseSource({}, "", "https");
    RunWorkers();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].rfind("T1 TLS handshake failed: ", 0), 0u) << log[0];
    EXPECT_EQ(log[0].substr(log[0].size() - Url().size() - 2), "->" + Url());
    EXPECT_EQ(log[1], kNetworkMessage);
    EXPECT_EQ(log[2], "T1 Finished.");
    EXPECT_EQ(failed.size(), 1u);
    EXPECT_EQ(workers[0]->EndReason(), WorkerEnd::EndedByError);
    EXPECT_FALSE(FileExists(task->GetTilePath({task->Params->Zoom, 6742, 3101})));
    EXPECT_FALSE(FileExists(task->GetTilePath({task->Params->Zoom, 6742, 3102})));
}

TEST_F(SourceWorkers, StopCutsTheServersWaitShortAndLeavesTheTileForLater) {
    MakeTask(1, 1, 1, WithFault("retry-after-503:600", dir.File("server.log")));
    UseSource({});
    Pacing slow(test::kPaceScale);
    slow.Second = 1s;
    WorkerEnvironment environment{&sync, this, slow, {}, ProgramFolder()};
    backoff = std::make_unique<ServerBackoff>(slow);
    environment.Backoff = backoff.get();
    EXPECT_LT(StopAfterTheFirstLine(environment), 5s);
    EXPECT_EQ(log, (std::vector<std::string>{"Server asks to wait 600 s (503 Service Unavailable).",
                                             "T1 Finished."}));
    EXPECT_TRUE(failed.empty());
    EXPECT_EQ(workers[0]->LastPosition().X, 0);
    EXPECT_EQ(RequestsServed(), 1);
}

}  // namespace
}  // namespace tessellon
