#pragma once
// Fetches again the tiles of a failed-tile list, one after the other on the
// calling thread, writes each over its file, reports every record as a line
// and as a count, and ends with how many listed tiles are still blank. A source task's image tile
// is written only when the body is an image. The list itself is never changed. A list may come from
// elsewhere: it is read line by line with a bound on a line, a record writes
// only a tile file (see IsTileFileName) that is absent or regular, relative
// paths lie in the list's folder, and outside text in a line shows its
// control characters as \xNN.

#include <cstdint>
#include <string>

#include "net/net_limits.h"

namespace tessellon {

class RedownloadOutput {
public:
    virtual ~RedownloadOutput() = default;
    virtual void AddLine(const std::string& line) = 0;
    // Records done of all: 0 after "Start...", then after each record.
    virtual void RecordsDone(int /*done*/, int /*total*/) {}
    // Asked before each record, on the calling thread: true ends the run
    // there, so a front end on another thread cancels without breaking a
    // fetch or a write.
    virtual bool CancelRequested() { return false; }
};

inline constexpr const char* kRedownloadReferer = "http://maps.tessellon.org/";
inline constexpr const char* kRedownloadUserAgent =
    "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)";

struct RedownloadSummary {
    bool ListRead = false;   // false: the list could not be read
    int Fetched = 0;         // records fetched and written
    int Failed = 0;          // records tried that were not
    bool Cancelled = false;  // ended by CancelRequested before the last record
    // Distinct tiles of the list that are, at the end, missing or the blank
    // image beside the program.
    std::int64_t StillBlank = 0;
};

// The last line of a run: how many listed tiles are still blank.
std::string StillBlankLine(std::int64_t stillBlank);

// The line a cancelled run adds before "Download End.".
std::string RedownloadCancelledLine(int done, int total);

RedownloadSummary RunRedownload(const std::string& listFileName, RedownloadOutput& output,
                                const TNetTimeLimits& timeLimits = {});

}  // namespace tessellon
