#include "download/redownload.h"

#include <optional>
#include <vector>

#include "download/failed_list.h"
#include "download/failure_policy.h"
#include "download/image_kind.h"
#include "net/http_client.h"
#include "platform/files.h"
#include "task/contract_texts.h"

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

// Fetches one line of the list and reports it; false when the server's
// refusal ends the list.
bool RedownloadRecord(const std::string& line, THttpClient& http, TNetBuffer& buffer,
                      RedownloadOutput& output, RedownloadSummary& summary) {
    const std::optional<FailedTileRecord> record = ParseFailedRecord(line);
    if (!record) {
        output.AddLine(line + "->Error: not a failed-tile record (no \"|\").");
        ++summary.Failed;
        return true;
    }
    const FetchResult result = Fetch(http, record->Url, SourceTileFormat(record->Path), buffer);
    if (result.Fetched) {
        try {
            WriteFileAtomic(record->Path, buffer.View());
        } catch (const EFileError& e) {
            output.AddLine(std::string(e.what()) + "->" + record->Url);
            ++summary.Failed;
            return true;
        }
        output.AddLine(RecordFetchedLine(record->Path, record->Url));
        ++summary.Fetched;
        return true;
    }
    ++summary.Failed;
    if (result.Outcome == RedownloadOutcome::Unreported) {
        return true;
    }
    output.AddLine(*result.Message + "->" + record->Url);
    if (result.Outcome == RedownloadOutcome::ErrorLineAndBanEndsList) {
        output.AddLine(kBanMessage);
        return false;
    }
    if (result.Outcome == RedownloadOutcome::ErrorAndNotFoundLines) {
        output.AddLine(record->Url + ":" + kNotFoundMessage);
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

    std::vector<std::string> lines;
    try {
        lines = ReadTextLines(listFileName);
    } catch (const EFileError& e) {
        output.AddLine(e.what());
        return summary;
    }
    summary.ListRead = true;
    if (lines.empty()) {
        output.AddLine(kNoFailedRecords);
        return summary;
    }
    output.AddLine("Start...");
    const int total = static_cast<int>(lines.size());
    output.RecordsDone(0, total);

    TNetBuffer buffer;
    int done = 0;
    for (const std::string& line : lines) {
        if (output.CancelRequested()) {
            output.AddLine(RedownloadCancelledLine(done, total));
            summary.Cancelled = true;
            break;
        }
        const bool goOn = RedownloadRecord(line, http, buffer, output, summary);
        output.RecordsDone(++done, total);
        if (!goOn) {
            break;
        }
    }
    buffer.Clear();
    output.AddLine("Download End.");
    return summary;
}

}  // namespace tessellon
