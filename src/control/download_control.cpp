#include "control/download_control.h"

#include <algorithm>
#include <exception>
#include <set>
#include <thread>
#include <utility>
#include <variant>

#include "control/start_checks.h"
#include "download/failed_list.h"
#include "net/net_errors.h"
#include "platform/files.h"
#include "platform/text_format.h"
#include "task/contract_texts.h"

namespace tessellon {

namespace {

constexpr int kSaveEveryTicks = 5;
// How the network library words a refused connection (ECONNREFUSED).
constexpr const char* kConnectionRefusedError = "Socket Error # 10061";

std::optional<FileMark> MarkIfAny(const std::string& path) {
    try {
        return MarkOfFile(path);
    } catch (const EFileError&) {
        return std::nullopt;
    }
}

}  // namespace

DownloadControl::DownloadControl(DownloadSettings settings, DownloadFrontEnd& frontEnd,
                                 Synchronizer& sync)
    : settings_(std::move(settings)), frontEnd_(frontEnd), sync_(sync) {}

DownloadControl::~DownloadControl() {
    Shutdown();
}

void DownloadControl::BitBtn1Click(const TaskFields& fields) {
    if (caption_ == kStartCaption) {
        Start(fields);
    } else {
        Stop();
    }
}

std::string TaskRunningMessage(long pid) {
    return "This task is already running (process " + std::to_string(pid) + ").";
}

bool DownloadControl::Start(const TaskFields& fields, ListedTiles listed) {
    return StartRun(fields, false, listed, std::nullopt);
}

bool DownloadControl::StartRefresh(const TaskFields& fields,
                                   std::optional<std::int64_t> olderThanSeconds) {
    return StartRun(fields, true, ListedTiles::Leave, olderThanSeconds);
}

bool DownloadControl::StartRun(const TaskFields& fields, bool refresh, ListedTiles listed,
                               std::optional<std::int64_t> olderThanSeconds) {
    const Configuration config(settings_.ConfigFileName);
    StartCheckResult checked = CheckStartInput(fields, config, settings_.SaveFolders);
    if (checked.Message) {
        frontEnd_.ShowMessage(*checked.Message);
        return false;
    }
    // Declared before the lock, whose file lies in these folders.
    FolderTakeBack takeBack(std::move(checked.MadeFolders));
    if (refresh && !checked.Params->ContinueTask) {
        frontEnd_.ShowMessage("There is no downloaded task " + checked.Params->TaskName + " in " +
                              checked.Params->SavePath + " to refresh.");
        return false;
    }
    if (WorkersLeftRunning()) {
        frontEnd_.ShowMessage("The workers of the stopped run have not ended yet.");
        return false;
    }
    std::unique_ptr<ProcessLock> lock;
    try {
        auto taken =
            ProcessLock::Take(checked.Params->SavePath + checked.Params->TaskName + ".lock");
        if (const auto* held = std::get_if<ProcessLock::HeldBy>(&taken)) {
            frontEnd_.ShowMessage(TaskRunningMessage(held->Pid));
            return false;
        }
        lock = std::move(std::get<std::unique_ptr<ProcessLock>>(taken));
    } catch (const EFileError& e) {
        frontEnd_.ShowMessage(e.what());
        return false;
    }
    runningThreadCount_ = 0;

    std::unique_ptr<MDTask> task;
    try {
        task = std::make_unique<MDTask>(checked.Params.get(), frontEnd_);
    } catch (const ETooManyTilesError& e) {
        frontEnd_.ShowMessage(e.what());
        return false;
    } catch (const std::exception&) {
        frontEnd_.ShowMessage("Error: Create task failure.");
        return false;
    }
    if (!refresh && !ConfirmStart(checked, *task)) {
        task->RemoveMadeImageFolder();
        return false;
    }
    // The new task replaces the old one only now that it exists; no worker of
    // the old one is left (they were released when it finished).
    params_ = std::move(checked.Params);
    task_ = std::move(task);
    params_->ThreadCount =
        static_cast<std::int32_t>(std::min<std::int64_t>(params_->ThreadCount, task_->TotalCount));

    std::vector<std::string> shownLog;
    std::size_t addedLogLines = 0;
    refresh_.reset();
    try {
        if (refresh) {
            PrepareRefresh(olderThanSeconds);
        } else {
            const bool continuesLog = params_->ContinueTask && FileExists(task_->LogFileName);
            task_->WriteTaskFiles(settings_.StartCancelled);
            addedLogLines = continuesLog ? task_->LogContinueLines().size() : std::string::npos;
        }
        shownLog = log_.Open(task_->LogFileName, task_->LogHeadLines(),
                             frontEnd_.LogLinesWanted(addedLogLines));
        addedLogLines = std::min(addedLogLines, shownLog.size());
        memo2_ = ReadTextLines(task_->FailedFileName);
        // An empty file is what an empty list writes.
        failedListSaved_ = MarkIfAny(task_->FailedFileName);
        if (failedListSaved_ && failedListSaved_->Size != 0) {
            failedListSaved_.reset();
        }
    } catch (const std::exception& e) {
        // Called off or failed, the start leaves nothing of its own behind.
        task_->RemoveMadeImageFolder();
        frontEnd_.ShowMessage(e.what());
        return false;
    }
    lock_ = std::move(lock);
    takeBack.Keep();
    fields_ = fields;
    frontEnd_.LogOpened(shownLog, addedLogLines);
    if (refresh_) {
        AppendLogLine("");
        AppendLogLine("Refresh started: " + LocalDateTimeText());
    }
    frontEnd_.FailedReplaced(memo2_);
    totalLabel_ = "Total images: " + std::to_string(task_->TotalCount);
    caption_ = kStopCaption;

    outcome_ = DownloadOutcome{};
    doneBefore_ = TilesDoneBefore();
    finishedByReleasedWorkers_ = 0;
    retry_.reset();
    if (!refresh_) {
        const std::string blankImage = BlankImage();
        if (listed == ListedTiles::RetryFirst) {
            std::vector<TileId> tiles = StillBlankListedTiles(memo2_, *task_, blankImage);
            if (!tiles.empty()) {
                AppendLogLine("Fetching again the " + GroupedNumber(std::ssize(tiles)) +
                              " tiles of " + task_->FailedFileName + " that are still blank.");
                retry_ = std::make_unique<FailedTileRetry>(std::move(tiles));
            }
        }
        CountEarlierBlanks(blankImage);
    }
    WorkerEnvironment environment{&sync_, this, TaskPacing(params_->Source, settings_.Pace),
                                  settings_.TimeLimits, settings_.ProgramFolder};
    backoff_ = params_->Source ? std::make_unique<ServerBackoff>(environment.Pace) : nullptr;
    environment.Backoff = backoff_.get();
    environment.MaxTileBytes = config.ReadMaxTileBytes();
    // The built-in services keep their files as they were: no store.
    records_ = params_->Source ? std::make_unique<TileRecordBatch>(task_->Cover.Count()) : nullptr;
    storeFailed_ = false;
    environment.Records = records_.get();
    environment.Refresh = refresh_.get();
    environment.Retry = retry_.get();
    for (std::int32_t i = 0; i < params_->ThreadCount; ++i) {
        DownThreads[static_cast<std::size_t>(i)] =
            std::make_unique<TDownThread>(false, i, task_.get(), environment);
        ++runningThreadCount_;
    }
    if (task_->TileListWrittenBeside()) {
        listWriter_ = std::jthread([this](const std::stop_token& stop) {
            try {
                task_->WriteTileList([&stop] { return stop.stop_requested(); });
            } catch (const EStartCancelled&) {
                // Stopped before it was whole: the next start writes it.
            } catch (const std::exception& e) {
                listError_ = e.what();
            }
        });
    }
    timerEnabled_ = true;
    TimerTicks = 0;
    frontEnd_.StateChanged();
    return true;
}

// Replacing another task's project and starting a huge task need a Yes. A
// continued task was agreed to when it first started.
bool DownloadControl::ConfirmStart(const StartCheckResult& checked, const MDTask& task) {
    const TaskParameters& params = *checked.Params;
    if (checked.ReplacesOtherTask &&
        !frontEnd_.Confirm(StartQuestion::ReplaceOtherTask, ReplaceTaskQuestion(params.TaskName))) {
        return false;
    }
    if (params.ContinueTask) {
        return true;
    }
    const auto question = HugeTaskQuestion(EstimateTask(
        task.TotalCount, params.ThreadCount, PauseAfterTile(params.Source, settings_.Pace)));
    return !question || frontEnd_.Confirm(StartQuestion::HugeTask, *question);
}

void DownloadControl::PrepareRefresh(std::optional<std::int64_t> olderThanSeconds) {
    const ProjectContents contents = task_->Project().Read();
    std::optional<std::int64_t> askFetchedBefore;
    if (olderThanSeconds) {
        askFetchedBefore = NowUnix() - *olderThanSeconds;
    }
    const std::string store = TileStore::PathForProject(task_->ProjectFileName());
    refresh_ = std::make_unique<RefreshJob>(store, askFetchedBefore);
    // Every slot holds the position everything up to which is done. An
    // older refresh saved where each slot's own tiles (every N-th) stood:
    // the least of those is done all the way.
    std::int64_t finishedUpTo = 0;
    for (std::int32_t k = 0; k < params_->ThreadCount; ++k) {
        const std::int64_t seq = contents.RefreshPosition(k + 1);
        // A position past the cover is no position of this task.
        const std::int64_t done = seq <= task_->TotalCount ? seq : 0;
        finishedUpTo = k == 0 ? done : std::min(finishedUpTo, done);
    }
    refresh_->WalkFrom(task_->Cover, finishedUpTo);
    refreshFrom_ = finishedUpTo;
}

std::int64_t DownloadControl::ResumeOf(std::int32_t slot) const {
    return refresh_ ? refreshFrom_ : task_->ResumeNumber(slot);
}

std::string DownloadControl::BlankImagePath() const {
    return settings_.ProgramFolder + "blankimg/blank." + task_->GetTileExtension();
}

std::string DownloadControl::BlankImage() const {
    try {
        return ReadFileBytes(BlankImagePath());
    } catch (const EFileError&) {
        return {};
    }
}

// Only a continued task has tiles of earlier runs; this run's own 404s are
// counted by its workers.
void DownloadControl::CountEarlierBlanks(const std::string& blankImage) {
    earlierBlanks_ = 0;
    if (doneBefore_ == 0) {
        return;
    }
    std::vector<std::int64_t> resume;
    for (std::int32_t k = 0; k < params_->ThreadCount; ++k) {
        resume.push_back(ResumeOf(k));
    }
    std::set<std::string> listed;
    for (const std::string& line : memo2_) {
        if (const auto record = ParseFailedRecord(line)) {
            listed.insert(record->Path);
        }
    }
    earlierCounted_ = false;
    earlierScan_ = std::jthread([this, resume = std::move(resume), listed = std::move(listed),
                                 blankImage](const std::stop_token& stop) {
        try {
            earlierBlanks_ = CountEarlierUnlistedBlanks(*task_, resume, listed, blankImage, stop);
        } catch (const std::exception&) {
            // Then the ending counts this run's blank tiles only.
        }
        earlierCounted_ = true;
    });
}

// Tiles of a continued task that its workers finished in earlier runs: worker
// k owns the positions k, k + N, ... and has done those up to its resume
// number.
std::int64_t DownloadControl::TilesDoneBefore() const {
    const std::int64_t workers = params_->ThreadCount;
    std::int64_t done = 0;
    for (std::int32_t k = 0; k < workers; ++k) {
        const std::int64_t resume = ResumeOf(k);
        // Positions 1..resume whose number modulo N is k.
        done += k == 0 ? resume / workers : (resume >= k ? (resume - k) / workers + 1 : 0);
    }
    return std::min(done, task_->TotalCount);
}

bool DownloadControl::RetryFailedTiles() {
    if (Running() || !task_) {
        return false;
    }
    // A copy: the start replaces fields_.
    const TaskFields fields = fields_;
    return Start(fields, ListedTiles::RetryFirst);
}

void DownloadControl::Stop() {
    if (!Running()) {
        return;
    }
    // Every tile is done and the workers are ending on their own: the run
    // ends as a completed one, not as a stop that Start would continue.
    const DownloadProgress progress = Progress();
    if (progress.Total > 0 && progress.Done >= progress.Total) {
        return;
    }
    outcome_.Stopped = true;
    listWriter_.request_stop();
    earlierScan_.request_stop();
    for (std::int32_t i = 0; i < params_->ThreadCount; ++i) {
        if (const auto& worker = DownThreads[static_cast<std::size_t>(i)]) {
            worker->Terminate();
        }
        AppendLogLine(WorkerStopLine(i + 1));
    }
}

void DownloadControl::Timer1Timer() {
    if (!timerEnabled_) {
        return;
    }
    ++TimerTicks;
    if (TimerTicks % kSaveEveryTicks == 0) {
        try {
            SaveProgress();
        } catch (const std::exception& e) {
            // Tried again five ticks later.
            frontEnd_.ShowMessage(e.what());
            return;
        }
    }
    if (RunEnded()) {
        Finish(true);
    }
}

void DownloadControl::FinishIfWorkersEnded() {
    if (timerEnabled_ && RunEnded()) {
        Finish(true);
    }
}

bool DownloadControl::RunEnded() const {
    return runningThreadCount_ == 0 && (earlierCounted_ || outcome_.Stopped);
}

void DownloadControl::Shutdown() {
    if (Running() && !outcome_.Stopped) {
        Stop();
    }
    // Workers that Abandon() left running are waited for here too: they
    // hold the task.
    while (runningThreadCount_ > 0) {
        sync_.ServePending(std::chrono::milliseconds(50));
    }
    if (Running()) {
        Finish(false);
    }
    abandoned_.clear();
}

void DownloadControl::Abandon() {
    if (!Running() || !outcome_.Stopped || runningThreadCount_ == 0) {
        return;
    }
    AppendLogLine("Ended without waiting for " + std::to_string(runningThreadCount_) +
                  " workers that had not stopped.");
    Finish(true);
}

// The failed-tile list goes before the positions: a kill between the two
// writes can then never leave a given-up tile that is neither recorded nor
// fetched again. The validators are written beside both, so their syncs of
// the disk overlap: a kill that loses them costs only their tiles'
// validators, which a refresh then does without.
void DownloadControl::SaveProgress() {
    SaveRecordsWhile([&] {
        SaveFailedList();
        SaveLogWhile([&] { SavePositions(); });
    });
}

namespace {

// Runs `side` on a thread beside `step`: each writes files of its own, and
// the syncs of the disk that the two wait for overlap. Both run to their end;
// then `side`'s error is thrown, else `step`'s.
void SideBySide(const std::function<void()>& side, const std::function<void()>& step) {
    std::exception_ptr sideError;
    std::exception_ptr stepError;
    {
        const std::jthread sideThread([&] {
            try {
                side();
            } catch (...) {
                sideError = std::current_exception();
            }
        });
        try {
            step();
        } catch (...) {
            stepError = std::current_exception();
        }
    }
    if (sideError) {
        std::rethrow_exception(sideError);
    }
    if (stepError) {
        std::rethrow_exception(stepError);
    }
}

}  // namespace

void DownloadControl::SaveLogWhile(const std::function<void()>& step) {
    SideBySide([this] { log_.Save(); }, step);
}

void DownloadControl::SaveRecordsWhile(const std::function<void()>& step) {
    const std::vector<TileRecord> batch = records_ ? records_->Take() : std::vector<TileRecord>{};
    if (batch.empty()) {
        step();
        return;
    }
    std::string storeError;
    const auto report = [&] {
        // Only the validators are lost: a refresh asks those tiles plainly.
        // The log was saved beside the store, so it is saved again with the
        // line.
        if (!storeError.empty() && !storeFailed_) {
            storeFailed_ = true;
            AppendLogLine("The tile store cannot be written: " + storeError);
            log_.Save();
        }
    };
    try {
        // The store is written on this thread and `step` beside it: the
        // store's write takes by far the most memory, which a thread made
        // for it would have to map afresh page by page.
        SideBySide(step, [&] {
            try {
                TileStore(TileStore::PathForProject(task_->ProjectFileName())).Write(batch);
            } catch (const ETileStoreError& e) {
                storeError = e.what();
            }
        });
    } catch (...) {
        report();
        throw;
    }
    report();
}

// A list that holds what it would be given stays as it is: its rewrite would
// cost a sync of the disk at every save and at the end of every run.
void DownloadControl::SaveFailedList() {
    const std::string& path = task_->FailedFileName;
    if (failedListSaved_ && MarkIfAny(path) == failedListSaved_) {
        return;
    }
    failedListSaved_.reset();
    WriteLinesAtomic(path, memo2_);
    failedListSaved_ = MarkIfAny(path);
}

void DownloadControl::SavePositions() {
    if (refresh_) {
        task_->Project().WriteRefreshPositions(std::vector<std::int64_t>(
            static_cast<std::size_t>(params_->ThreadCount), refresh_->FinishedUpTo()));
        return;
    }
    std::vector<SlotValue> values;
    for (std::int32_t i = 0; i < params_->ThreadCount; ++i) {
        const auto& worker = DownThreads[static_cast<std::size_t>(i)];
        if (!worker) {
            continue;
        }
        const TileId last = worker->LastPosition();
        if (!task_->Cover.IsSingleRectangle()) {
            // A cover's low zooms have tiles in column and row 0, so its
            // positions are whole: the zoom, never 0, tells one is saved.
            if (last.Zoom > 0) {
                values.insert(
                    values.end(),
                    {{i + 1, 'X', last.X}, {i + 1, 'Y', last.Y}, {i + 1, 'Z', last.Zoom}});
            }
            continue;
        }
        if (last.X > 0) {
            values.push_back({i + 1, 'X', last.X});
        }
        if (last.Y > 0) {
            values.push_back({i + 1, 'Y', last.Y});
        }
    }
    // A project file deleted while the task runs comes back whole: the
    // positions alone would make a file no start can use.
    const std::string project = task_->ProjectFileName();
    if (!FileExists(project) && !DirectoryExists(project)) {
        task_->WriteProjectFile();
    }
    task_->Project().WriteSlots(values);
}

void DownloadControl::Finish(bool showMessage) {
    timerEnabled_ = false;
    // Every worker has ended by now.
    std::optional<std::string> hint;
    for (const auto& worker : DownThreads) {
        if (worker && worker->Done() && worker->EndReason() == WorkerEnd::EndedByError && !hint) {
            hint = FirstRunHint(*params_, worker->EndError());
        }
    }
    if (hint) {
        AppendLogLine(*hint);
    }
    NoteWorkerEnds();
    const bool walked = !outcome_.Stopped && !outcome_.EndedByPolicy;
    if (refresh_) {
        outcome_.Refresh = refresh_->Counts();
        if (walked) {
            AppendLogLine(RefreshEndingLine(*outcome_.Refresh));
        }
    }
    AppendLogLine("");
    AppendLogLine("--------------------------------");
    AppendLogLine(kTaskStoppedLogLine);
    AppendLogLine("");
    AppendLogLine("Now time:" + LocalDateTimeText());
    AppendLogLine("");
    AppendLogLine("Log file has been saved as " + task_->LogFileName);

    // Whatever fails to save, every worker is released and the window goes
    // back to idle; the first error is shown afterwards.
    std::string error;
    const auto attempt = [&](auto&& step) {
        try {
            step();
        } catch (const std::exception& e) {
            if (error.empty()) {
                error = e.what();
            }
        }
    };
    if (listWriter_.joinable()) {
        listWriter_.join();
    }
    // In the order of SaveProgress().
    attempt([&] {
        SaveRecordsWhile([&] {
            attempt([&] { SaveFailedList(); });
            const bool failedListSaved = error.empty();
            attempt([&] {
                SaveLogWhile([&] {
                    // Positions past tiles whose records did not reach the
                    // disk would lose those tiles for good; without them the
                    // tiles are fetched again. A refresh that walked its whole
                    // cover starts from the beginning next time.
                    if (refresh_ && walked) {
                        task_->Project().WriteRefreshPositions(std::vector<std::int64_t>(
                            static_cast<std::size_t>(params_->ThreadCount), 0));
                    } else if (failedListSaved) {
                        SavePositions();
                    }
                });
            });
        });
    });
    // The blank tile is read only when tiles are listed.
    outcome_.StillBlank =
        memo2_.empty() ? 0 : std::ssize(StillBlankListedTiles(memo2_, *task_, BlankImage()));
    ReleaseWorkers();
    if (earlierScan_.joinable()) {
        if (!walked) {
            earlierScan_.request_stop();
        }
        earlierScan_.join();
        if (walked) {
            outcome_.NotFoundTiles += earlierBlanks_;
        }
    }
    lock_.reset();
    caption_ = kStartCaption;
    frontEnd_.StateChanged();
    if (error.empty()) {
        error = std::exchange(listError_, "");
    }
    listError_.clear();
    if (!error.empty()) {
        frontEnd_.ShowMessage(error);
    }
    if (showMessage) {
        const std::string proxy =
            params_->UseProxy ? params_->ProxyServer + ":" + params_->ProxyPort : "";
        const std::string ending =
            outcome_.Refresh && walked
                ? RefreshEndingLine(*outcome_.Refresh)
                : EndingLine(outcome_, Progress(), task_->FailedFileName, proxy);
        const std::string text = TaskStoppedMessage() + "\n" + ending + (hint ? "\n" + *hint : "");
        const RunEnding closing{text, NextStepsAfter(outcome_), outcome_.Stopped};
        if (frontEnd_.OfferNextSteps(closing) == NextStep::RetryFailed) {
            RetryFailedTiles();
        }
    }
}

void DownloadControl::NoteWorkerEnds() {
    for (const auto& worker : DownThreads) {
        if (worker && worker->Done()) {
            const WorkerEnd end = worker->EndReason();
            if (end == WorkerEnd::Refused || end == WorkerEnd::EndedByError) {
                if (outcome_.EndError.empty()) {
                    outcome_.EndError = worker->EndError();
                }
                outcome_.EndedByPolicy = true;
                outcome_.Refused = outcome_.Refused || end == WorkerEnd::Refused;
            }
        }
    }
}

void DownloadControl::ReleaseWorkers() {
    for (std::size_t i = 0; i < DownThreads.size(); ++i) {
        if (auto& worker = DownThreads[i]) {
            releasedPositions_[i] = PositionOf(*worker, static_cast<std::int32_t>(i));
            finishedByReleasedWorkers_ += worker->TilesFinished();
            outcome_.NotFoundTiles += worker->TilesNotFound();
            if (worker->Done()) {
                worker.reset();
            } else {
                abandoned_.push_back(std::move(worker));
            }
        }
    }
}

std::int64_t DownloadControl::PositionOf(const TDownThread& worker, std::int32_t slot) const {
    if (refresh_) {
        return refresh_->FinishedUpTo();
    }
    const TileId last = worker.LastPosition();
    return last.Zoom > 0 ? task_->Cover.SeqOf(last) : ResumeOf(slot);
}

std::vector<ZoomWalk> DownloadControl::ZoomWalks() const {
    if (!task_) {
        return {};
    }
    std::vector<std::int64_t> positions;
    for (std::int32_t i = 0; i < params_->ThreadCount; ++i) {
        const auto& worker = DownThreads[static_cast<std::size_t>(i)];
        positions.push_back(worker ? PositionOf(*worker, i)
                                   : releasedPositions_[static_cast<std::size_t>(i)]);
    }
    return WalkedByZoom(task_->Cover, positions);
}

std::vector<ZoomWalk> WalkedByZoom(const TileCover& cover,
                                   const std::vector<std::int64_t>& positions) {
    const auto workers = std::ssize(positions);
    std::vector<ZoomWalk> walks;
    std::int64_t before = 0;  // tiles of the lower zooms
    for (int zoom = cover.MinZoom(); workers > 0 && zoom <= cover.MaxZoom(); ++zoom) {
        ZoomWalk walk{zoom, 0, cover.CountAt(zoom)};
        const std::int64_t first = before + 1;
        const std::int64_t last = before + walk.Count;
        for (std::int64_t k = 0; k < workers; ++k) {
            // Worker k's positions in first..min(last, its own): those p with
            // p % workers == k, counted as the ones up to the end less the
            // ones before the start.
            const std::int64_t end = std::min(last, positions[static_cast<std::size_t>(k)]);
            const auto upTo = [&](std::int64_t n) {
                return n < k ? 0 : (n - k) / workers + (k == 0 ? 0 : 1);
            };
            if (end >= first) {
                walk.Walked += upTo(end) - upTo(first - 1);
            }
        }
        walks.push_back(walk);
        before = last;
    }
    return walks;
}

std::string ZoomWalkLine(const ZoomWalk& walk) {
    const std::string zoom = "Zoom " + std::to_string(walk.Zoom) + ": ";
    if (walk.Walked == 0) {
        return zoom + "not reached (" + GroupedNumber(walk.Count) + " tiles).";
    }
    if (walk.Walked >= walk.Count) {
        return zoom + "all " + GroupedNumber(walk.Count) + " tiles.";
    }
    return zoom + GroupedNumber(walk.Walked) + " of " + GroupedNumber(walk.Count) + " tiles.";
}

DownloadProgress DownloadControl::Progress() const {
    DownloadProgress progress;
    if (!task_) {
        return progress;
    }
    progress.Total = task_->TotalCount;
    progress.Done = doneBefore_ + finishedByReleasedWorkers_;
    for (const auto& worker : DownThreads) {
        if (worker) {
            progress.Done += worker->TilesFinished();
        }
    }
    progress.Done = std::min(progress.Done, progress.Total);
    progress.Failed = outcome_.FailedTiles;
    return progress;
}

std::string EndingLine(const DownloadOutcome& outcome, const DownloadProgress& progress,
                       const std::string& failedFileName, const std::string& proxy) {
    if (outcome.Refused) {
        return "The server refused the requests (HTTP 403/302): the workers stopped.";
    }
    if (outcome.EndedByPolicy) {
        const std::string line = "Network error: the workers stopped.";
        const std::string named = proxy.empty() ? line : line + " (proxy " + proxy + ")";
        if (const std::size_t refusal = outcome.EndError.find(kProxyRefusedConnect);
            refusal != std::string::npos) {
            return named + "\n" + outcome.EndError.substr(refusal) + "\n" + kProxyRefusedAdvice;
        }
        const std::size_t tls = outcome.EndError.find(kTlsHandshakeFailed);
        if (tls == std::string::npos) {
            return named;
        }
        return named + "\n" + outcome.EndError.substr(tls) +
               "\nThe server's certificate could not be verified. If the service is the one "
               "you mean, make its certificate's issuer known: add it to the system's "
               "certificate store, or point SSL_CERT_FILE at a file that holds it. For your own "
               "test server only, Insecure=1 in its source accepts any certificate.";
    }
    if (outcome.Stopped) {
        const std::string line = "Stopped after " + std::to_string(progress.Done) + " of " +
                                 std::to_string(progress.Total) + " tiles";
        if (outcome.StillBlank == 0) {
            return line + ".";
        }
        return line + ", " + GroupedNumber(outcome.StillBlank) + " failed (listed in " +
               failedFileName + ").";
    }
    if (outcome.StillBlank == 0 && outcome.NotFoundTiles == 0) {
        return "All " + std::to_string(progress.Total) + " tiles downloaded.";
    }
    const std::int64_t downloaded =
        std::max<std::int64_t>(0, progress.Total - outcome.StillBlank - outcome.NotFoundTiles);
    std::string line =
        GroupedNumber(progress.Total) + " tiles: " + GroupedNumber(downloaded) + " downloaded";
    if (outcome.StillBlank > 0) {
        line += ", " + GroupedNumber(outcome.StillBlank) + " still blank (listed in " +
                failedFileName + ")";
    }
    if (outcome.NotFoundTiles > 0) {
        line += ", " + GroupedNumber(outcome.NotFoundTiles) + " blank (not on the server)";
    }
    return line + ".";
}

std::vector<NextStep> NextStepsAfter(const DownloadOutcome& outcome) {
    if (outcome.Stopped) {
        return {};
    }
    std::vector<NextStep> steps{NextStep::OpenFolder};
    if (!outcome.EndedByPolicy) {
        steps.insert(steps.end(), {NextStep::View, NextStep::Combine, NextStep::Export});
    }
    if (!outcome.Refresh && outcome.StillBlank > 0) {
        steps.push_back(NextStep::RetryFailed);
    }
    return steps;
}

std::string RefreshEndingLine(const RefreshCounts& counts) {
    std::string line = "Refreshed " + GroupedNumber(counts.Asked()) +
                       " tiles: " + GroupedNumber(counts.Changed) + " changed, " +
                       GroupedNumber(counts.Unchanged) + " unchanged, " +
                       GroupedNumber(counts.Kept) + " kept (not on the server)";
    if (counts.Failed > 0) {
        line += ", " + GroupedNumber(counts.Failed) + " failed (kept as they were)";
    }
    if (counts.Skipped > 0) {
        line += ", " + GroupedNumber(counts.Skipped) + " skipped (fetched recently)";
    }
    return line + ".";
}

std::optional<std::string> FirstRunHint(const TaskParameters& params, const std::string& endError) {
    const TileLayer* layer = FindTileLayer(&TileLayer::MapsType, params.MapsType);
    if (params.Source || layer == nullptr || params.UseProxy ||
        endError.find(kConnectionRefusedError) == std::string::npos) {
        return std::nullopt;
    }
    const bool map = layer->Host == &TaskParameters::MapHost;
    const StringSetting& setting = map ? settings::MapHost : settings::SatelliteHost;
    if (params.*(layer->Host) != setting.Default) {
        return std::nullopt;
    }
    return "Nothing answers at " + std::string(setting.Default) +
           ", the built-in services' address: start tessellon-tileserver, set " +
           std::string(setting.Key) + " in config.ini, or choose a tile source.";
}

void DownloadControl::AppendLogLine(const std::string& line) {
    log_.Add(line);
    frontEnd_.LogLineAdded(line);
}

void DownloadControl::AppendFailedLine(const std::string& line) {
    memo2_.push_back(line);
    failedListSaved_.reset();
    ++outcome_.FailedTiles;
    frontEnd_.FailedLineAdded(line);
}

void DownloadControl::DecreaseRunningThreadCount() {
    --runningThreadCount_;
}

}  // namespace tessellon
