#include "download/redownload.h"

#include <optional>
#include <vector>

#include "download/failed_list.h"
#include "download/failure_policy.h"
#include "net/http_client.h"
#include "platform/files.h"

namespace tessellon {

namespace {

bool Contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

// One record's fetch: a connection reset is tried again at once, up to the
// attempts bound. Nothing on success, else the failure's message (empty
// optional inside for an error without one).
std::optional<std::optional<std::string>> Fetch(THttpClient& http, const std::string& url,
                                                TNetBuffer& buffer) {
    std::optional<std::string> message;
    for (int attempt = 1; attempt <= kMaxAttemptsPerTile; ++attempt) {
        buffer.Clear();
        try {
            http.GetUrl(url, buffer);
            return std::nullopt;
        } catch (const std::exception& e) {
            message = e.what();
        } catch (...) {
            message.reset();
        }
        if (!message || !Contains(*message, "10054")) {
            break;
        }
    }
    return message;
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
        output.AddLine("No failed files records.");
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
        const auto failure = Fetch(http, record->Url, buffer);
        if (!failure) {
            try {
                WriteFileAtomic(record->Path, buffer.View());
            } catch (const EFileError& e) {
                output.AddLine(std::string(e.what()) + "->" + record->Url);
                ++summary.Failed;
                continue;
            }
            output.AddLine(record->Path + ":" + record->Url + " ->OK");
            ++summary.Fetched;
            continue;
        }
        ++summary.Failed;
        const std::optional<std::string>& message = *failure;
        if (!message) {
            continue;
        }
        output.AddLine(*message + "->" + record->Url);
        if (Contains(*message, "302") || Contains(*message, "403")) {
            output.AddLine(kBanMessage);
            break;
        }
        if (Contains(*message, "404")) {
            output.AddLine(record->Url + ":" + kNotFoundMessage);
        }
    }
    buffer.Clear();
    output.AddLine("Download End.");
    return summary;
}

}  // namespace tessellon
