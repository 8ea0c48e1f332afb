#pragma once
// One download worker. Every worker of a task walks the whole tile range
// column by column, numbers the positions it passes, and fetches only the
// positions whose number, modulo the worker count, equals its index, skipping
// those up to the tile it finished last in an earlier run. It reaches the
// main thread only through synchronised calls: a line for the log window, a
// record for the failed-tile list, and its end. The workers of a source task
// also wait together when the server asks them to, and refuse a body that is
// not an image as their tile.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <thread>

#include "download/failure_policy.h"
#include "download/pacing.h"
#include "download/refresh_job.h"
#include "net/net_limits.h"
#include "platform/files.h"
#include "platform/stop_signal.h"
#include "platform/synchronizer.h"
#include "task/tile_cover.h"

namespace tessellon {

class EProtocolReplyError;
class FailedTileRetry;
class MDTask;
class ServerBackoff;
class THttpClient;
class TNetBuffer;
class TileRecordBatch;
struct TileValidators;

// The main window's side of the workers' synchronised calls; runs on the
// main thread only.
class WorkerHost {
public:
    virtual ~WorkerHost() = default;
    virtual void AppendLogLine(const std::string& line) = 0;
    virtual void AppendFailedLine(const std::string& line) = 0;
    virtual void DecreaseRunningThreadCount() = 0;
};

struct WorkerEnvironment {
    Synchronizer* Sync = nullptr;
    WorkerHost* Host = nullptr;
    Pacing Pace;
    TNetTimeLimits TimeLimits;
    // Folder of the program, ending in "/": the blank images lie beside it.
    std::string ProgramFolder;
    // Shared by the workers of a source task; none for a built-in task.
    ServerBackoff* Backoff = nullptr;
    // The most bytes one tile body may have.
    std::size_t MaxTileBytes = kDefaultMaxTileBytes;
    // Where a source task's workers hand the validators of the tiles they
    // save; none for a built-in task, which keeps no store.
    TileRecordBatch* Records = nullptr;
    // Set for a refresh: the workers ask each tile again (conditionally
    // where validators are known) and replace a file only when its bytes
    // changed; a tile that fails or is gone keeps its file.
    RefreshJob* Refresh = nullptr;
    // Set when listed tiles are fetched again first: the workers take them
    // before they walk on from their positions, which these tiles leave as
    // they were.
    FailedTileRetry* Retry = nullptr;
};

// How a worker's walk ended. The failure policy ends a worker either because
// the server refused its requests (302, 403), or because the network failed
// or an error left it no way on.
enum class WorkerEnd { RangeDone, Stopped, Refused, EndedByError };

class TDownThread {
public:
    // Starts the thread at once unless `createSuspended`; then Resume() does.
    TDownThread(bool createSuspended, std::int32_t threadIndex, const MDTask* task,
                const WorkerEnvironment& environment);
    // Asks the thread to stop and waits for it.
    ~TDownThread();
    TDownThread(const TDownThread&) = delete;
    TDownThread& operator=(const TDownThread&) = delete;

    void Resume();
    // The stop request: the worker leaves its walk at the next position, and
    // cuts short a pause or a retry it is in.
    void Terminate() { stop_.Request(); }
    void WaitFor();

    const std::int32_t ThreadIndex;

    // LastX and LastY with their zoom, the last tile this worker finished
    // (saved or given up with a blank image); all 0 until the first. Read as
    // one value.
    TileId LastPosition() const;
    // Tiles this run finished, saved or given up.
    std::int64_t TilesFinished() const { return tilesFinished_.load(); }
    // Tiles this run left blank because the server has no image (404).
    std::int64_t TilesNotFound() const { return tilesNotFound_.load(); }
    // Meaningful once the worker has made its WorkerDone call.
    WorkerEnd EndReason() const { return endReason_.load(); }
    // The error that ended the worker by the failure policy (EndedByError);
    // empty otherwise. Read, like EndReason, after WorkerDone.
    const std::string& EndError() const { return endError_; }
    // Whether the main thread has served the worker's WorkerDone call; read
    // on the main thread.
    bool Done() const { return done_; }

private:
    // Skipped: a refresh did not ask the tile, so no pause follows.
    enum class TileResult { Saved, GivenUp, Skipped, Refused, EndWorker, Stopped };

    // How a refresh asks a tile, with the store's record of it; a download
    // asks plainly.
    struct TilePlan {
        RefreshAsk Ask = RefreshAsk::Plain;
        std::optional<TileValidators> Known;

        // What the tile's request sends back: the validators only when it
        // is asked conditionally.
        const TileValidators* Validators() const {
            return Ask == RefreshAsk::Conditional && Known ? &*Known : nullptr;
        }
    };
    struct PlannedTile {
        TileId Tile;
        std::int64_t Seq = 0;
        // Composed once: its request may go out ahead of its turn.
        std::string Url;
        TilePlan Plan;
    };

    void Execute();
    WorkerEnd Walk();
    // A refresh's walk: the tiles the refresh hands this worker.
    WorkerEnd WalkRefresh(RefreshJob& refresh, THttpClient& http, TNetBuffer& buffer);
    // While the source is unpaced, queues the requests of the tiles ahead
    // on the kept connection, a batch at a time.
    void QueueAhead(const std::deque<PlannedTile>& planned, THttpClient& http);
    // What follows a tile: the pause after it, or the end of the walk.
    std::optional<WorkerEnd> AfterTile(TileResult result);
    // How a refresh asks a tile, the store's record of it in hand.
    TilePlan PlanTile(const TileId& tile, std::optional<TileValidators> known);
    TileResult FetchTile(const TileId& tile, std::int64_t seq, const std::string& url,
                         THttpClient& http, TNetBuffer& buffer, const TilePlan& plan);
    // Whether a source task's refused fetch, started at `fetchStarted`,
    // turns into a wait the server asked for; `waits` counts the tile's.
    bool ServerAsksToWait(const EProtocolReplyError& error, const THttpClient& http,
                          std::chrono::steady_clock::time_point fetchStarted, int& waits);
    std::chrono::milliseconds PauseAfterTile() const;
    // A refresh's handling of a reply: 304 keeps the file, other bytes
    // replace it.
    TileResult KeepRefreshed(const TileId& tile, std::int64_t seq, const THttpClient& http,
                             const TNetBuffer& buffer, const TileValidators* known);
    void Record(const TileId& tile, const THttpClient& http, std::string_view body);
    TileResult GiveUp(const FailureDecision& decision, const std::optional<std::string>& message,
                      const TileId& tile, std::int64_t seq, const std::string& url);
    void PutBlankTile(const TileId& tile, std::int64_t seq);
    void FinishTile(std::int64_t seq);
    [[nodiscard]] bool Pause(RetryPause pause);

    // A log line is handed to the main thread without waiting. A failed
    // tile's record is a synchronised call that hands LogText over: the
    // worker's position passes the tile only once the record is in the list
    // that the next save writes before the positions.
    void Post(std::string line);
    void PostFailed(const std::string& record);
    void AddLogLine(const std::string& line);
    void AddFailedLine();
    void WorkerDone();

    std::string Prefix() const {
        std::string prefix = "T";
        prefix += std::to_string(ThreadIndex + 1);
        return prefix;
    }

    const MDTask* Task;
    WorkerEnvironment environment_;
    std::string LogText;
    bool done_ = false;
    std::string blankImagePath_;
    // The blank image's bytes, for a refresh to know a blank tile.
    std::string blankImage_;
    // How a refresh looks at the tiles it plans, one folder's after another.
    FolderFileLook tileLook_;
    StopSignal stop_;
    // The order number of the last finished tile.
    std::atomic<std::int64_t> last_{0};
    // While listed tiles are fetched again: they are no position of the walk
    // and no tile of its progress.
    bool retrying_ = false;
    std::atomic<std::int64_t> tilesFinished_{0};
    std::atomic<std::int64_t> tilesNotFound_{0};
    std::atomic<WorkerEnd> endReason_{WorkerEnd::RangeDone};
    // Written by the worker before it stores endReason_.
    std::string endError_;
    std::thread thread_;
};

}  // namespace tessellon
