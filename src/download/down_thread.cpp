#include "download/down_thread.h"

#include <algorithm>

#include "download/client_setup.h"
#include "download/failed_list.h"
#include "download/image_kind.h"
#include "download/refresh_job.h"
#include "download/server_backoff.h"
#include "download/tile_fetcher.h"
#include "net/http_client.h"
#include "net/net_errors.h"
#include "platform/files.h"
#include "platform/process_lock.h"
#include "platform/shown_text.h"
#include "platform/thread_policy.h"
#include "task/contract_texts.h"
#include "task/md_task.h"
#include "task/tile_store.h"

namespace tessellon {

namespace {

// How many requests a refresh of an unpaced source keeps queued ahead on its
// connection. Topped up once half are answered, so one send carries several.
constexpr std::size_t kRefreshQueueDepth = 32;

void AskWith(THttpClient& http, const TileValidators* known) {
    http.Request.ETag = known != nullptr ? known->ETag : std::string();
    http.Request.LastModifiedUnix = known != nullptr ? known->LastModified : std::nullopt;
}

}  // namespace

TDownThread::TDownThread(bool createSuspended, std::int32_t threadIndex, const MDTask* task,
                         const WorkerEnvironment& environment)
    : ThreadIndex(threadIndex), Task(task), environment_(environment) {
    if (!createSuspended) {
        Resume();
    }
}

TDownThread::~TDownThread() {
    Terminate();
    WaitFor();
}

void TDownThread::Resume() {
    if (!thread_.joinable()) {
        thread_ = std::thread([this] { Execute(); });
    }
}

void TDownThread::WaitFor() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

TileId TDownThread::LastPosition() const {
    const std::int64_t seq = last_.load();
    return seq == 0 ? TileId{} : Task->Cover.At(seq);
}

void TDownThread::Execute() {
    RunThisThreadAsBulkWork();
    WorkerEnd end = WorkerEnd::EndedByError;
    try {
        end = Walk();
    } catch (const std::exception& e) {
        // Nothing may keep a worker from reporting its end.
        Post(Prefix() + " " + e.what());
    } catch (...) {
        Post(Prefix() + " stopped by an unknown error.");
    }
    endReason_ = end;
    Post(Prefix() + " Finished.");
    WorkerDone();
}

WorkerEnd TDownThread::Walk() {
    const TaskParameters& params = *Task->Params;
    THttpClient http;
    // A stop must not wait for a stalled server.
    http.StopOn(stop_);
    TileClientSettings settings{.Source = params.Source,
                                .Proxy = std::nullopt,
                                .TimeLimits = environment_.TimeLimits,
                                .MaxTileBytes = environment_.MaxTileBytes};
    if (params.UseProxy) {
        settings.Proxy = ProxyTexts{params.ProxyServer, params.ProxyPort, params.ProxyUsername,
                                    params.ProxyPassword};
    }
    if (const auto error = SetUpTileClient(http, settings)) {
        Post(Prefix() + " " + *error);
        return WorkerEnd::EndedByError;
    }
    blankImagePath_ = environment_.ProgramFolder + "blankimg/blank." + Task->GetTileExtension();

    if (environment_.Refresh != nullptr) {
        try {
            blankImage_ = ReadFileBytes(blankImagePath_);
        } catch (const EFileError&) {
            // Without it no tile passes for blank.
        }
    }
    const std::int64_t resume = Task->ResumeNumber(ThreadIndex);
    const std::int64_t workers = params.ThreadCount;

    if (stop_.SleepFor(ThreadIndex * environment_.Pace.StartOffset)) {
        return WorkerEnd::Stopped;
    }
    TNetBuffer buffer;
    // This worker's positions are those whose order number, modulo the
    // worker count, is its index: the first past its resume number, then
    // every workers-th.
    const std::int64_t next = resume + 1;
    const std::int64_t first = next + (ThreadIndex - next % workers + workers) % workers;
    if (FailedTileRetry* retry = environment_.Retry) {
        retrying_ = true;
        while (const std::optional<TileId> tile = retry->Take()) {
            if (stop_.Requested()) {
                return WorkerEnd::Stopped;
            }
            if (const auto end = AfterTile(FetchTile(*tile, Task->Cover.SeqOf(*tile),
                                                     Task->GetTileUrl(*tile), http, buffer, {}))) {
                return *end;
            }
        }
        retrying_ = false;
    }
    if (environment_.Refresh != nullptr) {
        return WalkRefresh(*environment_.Refresh, http, buffer);
    }
    for (TileCover::Cursor c = Task->Cover.From(first); c.Valid(); c.Advance(workers)) {
        if (stop_.Requested()) {
            return WorkerEnd::Stopped;
        }
        if (const auto end = AfterTile(
                FetchTile(c.Tile(), c.Seq(), Task->GetTileUrl(c.Tile()), http, buffer, {}))) {
            return *end;
        }
    }
    return WorkerEnd::RangeDone;
}

WorkerEnd TDownThread::WalkRefresh(RefreshJob& refresh, THttpClient& http, TNetBuffer& buffer) {
    // While the source is unpaced, the tiles ahead are planned so that their
    // requests can go out before their turn; a paced source's tile is
    // planned when its turn comes. What a tile's own fetch finds is handled
    // as it comes.
    std::deque<PlannedTile> planned;
    for (;;) {
        const std::size_t ahead = PauseAfterTile().count() == 0 ? kRefreshQueueDepth : 0;
        while (planned.size() <= ahead) {
            std::optional<RefreshJob::Position> next = refresh.Take(ThreadIndex);
            if (!next) {
                break;
            }
            planned.push_back({next->Tile, next->Seq, Task->GetTileUrl(next->Tile),
                               PlanTile(next->Tile, std::move(next->Known))});
        }
        if (planned.empty()) {
            return WorkerEnd::RangeDone;
        }
        if (stop_.Requested()) {
            return WorkerEnd::Stopped;
        }
        const PlannedTile next = std::move(planned.front());
        planned.pop_front();
        if (const auto end =
                AfterTile(FetchTile(next.Tile, next.Seq, next.Url, http, buffer, next.Plan))) {
            return *end;
        }
        QueueAhead(planned, http);
    }
}

void TDownThread::QueueAhead(const std::deque<PlannedTile>& planned, THttpClient& http) {
    // A paced source is asked one tile at a time, as a download asks it.
    if (PauseAfterTile().count() != 0) {
        return;
    }
    // The client's queue holds the requests of the first tiles asked of
    // those planned, or none once it dropped them.
    std::size_t queued = http.RequestsAhead();
    if (queued > kRefreshQueueDepth / 2) {
        return;
    }
    std::size_t asked = 0;
    for (const PlannedTile& tile : planned) {
        if (queued == kRefreshQueueDepth) {
            break;
        }
        if (tile.Plan.Ask == RefreshAsk::Skip || asked++ < queued) {
            continue;
        }
        AskWith(http, tile.Plan.Validators());
        if (!http.QueueAhead(tile.Url)) {
            break;
        }
        ++queued;
    }
}

std::optional<WorkerEnd> TDownThread::AfterTile(TileResult result) {
    switch (result) {
        case TileResult::Saved:
            stop_.SleepFor(PauseAfterTile());
            break;
        case TileResult::GivenUp:
            // A source's server is paced after every request, a refused one
            // too: a server that refuses everything is not asked faster than
            // one that serves.
            if (environment_.Backoff != nullptr) {
                stop_.SleepFor(PauseAfterTile());
            }
            break;
        case TileResult::Skipped:
            break;
        case TileResult::Refused:
            return WorkerEnd::Refused;
        case TileResult::EndWorker:
            return WorkerEnd::EndedByError;
        case TileResult::Stopped:
            return WorkerEnd::Stopped;
    }
    return std::nullopt;
}

TDownThread::TilePlan TDownThread::PlanTile(const TileId& tile,
                                            std::optional<TileValidators> known) {
    const std::string path = Task->GetTilePath(tile);
    const std::optional<RegularFileFacts> file = tileLook_.Look(path);
    // Only a file of the blank image's size can be the blank image.
    const bool missingOrBlank =
        !file || (file->Size == blankImage_.size() && IsMissingOrBlank(path, blankImage_));
    const std::optional<std::int64_t> fileTime =
        file ? std::optional(file->ModifiedUnix) : std::nullopt;
    const RefreshAsk ask =
        environment_.Refresh->Decide(known ? &*known : nullptr, missingOrBlank, fileTime);
    return {ask, std::move(known)};
}

TDownThread::TileResult TDownThread::FetchTile(const TileId& tile, std::int64_t seq,
                                               const std::string& url, THttpClient& http,
                                               TNetBuffer& buffer, const TilePlan& plan) {
    const std::optional<TileSource>& source = Task->Params->Source;
    if (plan.Ask == RefreshAsk::Skip) {
        environment_.Refresh->Count(RefreshOutcome::Skipped);
        FinishTile(seq);
        return TileResult::Skipped;
    }
    const TileValidators* known = plan.Validators();
    AskWith(http, known);
    int serverWaits = 0;
    for (int attempt = 1;;) {
        if (environment_.Backoff != nullptr && WaitForServer(*environment_.Backoff, stop_)) {
            return TileResult::Stopped;
        }
        // Every attempt starts empty, so the file receives exactly the body
        // of the successful reply.
        buffer.Clear();
        std::optional<std::string> message;
        std::optional<FailureRow> row;
        const auto fetchStarted = std::chrono::steady_clock::now();
        try {
            http.GetUrl(url, buffer);
            message = RefusedTileBody(http, buffer.View(), source);
            if (!message) {
                break;
            }
            // Its byte count must not pass for a status code.
            row = FailureRow::Other;
        } catch (const ECancelled&) {
            // Not finished: a continued run fetches this tile again.
            return TileResult::Stopped;
        } catch (const EProtocolReplyError& e) {
            if (ServerAsksToWait(e, http, fetchStarted, serverWaits)) {
                continue;  // not an attempt
            }
            message = e.what();
        } catch (const std::exception& e) {
            message = e.what();
        } catch (...) {
            // An error without a message text.
        }
        const FailureDecision decision =
            row ? DecideOnFailure(*row, attempt) : DecideOnFailure(message, attempt);
        ++attempt;
        if (decision.Outcome != FailureOutcome::Retry) {
            buffer.Clear();
            return GiveUp(decision, message, tile, seq, url);
        }
        if (Pause(decision.Pause) || stop_.Requested()) {
            // Not finished: a continued run fetches this tile again.
            return TileResult::Stopped;
        }
    }

    if (environment_.Refresh != nullptr) {
        return KeepRefreshed(tile, seq, http, buffer, known);
    }
    try {
        // Syncing every tile would cost more than fetching it; the task
        // files, which are synced, are what a continued run relies on.
        WriteFileAtomic(Task->GetTilePath(tile), buffer.View(), {.Durable = false});
    } catch (const EFileError& e) {
        Post(Prefix() + " " + e.what() + "->" + ShowControlCharacters(url));
        PostFailed(FormatFailedRecord(Task->GetTilePath(tile), url));
        buffer.Clear();
        FinishTile(seq);
        return TileResult::Saved;
    }
    Record(tile, http, buffer.View());
    buffer.Clear();
    // Finished before its line goes out, so a progress shown beside the log
    // never lags it; the file is already in place.
    FinishTile(seq);
    Post(Prefix() + ":seq=" + std::to_string(seq) + "," + Task->GetTileFileName(tile) + " OK");
    if (environment_.Backoff != nullptr) {
        environment_.Backoff->TileFetched();
    }
    return TileResult::Saved;
}

TDownThread::TileResult TDownThread::KeepRefreshed(const TileId& tile, std::int64_t seq,
                                                   const THttpClient& http,
                                                   const TNetBuffer& buffer,
                                                   const TileValidators* known) {
    RefreshJob& refresh = *environment_.Refresh;
    const std::string name = Task->GetTileFileName(tile);
    const std::string line = Prefix() + ":seq=" + std::to_string(seq) + "," + name;
    if (http.StatusCode() == 304) {
        // The server may renew its validators with the 304; what it leaves
        // out stays as it was.
        TileValidators renewed = *known;
        if (!http.Reply().ETag.empty()) {
            renewed.ETag = http.Reply().ETag;
        }
        if (http.Reply().LastModifiedUnix) {
            renewed.LastModified = http.Reply().LastModifiedUnix;
        }
        renewed.FetchedAt = NowUnix();
        if (environment_.Records != nullptr) {
            const bool timeOnly =
                renewed.ETag == known->ETag && renewed.LastModified == known->LastModified;
            environment_.Records->Add({tile, std::move(renewed), timeOnly});
        }
        refresh.Count(RefreshOutcome::Unchanged);
        FinishTile(seq);
        Post(line + " unchanged");
        return TileResult::Saved;
    }
    const std::string path = Task->GetTilePath(tile);
    // Read as a tile is: a missing file, a link, or one past the tile limit
    // (which no reply could match) differs from any body, and is replaced.
    std::string old;
    std::string refusal;
    const bool changed =
        ReadUntrustedFile(path, environment_.MaxTileBytes, old, refusal) != UntrustedRead::Read ||
        old != buffer.View();
    if (changed) {
        try {
            WriteFileAtomic(path, buffer.View(), {.Durable = false});
        } catch (const EFileError& e) {
            Post(Prefix() + " " + e.what() + "->" + ShowControlCharacters(Task->GetTileUrl(tile)));
            refresh.Count(RefreshOutcome::Failed);
            FinishTile(seq);
            return TileResult::Saved;
        }
    }
    Record(tile, http, buffer.View());
    refresh.Count(changed ? RefreshOutcome::Changed : RefreshOutcome::Unchanged);
    FinishTile(seq);
    Post(line + (changed ? " changed" : " unchanged"));
    return TileResult::Saved;
}

void TDownThread::Record(const TileId& tile, const THttpClient& http, std::string_view body) {
    if (environment_.Records == nullptr) {
        return;
    }
    environment_.Records->Add({tile,
                               {http.Reply().ETag, http.Reply().LastModifiedUnix, NowUnix(),
                                static_cast<std::int64_t>(body.size()), Sha1Hex(body)}});
}

bool TDownThread::ServerAsksToWait(const EProtocolReplyError& error, const THttpClient& http,
                                   std::chrono::steady_clock::time_point fetchStarted, int& waits) {
    if (environment_.Backoff == nullptr) {
        return false;
    }
    std::optional<std::string> line;
    const bool wait = tessellon::ServerAsksToWait(*environment_.Backoff, error.ReplyCode(),
                                                  http.Reply().ExtraHeaders.ValueOf("Retry-After"),
                                                  error.what(), fetchStarted, waits, line);
    if (line) {
        Post(*line);
    }
    return wait;
}

std::chrono::milliseconds TDownThread::PauseAfterTile() const {
    return environment_.Backoff != nullptr ? environment_.Backoff->PauseAfterTile()
                                           : environment_.Pace.AfterTile;
}

TDownThread::TileResult TDownThread::GiveUp(const FailureDecision& decision,
                                            const std::optional<std::string>& message,
                                            const TileId& tile, std::int64_t seq,
                                            const std::string& url) {
    // A source's URL template is outside text: the log shows it safely, the
    // failed list keeps it as it is fetched.
    const std::string shownUrl = ShowControlCharacters(url);
    const std::string errorLine = Prefix() + " " + message.value_or("") + "->" + shownUrl;
    const std::string record = FormatFailedRecord(Task->GetTilePath(tile), url);
    if (RefreshJob* refresh = environment_.Refresh) {
        // The old tile stays in every case, so nothing is listed either.
        const bool gone = decision.Outcome == FailureOutcome::BlankNotFound;
        refresh->Count(gone ? RefreshOutcome::Kept : RefreshOutcome::Failed);
        FinishTile(seq);
        Post(gone ? Prefix() + ":seq=" + std::to_string(seq) + "," + Task->GetTileFileName(tile) +
                        " kept (not on the server)"
                  : errorLine);
        switch (decision.Outcome) {
            case FailureOutcome::EndWorkerBanned:
                Post(kBanMessage);
                return TileResult::Refused;
            case FailureOutcome::EndWorkerNetwork:
                Post(kNetworkMessage);
                return TileResult::EndWorker;
            default:
                return TileResult::GivenUp;
        }
    }
    switch (decision.Outcome) {
        case FailureOutcome::EndWorkerBanned:
        case FailureOutcome::EndWorkerNetwork:
            Post(errorLine);
            PostFailed(record);
            if (decision.Outcome == FailureOutcome::EndWorkerBanned) {
                Post(kBanMessage);
                return TileResult::Refused;
            }
            Post(kNetworkMessage);
            endError_ = message.value_or("");
            return TileResult::EndWorker;
        case FailureOutcome::BlankNotFound:
            // A listed tile stays listed, and is counted as such.
            if (!retrying_) {
                ++tilesNotFound_;
            }
            Post(kNotFoundMessage + message.value_or(""));
            break;
        case FailureOutcome::BlankWithErrorLine:
            Post(errorLine);
            PostFailed(record);
            break;
        case FailureOutcome::BlankWithTileFailedLine:
            Post(TileFailedLine(Task->GetTileFileName(tile), shownUrl));
            PostFailed(record);
            break;
        case FailureOutcome::Retry:
            break;
    }
    PutBlankTile(tile, seq);
    return TileResult::GivenUp;
}

void TDownThread::PutBlankTile(const TileId& tile, std::int64_t seq) {
    // A tile file already on disk stays; a missing blank image leaves the
    // tile without a file.
    CopyFileNoOverwrite(blankImagePath_, Task->GetTilePath(tile));
    FinishTile(seq);
    Post(Prefix() + ":" + std::to_string(tile.X) + "-" + std::to_string(tile.Y) +
         " got a blank image!");
}

void TDownThread::FinishTile(std::int64_t seq) {
    if (!retrying_) {
        last_ = seq;
        ++tilesFinished_;
    }
    if (environment_.Refresh != nullptr) {
        environment_.Refresh->Finish(ThreadIndex, seq);
    }
}

bool TDownThread::Pause(RetryPause pause) {
    const Pacing& pace = environment_.Pace;
    std::chrono::milliseconds wait{0};
    switch (pause) {
        case RetryPause::None:
            break;
        case RetryPause::Short:
            wait = pace.Retry;
            break;
        case RetryPause::Socket:
            wait = pace.SocketRetry;
            break;
        case RetryPause::AddressInUse:
            wait = pace.AddressInUseRetry;
            break;
    }
    // A source's pause (doubled after a 429) follows a failed request too.
    if (environment_.Backoff != nullptr) {
        wait = std::max(wait, PauseAfterTile());
    }
    return wait.count() > 0 && stop_.SleepFor(wait);
}

// The worker is destroyed only after its WorkerDone has run, which comes
// after every line it handed over.
void TDownThread::Post(std::string line) {
    environment_.Sync->Post([this, line = std::move(line)] { AddLogLine(line); });
}

void TDownThread::PostFailed(const std::string& record) {
    LogText = record;
    environment_.Sync->Synchronize([this] { AddFailedLine(); });
}

void TDownThread::AddLogLine(const std::string& line) {
    environment_.Host->AppendLogLine(line);
}

void TDownThread::AddFailedLine() {
    environment_.Host->AppendFailedLine(LogText);
}

void TDownThread::WorkerDone() {
    environment_.Sync->Synchronize([this] {
        done_ = true;
        environment_.Host->DecreaseRunningThreadCount();
    });
}

}  // namespace tessellon
