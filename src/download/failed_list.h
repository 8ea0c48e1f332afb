#pragma once
// The failed-tile list (".ftl"): one record per line, the tile's full file
// path, "|", and the tile's URL; every line ends in CR LF and an empty list is
// an empty file. Records are only ever added; a tile that failed in two runs
// stands twice. And what a run leaves blank: the listed tiles still blank,
// which a run may fetch again first, and the tiles left blank unlisted (the
// server had no image for them).

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "task/tile_cover.h"

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

class MDTask;

// True when no regular file is at `path`, or one with exactly the bytes of
// `blankImage` (when empty, only a missing file counts). Only a file of the
// blank image's size is read.
bool IsMissingOrBlank(const std::string& path, std::string_view blankImage);

// The tiles of `task` that records among `lines` name and that are still
// blank in the task's folder, each once, in the order of the walk. A record
// is taken by its file name, so a list whose folder moved still names its
// tiles; a name of another task's layer or outside the cover names none.
std::vector<TileId> StillBlankListedTiles(const std::vector<std::string>& lines, const MDTask& task,
                                          std::string_view blankImage);

// The listed tiles a run fetches again before it walks on: its workers take
// them one at a time.
class FailedTileRetry {
public:
    explicit FailedTileRetry(std::vector<TileId> tiles) : tiles_(std::move(tiles)) {}

    // The next tile no worker has taken; none when all were.
    std::optional<TileId> Take();
    std::size_t Size() const { return tiles_.size(); }

private:
    const std::vector<TileId> tiles_;
    std::atomic<std::size_t> next_{0};
};

// How many tiles that earlier runs of `task` finished are blank (or missing)
// without a record among `listed` (file paths): tiles the server had no
// image for. Earlier runs finished, for each worker slot k of `workers`, the
// positions up to resume[k] whose order number modulo `workers` is k. Ends
// early, with what it counted so far, when `stop` is requested.
std::int64_t CountEarlierUnlistedBlanks(const MDTask& task, const std::vector<std::int64_t>& resume,
                                        const std::set<std::string>& listed,
                                        std::string_view blankImage, std::stop_token stop);

}  // namespace tessellon
