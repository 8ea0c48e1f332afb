#include "control/download_control.h"

#include <algorithm>
#include <exception>
#include <thread>
#include <utility>

#include "control/start_checks.h"
#include "platform/files.h"
#include "platform/text_format.h"
#include "task/contract_texts.h"

namespace tessellon {

namespace {

constexpr int kSaveEveryTicks = 5;

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

bool DownloadControl::Start(const TaskFields& fields) {
    const Configuration config(settings_.ConfigFileName);
    StartCheckResult checked = CheckStartInput(fields, config);
    if (checked.Message) {
        frontEnd_.ShowMessage(*checked.Message);
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
    if (!ConfirmStart(checked, *task)) {
        return false;
    }
    // The new task replaces the old one only now that it exists; no worker of
    // the old one is left (they were released when it finished).
    params_ = std::move(checked.Params);
    task_ = std::move(task);
    params_->ThreadCount =
        static_cast<std::int32_t>(std::min<std::int64_t>(params_->ThreadCount, task_->TotalCount));

    std::vector<std::string> shownLog;
    try {
        task_->WriteTaskFiles(settings_.StartCancelled);
        shownLog = log_.Open(task_->LogFileName, task_->LogHeadLines());
        memo2_ = ReadTextLines(task_->FailedFileName);
        // An empty file is what an empty list writes.
        failedListSaved_ = MarkIfAny(task_->FailedFileName);
        if (failedListSaved_ && failedListSaved_->Size != 0) {
            failedListSaved_.reset();
        }
    } catch (const std::exception& e) {
        frontEnd_.ShowMessage(e.what());
        return false;
    }
    frontEnd_.LogReplaced(shownLog);
    frontEnd_.FailedReplaced(memo2_);
    totalLabel_ = "Total images: " + std::to_string(task_->TotalCount);
    caption_ = kStopCaption;

    outcome_ = DownloadOutcome{};
    doneBefore_ = TilesDoneBefore();
    finishedByReleasedWorkers_ = 0;
    WorkerEnvironment environment{&sync_, this, TaskPacing(params_->Source, settings_.Pace),
                                  settings_.TimeLimits, settings_.ProgramFolder};
    backoff_ = params_->Source ? std::make_unique<ServerBackoff>(environment.Pace) : nullptr;
    environment.Backoff = backoff_.get();
    environment.MaxTileBytes = config.ReadMaxTileBytes();
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

// Tiles of a continued task that its workers finished in earlier runs: worker
// k owns the positions k, k + N, ... and has done those up to its resume
// number.
std::int64_t DownloadControl::TilesDoneBefore() const {
    const std::int64_t workers = params_->ThreadCount;
    std::int64_t done = 0;
    for (std::int32_t k = 0; k < workers; ++k) {
        const std::int64_t resume = task_->ResumeNumber(k);
        // Positions 1..resume whose number modulo N is k.
        done += k == 0 ? resume / workers : (resume >= k ? (resume - k) / workers + 1 : 0);
    }
    return std::min(done, task_->TotalCount);
}

void DownloadControl::Stop() {
    if (!Running()) {
        return;
    }
    outcome_.Stopped = true;
    listWriter_.request_stop();
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
    if (runningThreadCount_ == 0) {
        Finish(true);
    }
}

void DownloadControl::FinishIfWorkersEnded() {
    if (timerEnabled_ && runningThreadCount_ == 0) {
        Finish(true);
    }
}

void DownloadControl::Shutdown() {
    if (!Running()) {
        return;
    }
    if (!outcome_.Stopped) {
        Stop();
    }
    while (runningThreadCount_ > 0) {
        sync_.ServePending(std::chrono::milliseconds(50));
    }
    Finish(false);
}

// The failed-tile list goes first: a kill between two of these writes can
// then never leave a given-up tile that is neither recorded nor fetched again.
void DownloadControl::SaveProgress() {
    SaveFailedList();
    SaveLogWhile([&] { SavePositions(); });
}

// The log is a file of its own: saved on a thread beside `step`, the syncs of
// the disk that the two wait for overlap.
void DownloadControl::SaveLogWhile(const std::function<void()>& step) {
    std::exception_ptr logError;
    std::exception_ptr stepError;
    {
        const std::jthread logSave([&] {
            try {
                log_.Save();
            } catch (...) {
                logError = std::current_exception();
            }
        });
        try {
            step();
        } catch (...) {
            stepError = std::current_exception();
        }
    }
    if (logError) {
        std::rethrow_exception(logError);
    }
    if (stepError) {
        std::rethrow_exception(stepError);
    }
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
    attempt([&] { SaveFailedList(); });
    const bool failedListSaved = error.empty();
    attempt([&] {
        SaveLogWhile([&] {
            // Positions past tiles whose records did not reach the disk would
            // lose those tiles for good; without them the tiles are fetched
            // again.
            if (failedListSaved) {
                SavePositions();
            }
        });
    });
    ReleaseWorkers();
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
        frontEnd_.ShowMessage(TaskStoppedMessage() + "\n" +
                              EndingLine(outcome_, Progress(), task_->FailedFileName, proxy));
    }
}

void DownloadControl::ReleaseWorkers() {
    for (auto& worker : DownThreads) {
        if (worker) {
            const WorkerEnd end = worker->EndReason();
            if (end == WorkerEnd::Refused || end == WorkerEnd::EndedByError) {
                outcome_.EndedByPolicy = true;
                outcome_.Refused = outcome_.Refused || end == WorkerEnd::Refused;
            }
            finishedByReleasedWorkers_ += worker->TilesFinished();
            worker.reset();
        }
    }
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
        return proxy.empty() ? line : line + " (proxy " + proxy + ")";
    }
    if (outcome.Stopped) {
        return "Stopped after " + std::to_string(progress.Done) + " of " +
               std::to_string(progress.Total) + " tiles.";
    }
    if (outcome.FailedTiles > 0) {
        return std::to_string(outcome.FailedTiles) + " tiles failed; they are listed in " +
               failedFileName + " for a later re-download.";
    }
    return "All " + std::to_string(progress.Total) + " tiles downloaded.";
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
