#pragma once
// Fetches again the tiles of a failed-tile list, one after the other on the
// calling thread, writes each over its file, and reports every record as a
// line. A source task's image tile is written only when the body is an
// image. The list itself is never changed.

#include <string>

#include "net/net_limits.h"

namespace tessellon {

class RedownloadOutput {
public:
    virtual ~RedownloadOutput() = default;
    virtual void AddLine(const std::string& line) = 0;
    // Lets the front end serve what is waiting, once, after "Start...".
    virtual void ServePendingOnce() = 0;
};

inline constexpr const char* kRedownloadReferer = "http://maps.tessellon.org/";
inline constexpr const char* kRedownloadUserAgent =
    "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)";

struct RedownloadSummary {
    bool ListRead = false;  // false: the list could not be read
    int Fetched = 0;        // records fetched and written
    int Failed = 0;         // records tried that were not
};

RedownloadSummary RunRedownload(const std::string& listFileName, RedownloadOutput& output,
                                const TNetTimeLimits& timeLimits = {});

}  // namespace tessellon
