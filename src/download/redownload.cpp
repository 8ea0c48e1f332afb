#include "download/redownload.h"

#include <map>
#include <optional>
#include <set>

#include "download/failed_list.h"
#include "download/failure_policy.h"
#include "download/image_kind.h"
#include "net/http_client.h"
#include "net/net_errors.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/shown_text.h"
#include "platform/text_format.h"
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

// The format of a tile file, "PREFIX_X_Y_Z.<format>": its body must be an
// image, so an error page never takes a tile's place.
std::string TileFormat(const std::string& path) {
    const std::size_t name = path.find_last_of('/') + 1;
    const std::size_t dot = path.find_last_of('.');
    return dot == std::string::npos || dot < name ? std::string() : path.substr(dot + 1);
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

// The folders a list's records may write into: the list's own, and the
// tile folder of the task whose list it is (NAME/ beside NAME_failed.ftl).
struct RecordFolders {
    std::string List;
    std::string Tiles;
};

RecordFolders FoldersOf(const std::string& listFileName) {
    const std::string list = AbsolutePath(listFileName);
    std::string task = ExtractFileName(list);
    constexpr std::string_view kSuffix = kFailedFileSuffix;
    if (task.size() > kSuffix.size() && task.ends_with(kSuffix)) {
        task.resize(task.size() - kSuffix.size());
    } else {
        task = RemoveFileExt(task);
    }
    return {ExtractFilePath(list), ExtractFilePath(list) + task + "/"};
}

// Where a record may write: a file named like a tile of some task, reached
// by a path without control characters, that lies in one of the list's
// folders and is nothing yet or a regular file (never a symbolic link). A
// record naming any other folder (an absolute path elsewhere, "../") means
// the file of its name in the tile folder or the list's folder, where one
// exists: the task's folder may have moved since the list was written.
// Nothing for any other path, so a list from elsewhere cannot write outside
// its folders.
std::optional<std::string> TilePathOf(const std::string& path, const RecordFolders& folders) {
    const std::string name = ExtractFileName(path);
    if (HasControlCharacter(path) || !IsTileFileName(name)) {
        return std::nullopt;
    }
    const std::string full = path.starts_with('/') ? path : folders.List + path;
    const std::string folder = ExtractFilePath(full);
    std::optional<std::string> chosen;
    if (folder == folders.List || folder == folders.Tiles) {
        chosen = full;
    } else {
        for (const std::string& candidate : {folders.Tiles + name, folders.List + name}) {
            if (FileExists(candidate)) {
                chosen = candidate;
                break;
            }
        }
    }
    if (!chosen || !IsAbsentOrRegularFile(*chosen)) {
        return std::nullopt;
    }
    return chosen;
}

// Fetches one line of the list and reports it; false when the server's
// refusal ends the list.
bool RedownloadRecord(const std::string& line, const RecordFolders& folders, THttpClient& http,
                      TNetBuffer& buffer, RedownloadOutput& output, RedownloadSummary& summary) {
    const std::optional<FailedTileRecord> record = ParseFailedRecord(line);
    if (!record) {
        output.AddLine(ShowControlCharacters(line) +
                       "->Error: not a failed-tile record (no \"|\").");
        ++summary.Failed;
        return true;
    }
    const std::optional<std::string> path = TilePathOf(record->Path, folders);
    if (!path) {
        output.AddLine(ShowControlCharacters(line) + "->Error: not a tile path.");
        ++summary.Failed;
        return true;
    }
    const std::string url = ShowControlCharacters(record->Url);
    const FetchResult result = Fetch(http, record->Url, TileFormat(*path), buffer);
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
    if (result.Outcome == RedownloadOutcome::ErrorLineAndProxyAdviceEndsList) {
        output.AddLine(kProxyRefusedAdvice);
        return false;
    }
    if (result.Outcome == RedownloadOutcome::ErrorAndNotFoundLines) {
        output.AddLine(url + ":" + kNotFoundMessage);
    }
    return true;
}

// The distinct tiles the records of `list` (read again from its start) name
// that are missing or the blank image of their format beside the program.
std::int64_t CountListedStillBlank(TextLineReader& list, const RecordFolders& folders) {
    std::map<std::string, std::string> blankImages;
    std::set<std::string> blank;
    std::string line;
    list.Rewind();
    while (list.Next(line)) {
        const std::optional<FailedTileRecord> record = ParseFailedRecord(line);
        const std::optional<std::string> path =
            record && !list.LineTooLong() ? TilePathOf(record->Path, folders) : std::nullopt;
        if (!path || blank.count(*path) != 0) {
            continue;
        }
        const std::string format = TileFormat(*path);
        auto image = blankImages.find(format);
        if (image == blankImages.end()) {
            std::string bytes;
            try {
                bytes = ReadFileBytes(ProgramFolder() + "blankimg/blank." + format);
            } catch (const EFileError&) {
                // Then only a missing tile counts as blank.
            }
            image = blankImages.emplace(format, std::move(bytes)).first;
        }
        if (IsMissingOrBlank(*path, image->second)) {
            blank.insert(*path);
        }
    }
    return static_cast<std::int64_t>(blank.size());
}

}  // namespace

std::string StillBlankLine(std::int64_t stillBlank) {
    if (stillBlank == 0) {
        return "No listed tile is still blank.";
    }
    return GroupedNumber(stillBlank) +
           (stillBlank == 1 ? " listed tile is still blank." : " listed tiles are still blank.");
}

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

    const RecordFolders folders = FoldersOf(listFileName);
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
                goOn = RedownloadRecord(line, folders, http, buffer, output, summary);
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
    try {
        summary.StillBlank = CountListedStillBlank(*list, folders);
        output.AddLine(StillBlankLine(summary.StillBlank));
    } catch (const EFileError& e) {
        output.AddLine(e.what());
    }
    return summary;
}

}  // namespace tessellon
