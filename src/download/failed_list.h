#pragma once
// The failed-tile list (".ftl"): one record per line, the tile's full file
// path, "|", and the tile's URL; every line ends in CR LF and an empty list is
// an empty file. Records are only ever added; a tile that failed in two runs
// stands twice.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessellon {

// A record is a path and a URL; a longer line is no record we wrote.
inline constexpr std::size_t kMaxFailedRecordBytes = 8 * 1024;

struct FailedTileRecord {
    std::string Path;
    std::string Url;
};

std::string FormatFailedRecord(std::string_view path, std::string_view url);

// Splits a line at its first "|"; nothing for a line without one.
std::optional<FailedTileRecord> ParseFailedRecord(std::string_view line);

// How many distinct tiles the records among `lines` name that are still
// blank: no regular file at the path, or one with exactly the bytes of
// `blankImage` (when empty, only a missing file counts).
std::int64_t CountStillBlank(const std::vector<std::string>& lines, std::string_view blankImage);

}  // namespace tessellon
