#pragma once
// The driver of a download, behind the main window's Start/Stop button and
// its one-second timer: checks the typed input, continues or creates the
// task, writes its files, starts and stops the workers, saves progress, log
// and failed-tile list every fifth tick, and finishes the task when the last
// worker has ended. It holds the log lines not yet saved and the hidden
// failed-tile list; a front end supplies the field texts, shows messages,
// mirrors the lines and drives the tick.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "control/next_steps.h"
#include "control/start_checks.h"
#include "control/task_fields.h"
#include "control/task_log.h"
#include "download/down_thread.h"
#include "download/failed_list.h"
#include "download/refresh_job.h"
#include "download/server_backoff.h"
#include "platform/files.h"
#include "platform/message_sink.h"
#include "platform/process_lock.h"
#include "task/contract_texts.h"
#include "task/md_task.h"
#include "task/tile_store.h"

namespace tessellon {

// The questions a start may ask before it writes anything.
enum class StartQuestion {
    ReplaceOtherTask,  // the project of another task has that name
    HugeTask,          // more than kHugeTaskTiles tiles
};

// What the front end is told; every call comes on the main thread.
class DownloadFrontEnd : public MessageSink {
public:
    // Asks `text` (Yes / No, No the default); true to go on.
    virtual bool Confirm(StartQuestion question, const std::string& text) = 0;
    // The log window's lines were replaced (at a start): the newest of the
    // log file, led by kOlderLogLinesLine when it holds more.
    virtual void LogReplaced(const std::vector<std::string>& lines) = 0;
    // The same, with how many of the last `lines` this start wrote: all of
    // them for a new task, the continuation lines for a continued one, none
    // for a refresh. A front end that prints only what is new (the command
    // line) overrides it; a window shows the whole as LogReplaced.
    virtual void LogOpened(const std::vector<std::string>& lines, std::size_t added) {
        static_cast<void>(added);
        LogReplaced(lines);
    }
    // How many of the log file's newest lines LogOpened takes, `added` of
    // them written by this start: a window shows as many as it keeps.
    virtual std::size_t LogLinesWanted(std::size_t added) const {
        static_cast<void>(added);
        return kLogWindowLines;
    }
    virtual void LogLineAdded(const std::string& line) = 0;
    // The same for the failed-tile list.
    virtual void FailedReplaced(const std::vector<std::string>& lines) = 0;
    virtual void FailedLineAdded(const std::string& line) = 0;
    // The button caption, the total label or the timer's state changed.
    virtual void StateChanged() = 0;
    // The closing message of a run that left listed tiles blank, with the
    // choice kRetryFailedChoice beside OK; true when it was chosen. A front
    // end that cannot offer it shows the message.
    virtual bool OfferRetryFailed(const std::string& text) {
        ShowMessage(text);
        return false;
    }
    // The closing box of a run with its next steps; the step chosen, none
    // for OK. Only NextStep::RetryFailed concerns the control, which then starts the
    // task again; a front end carries out the others itself. This one
    // offers the retry alone, through OfferRetryFailed.
    virtual std::optional<NextStep> OfferNextSteps(const RunEnding& ending) {
        for (const NextStep step : ending.Steps) {
            if (step == NextStep::RetryFailed) {
                return OfferRetryFailed(ending.Text) ? std::optional(step) : std::nullopt;
            }
        }
        ShowMessage(ending.Text);
        return std::nullopt;
    }
};

// What a start does with the tiles of the failed-tile list that are still
// blank: leaves them, or fetches them first and then continues the task.
enum class ListedTiles { Leave, RetryFirst };

struct DownloadSettings {
    std::string ConfigFileName;
    // Beside which the blank images lie, ending in "/".
    std::string ProgramFolder;
    Pacing Pace;
    TNetTimeLimits TimeLimits;
    // Asked while a start writes the task's files: the command line calls a
    // start off on Ctrl-C or SIGTERM. Empty: a start runs to its end.
    StartCancelCheck StartCancelled;
    // The window makes one level of a missing save folder; the command line
    // the whole path, and takes it back when the start is refused.
    SaveFolderMaking SaveFolders = SaveFolderMaking::OneLevel;
};

struct DownloadProgress {
    std::int64_t Done = 0;  // tiles finished, this run and the runs it continues
    std::int64_t Total = 0;
    std::int64_t Failed = 0;  // records this run added to the failed-tile list
};

// How the latest download ended.
struct DownloadOutcome {
    bool Stopped = false;          // by the user
    bool EndedByPolicy = false;    // a worker gave up and ended
    bool Refused = false;          // ... one of them because the server refused it
    std::int64_t FailedTiles = 0;  // records added by this run
    // The error that ended the first worker ended by the policy.
    std::string EndError{};
    // Blank because the server has no image (404): in this run, and, when
    // it walked to its end, in the earlier runs it continues.
    std::int64_t NotFoundTiles = 0;
    // Tiles of the task listed in the failed-tile list and, when the run
    // ended, still the blank image or missing: this run's failures and
    // earlier runs' alike.
    std::int64_t StillBlank = 0;
    // What a refresh found; none for a download.
    std::optional<RefreshCounts> Refresh = std::nullopt;
};

// How far a task's walk got at one of its zooms.
struct ZoomWalk {
    int Zoom = 0;
    std::int64_t Walked = 0;  // tiles the workers have walked past, failed ones included
    std::int64_t Count = 0;   // tiles of the zoom
};

// Per zoom of `cover`, the tiles walked by workers that take every
// `workers`-th position (worker k the positions p with p % workers == k,
// numbered from 1) and have walked up to `positions[k]` (0: none yet).
std::vector<ZoomWalk> WalkedByZoom(const TileCover& cover,
                                   const std::vector<std::int64_t>& positions);

// "Zoom 12: all 12 tiles.", "Zoom 13: 30 of 42 tiles.", "Zoom 14: not
// reached (143 tiles)."
std::string ZoomWalkLine(const ZoomWalk& walk);

// "This task is already running (process N)."
std::string TaskRunningMessage(long pid);

// The line the closing box adds under "Task stoped!", and the command line
// prints after it: how the download ended. A worker ended by the failure
// policy tells most, then the user's stop, then failed tiles. `proxy`
// ("HOST:PORT", empty without one) is named in a network error, since the
// proxy may be what failed. A certificate that did not verify adds the
// reason and what to do about it. A run that leaves no blank tile ends "All
// N tiles downloaded."; otherwise the line counts the downloaded, the still
// blank (listed) and the not-found tiles.
std::string EndingLine(const DownloadOutcome& outcome, const DownloadProgress& progress,
                       const std::string& failedFileName, const std::string& proxy);

// What a fresh installation's first download is told when its built-in
// layer's host is still the default loopback address and nothing answers
// there (`endError`, the error that ended a worker, is a refused
// connection); none otherwise.
std::optional<std::string> FirstRunHint(const TaskParameters& params, const std::string& endError);

// What can follow a run that ended so: the folder, the viewer, the
// combiner and the export after a run that walked to its end (download or
// refresh), the folder after one a worker ended; and the retry whenever a
// download that the user did not stop left listed tiles blank. Nothing after
// a stop, which Start continues.
std::vector<NextStep> NextStepsAfter(const DownloadOutcome& outcome);

// The end of a refresh that walked its whole cover: "Refreshed 1,600 tiles:
// 12 changed, 1,584 unchanged, 4 kept (not on the server)." and the skipped
// and failed tiles when there are any.
std::string RefreshEndingLine(const RefreshCounts& counts);

inline constexpr const char* kStartCaption = "Start";
inline constexpr const char* kStopCaption = "Stop";

class DownloadControl : public WorkerHost {
public:
    DownloadControl(DownloadSettings settings, DownloadFrontEnd& frontEnd, Synchronizer& sync);
    // Stops a running download and saves it (see Shutdown).
    ~DownloadControl() override;
    DownloadControl(const DownloadControl&) = delete;
    DownloadControl& operator=(const DownloadControl&) = delete;

    // The button: Start while the caption is "Start", otherwise Stop.
    void BitBtn1Click(const TaskFields& fields);
    // True when the workers were started. Every start holds the lock of the
    // task's project until it finishes: a second run of the same task, in
    // this process or another, is refused before it touches anything. With
    // ListedTiles::RetryFirst the workers first fetch the tiles of the
    // failed-tile list that are still blank, then walk on.
    bool Start(const TaskFields& fields, ListedTiles listed = ListedTiles::Leave);
    // Starts the latest task again with ListedTiles::RetryFirst, as the
    // closing box's retry does; false when it did not start.
    bool RetryFailedTiles();
    // Asks every tile of the task the fields name again, which must have
    // been started before (see RefreshJob): with `olderThanSeconds`, tiles
    // fetched more recently are skipped. It continues where a stopped
    // refresh of the task ended. True when the workers were started.
    bool StartRefresh(const TaskFields& fields, std::optional<std::int64_t> olderThanSeconds);
    // Stops the workers; nothing once every tile is done, since the run is
    // then ending as a completed one.
    void Stop();
    // The second stop request, for workers that a stop cannot wake (inside
    // a name lookup of the system's, or a disk that hangs): the run finishes
    // now, saves included, with the positions the workers have reached, and
    // the workers that have not ended are left running. They still hold the
    // task, so the program ends without waiting for them, or waits in
    // Shutdown; no start is taken meanwhile. Nothing before a Stop.
    void Abandon();
    // Workers that Abandon() left running and that have not ended since.
    bool WorkersLeftRunning() const { return runningThreadCount_ > 0 && !Running(); }
    void Timer1Timer();
    // Finishes the task at once when its last worker has ended, as the next
    // tick would, saves included; nothing while a worker still runs or a
    // continued task's blank tiles of earlier runs are being counted. For the
    // front ends without a window, whose loop calls it after serving the
    // workers' calls, so a run never waits for a tick to end.
    void FinishIfWorkersEnded();
    // Stops the workers, waits for them while serving their calls, and
    // writes positions, failed-tile list and log once more, without the
    // final message. Nothing of a running download is lost when the program
    // closes.
    void Shutdown();

    const std::string& ButtonCaption() const { return caption_; }
    bool Running() const { return caption_ != kStartCaption; }
    bool TimerEnabled() const { return timerEnabled_; }
    const std::string& TotalLabel() const { return totalLabel_; }
    // The log lines the next save writes.
    const std::string& UnsavedLog() const { return log_.Unsaved(); }
    const std::vector<std::string>& Memo2() const { return memo2_; }
    const MDTask* CurrentTask() const { return task_.get(); }
    std::int32_t RunningThreadCount() const { return runningThreadCount_; }
    DownloadProgress Progress() const;
    const DownloadOutcome& Outcome() const { return outcome_; }
    // How far the latest download got at each zoom of its task, by where its
    // workers are or stopped; empty before any.
    std::vector<ZoomWalk> ZoomWalks() const;

    // WorkerHost: the workers' synchronised calls.
    void AppendLogLine(const std::string& line) override;
    void AppendFailedLine(const std::string& line) override;
    void DecreaseRunningThreadCount() override;

private:
    bool StartRun(const TaskFields& fields, bool refresh, ListedTiles listed,
                  std::optional<std::int64_t> olderThanSeconds);
    // Counts on a thread of its own the tiles earlier runs of a continued
    // task left blank unlisted, while the workers fetch.
    void CountEarlierBlanks(const std::string& blankImage);
    // The refresh's job with the validators of the store and the positions
    // of a stopped refresh. Raises EFileError when the project is unreadable.
    void PrepareRefresh(std::optional<std::int64_t> olderThanSeconds);
    std::int64_t ResumeOf(std::int32_t slot) const;
    void NoteWorkerEnds();
    // The workers have ended, and the count of earlier blanks with them
    // (unless the run was stopped, which does not wait for it).
    bool RunEnded() const;
    void Finish(bool showMessage);
    void SaveProgress();
    void SaveFailedList();
    // Runs `step` while the log is saved; throws the log's error first.
    void SaveLogWhile(const std::function<void()>& step);
    // Runs `step` while the validators the workers handed over since the
    // last save are written to the store; a store that cannot be written is
    // told once in the log.
    void SaveRecordsWhile(const std::function<void()>& step);
    void SavePositions();
    void ReleaseWorkers();
    // The order number of the last tile `worker` (in `slot`) walked, or its
    // resume number before it has walked one.
    std::int64_t PositionOf(const TDownThread& worker, std::int32_t slot) const;
    std::int64_t TilesDoneBefore() const;
    std::string BlankImagePath() const;
    // The blank image's bytes; empty when it cannot be read, so that only a
    // missing tile counts as blank.
    std::string BlankImage() const;
    bool ConfirmStart(const StartCheckResult& checked, const MDTask& task);

    DownloadSettings settings_;
    DownloadFrontEnd& frontEnd_;
    Synchronizer& sync_;

    std::string caption_ = kStartCaption;
    bool timerEnabled_ = false;
    std::string totalLabel_;
    TaskLog log_;
    std::vector<std::string> memo2_{kFailedListPlaceholder};
    // The failed-tile list as this control last found or wrote it holding
    // exactly memo2_'s lines: until a record comes or the file is removed,
    // replaced or resized, a save has nothing to write. None when unknown.
    std::optional<FileMark> failedListSaved_;

    // The latest task with the parameters it points to; kept until the next
    // successful start replaces both.
    std::unique_ptr<TaskParameters> params_;
    std::unique_ptr<MDTask> task_;
    // Writes a large task's tile list while its workers fetch; declared
    // after the task so it ends first. The reason when that failed.
    std::jthread listWriter_;
    std::string listError_;
    // What a source task's workers share when its server asks them to slow
    // down; declared before them so it outlives them.
    std::unique_ptr<ServerBackoff> backoff_;
    // The validators of a source task's saved tiles, on their way to the
    // store; and a refresh's shared state. Both outlive the workers.
    std::unique_ptr<TileRecordBatch> records_;
    bool storeFailed_ = false;
    std::unique_ptr<RefreshJob> refresh_;
    // Where this refresh started: everything up to it was done before.
    std::int64_t refreshFrom_ = 0;
    // The listed tiles fetched again first; outlives the workers.
    std::unique_ptr<FailedTileRetry> retry_;
    std::array<std::unique_ptr<TDownThread>, kThreadSlots> DownThreads;
    // Workers that Abandon() left running.
    std::vector<std::unique_ptr<TDownThread>> abandoned_;
    // Where each released worker had got to, as an order number of the cover.
    std::array<std::int64_t, kThreadSlots> releasedPositions_{};
    std::int32_t runningThreadCount_ = 0;
    std::int32_t TimerTicks = 0;

    std::int64_t doneBefore_ = 0;
    std::int64_t finishedByReleasedWorkers_ = 0;
    DownloadOutcome outcome_;
    // Held from a start until the run has finished.
    std::unique_ptr<ProcessLock> lock_;
    // The fields of the latest start, which a retry of its failed tiles
    // starts again.
    TaskFields fields_;
    // Counts what CountEarlierBlanks says, and tells when it has: a run
    // whose workers have ended finishes once it has, so that the window
    // never waits for it. Ends before the task it reads.
    std::int64_t earlierBlanks_ = 0;
    std::atomic<bool> earlierCounted_{true};
    std::jthread earlierScan_;
};

}  // namespace tessellon
