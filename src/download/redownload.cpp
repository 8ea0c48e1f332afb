#include "download/redownload.h"

#include <optional>

#include "download/failed_list.h"
#include "download/failure_policy.h"
#include "download/image_kind.h"
#include "net/http_client.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/shown_text.h"
#include "task/contract_texts.h"
#include "task/md_task.h"

namespace tessellon {

namespace {

// How one record's fetch ended.
struct FetchResult {
    bool Fetched = false;
    // Otherwise: the last failure's message (none for an error without one)
    // and what failure_policy says to report.
    std::optional<std::string> Message;
    RedownloadOutcome Outcome = RedownloadOutcome::Unreported;
};

// The format of a source task's tile file, "tl_X_Y_Z.<format>", whose body
// must be an image of a kind; "" for a built-in task's file, written as it
// comes.
std::string SourceTileFormat(const std::string& path) {
    const std::size_t name = path.find_last_of('/') + 1;
    const std::size_t dot = path.find_last_of('.');
    if (path.compare(name, 3, "tl_") != 0 || dot == std::string::npos || dot < name) {
        return {};
    }
    return path.substr(dot + 1);
}

// `format` "" takes any body.
FetchResult Fetch(THttpClient& http, const std::string& url, const std::string& format,
                  TNetBuffer& buffer) {
    for (int attempt = 1;; ++attempt) {
        buffer.Clear();
        std::optional<std::string> message;
        try {
            http.GetUrl(url, buffer);
            // Reported like any other failure, without a retry: an error page
            // must not overwrite the tile file.
            if (auto reason = NotATileReason(format, buffer.View(), http.Reply().ContentType)) {
                return {false, std::move(reason), RedownloadOutcome::ErrorLine};
            }
            return {true, std::nullopt, RedownloadOutcome::Unreported};
        } catch (const std::exception& e) {
            message = e.what();
        } catch (...) {
            // An error without a message text.
        }
        const RedownloadOutcome outcome = DecideOnRedownloadFailure(message, attempt);
        if (outcome != RedownloadOutcome::Retry) {
            return {false, std::move(message), outcome};
        }
    }
}

// Where a record may write: a file named like a tile of some task, that is
// nothing yet or a regular file (never a symbolic link), reached by a path
// without control characters; a relative path lies in the list's folder.
// Nothing for any other path, so a list from elsewhere cannot replace an
// arbitrary file.
std::optional<std::string> TilePathOf(const std::string& path, const std::string& listFolder) {
    if (HasControlCharacter(path) || !IsTileFileName(ExtractFileName(path))) {
        return std::nullopt;
    }
    std::string full = path.starts_with('/') ? path : listFolder + path;
    if (!IsAbsentOrRegularFile(full)) {
        return std::nullopt;
    }
    return full;
}

// Fetches one line of the list and reports it; false when the server's
// refusal ends the list.
bool RedownloadRecord(const std::string& line, const std::string& listFolder, THttpClient& http,
                      TNetBuffer& buffer, RedownloadOutput& output, RedownloadSummary& summary) {
    const std::optional<FailedTileRecord> record = ParseFailedRecord(line);
    if (!record) {
        output.AddLine(ShowControlCharacters(line) +
                       "->Error: not a failed-tile record (no \"|\").");
        ++summary.Failed;
        return true;
    }
    const std::optional<std::string> path = TilePathOf(record->Path, listFolder);
    if (!path) {
        output.AddLine(ShowControlCharacters(line) + "->Error: not a tile path.");
        ++summary.Failed;
        return true;
    }
    const std::string url = ShowControlCharacters(record->Url);
    const FetchResult result = Fetch(http, record->Url, SourceTileFormat(*path), buffer);
    if (result.Fetched) {
        try {
            WriteFileAtomic(*path, buffer.View());
        } catch (const EFileError& e) {
            output.AddLine(std::string(e.what()) + "->" + url);
            ++summary.Failed;
            return true;
        }
        output.AddLine(RecordFetchedLine(*path, url));
        ++summary.Fetched;
        return true;
    }
    ++summary.Failed;
    if (result.Outcome == RedownloadOutcome::Unreported) {
        return true;
    }
    output.AddLine(*result.Message + "->" + url);
    if (result.Outcome == RedownloadOutcome::ErrorLineAndBanEndsList) {
        output.AddLine(kBanMessage);
        return false;
    }
    if (result.Outcome == RedownloadOutcome::ErrorAndNotFoundLines) {
        output.AddLine(url + ":" + kNotFoundMessage);
    }
    return true;
}

}  // namespace

std::string RedownloadCancelledLine(int done, int total) {
    return "Cancelled after " + std::to_string(done) + " of " + std::to_string(total) + " records.";
}

RedownloadSummary RunRedownload(const std::string& listFileName, RedownloadOutput& output,
                                const TNetTimeLimits& timeLimits) {
    RedownloadSummary summary;
    THttpClient http;
    http.TimeLimits = timeLimits;
    http.Request.Referer = kRedownloadReferer;
    http.Request.UserAgent = kRedownloadUserAgent;
    http.Request.Connection = kRedownloadConnection;

    // Read as a stream, counted first for the progress, so a list of any
    // length or a file that is no list takes bounded memory.
    std::optional<TextLineReader> list;
    int total = 0;
    std::string line;
    try {
        list.emplace(listFileName, kMaxFailedRecordBytes);
        while (list->Next(line)) {
            ++total;
        }
        list->Rewind();
    } catch (const EFileError& e) {
        output.AddLine(e.what());
        return summary;
    }
    summary.ListRead = true;
    if (total == 0) {
        output.AddLine(kNoFailedRecords);
        return summary;
    }
    output.AddLine("Start...");
    output.RecordsDone(0, total);

    const std::string listFolder = ExtractFilePath(AbsolutePath(listFileName));
    TNetBuffer buffer;
    try {
        // Lines added to the list meanwhile wait for the next run.
        for (int done = 0; done < total && list->Next(line);) {
            if (output.CancelRequested()) {
                output.AddLine(RedownloadCancelledLine(done, total));
                summary.Cancelled = true;
                break;
            }
            bool goOn = true;
            if (list->LineTooLong()) {
                output.AddLine("Line " + std::to_string(done + 1) + "->Error: longer than " +
                               std::to_string(kMaxFailedRecordBytes) + " bytes.");
                ++summary.Failed;
            } else {
                goOn = RedownloadRecord(line, listFolder, http, buffer, output, summary);
            }
            output.RecordsDone(++done, total);
            if (!goOn) {
                break;
            }
        }
    } catch (const EFileError& e) {
        output.AddLine(e.what());
    }
    buffer.Clear();
    output.AddLine("Download End.");
    return summary;
}

}  // namespace tessellon
