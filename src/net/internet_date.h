#pragma once
// Dates of reply headers ("Date", "Expires", "Last-Modified") as local
// date-times: days since 1899-12-30, the time of day as the fraction.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessellon {

using TDateTime = double;

// The UTC date-time of an Internet date: an optional weekday name, day, month
// name and year (separated by blanks or "-"; two-digit years below 80 are
// 20xx, the rest 19xx), an optional time "hh:mm:ss" and an optional zone
// offset "+hhmm"/"-hhmm" (a zone name counts as UTC). None when unreadable.
std::optional<TDateTime> ParseInternetDate(std::string_view text);

// A UTC date-time shifted to the system's local time. Raises
// EFailedToRetrieveTimeZoneInfo when the time zone cannot be applied.
TDateTime UtcToLocal(TDateTime utc);

// A UTC date-time as seconds since 1970-01-01 UTC, rounded to the second.
std::int64_t DateTimeToUnix(TDateTime date);
// Whether a request header can carry the date: its year has four digits.
bool CarriesAsInternetDate(std::int64_t seconds);
// The date form a request header carries: "Sun, 06 Nov 1994 08:49:37 GMT";
// empty for a date it cannot carry.
std::string UnixToInternetDate(std::int64_t seconds);

}  // namespace tessellon
