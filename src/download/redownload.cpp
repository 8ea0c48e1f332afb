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

}  // namespace

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
    output.ServePendingOnce();

    TNetBuffer buffer;
    for (const std::string& line : lines) {
        const std::optional<FailedTileRecord> record = ParseFailedRecord(line);
        if (!record) {
            output.AddLine(line + "->Error: not a failed-tile record (no \"|\").");
            ++summary.Failed;
            continue;
        }
        const FetchResult result = Fetch(http, record->Url, SourceTileFormat(record->Path), buffer);
        if (result.Fetched) {
            try {
                WriteFileAtomic(record->Path, buffer.View());
            } catch (const EFileError& e) {
                output.AddLine(std::string(e.what()) + "->" + record->Url);
                ++summary.Failed;
                continue;
            }
            output.AddLine(RecordFetchedLine(record->Path, record->Url));
            ++summary.Fetched;
            continue;
        }
        ++summary.Failed;
        if (result.Outcome == RedownloadOutcome::Unreported) {
            continue;
        }
        output.AddLine(*result.Message + "->" + record->Url);
        if (result.Outcome == RedownloadOutcome::ErrorLineAndBanEndsList) {
            output.AddLine(kBanMessage);
            break;
        }
        if (result.Outcome == RedownloadOutcome::ErrorAndNotFoundLines) {
            output.AddLine(record->Url + ":" + kNotFoundMessage);
        }
    }
    buffer.Clear();
    output.AddLine("Download End.");
    return summary;
}

}  // namespace tessellon
