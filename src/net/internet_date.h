#pragma once
// Dates of reply headers ("Date", "Expires", "Last-Modified") as local
// date-times: days since 1899-12-30, the time of day as the fraction.

#include <optional>
#include <string_view>

namespace tessellon {

using TDateTime = double;

// The UTC date-time of an Internet date: an optional weekday name, day, month
// name and year (separated by blanks or "-"; two-digit years below 80 are
// 20xx, the rest 19xx), an optional time "hh:mm:ss" and an optional zone
// offset "+hhmm"/"-hhmm" (a zone name counts as UTC). None when unreadable.
std::optional<TDateTime> ParseInternetDate(std::string_view text);

// `ParseInternetDate`, shifted to the system's local time; an absent or
// unreadable date counts as 0 (1899-12-30 00:00 UTC) and is shifted likewise.
// Raises EFailedToRetrieveTimeZoneInfo when the time zone cannot be applied.
TDateTime InternetDateToLocal(std::string_view text);

}  // namespace tessellon
