#include "download/failed_list.h"

#include <algorithm>
#include <cstdint>
#include <set>

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process_lock.h"
#include "task/md_task.h"

namespace tessellon {

std::string FormatFailedRecord(std::string_view path, std::string_view url) {
    std::string record(path);
    record += '|';
    record += url;
    return record;
}

std::optional<FailedTileRecord> ParseFailedRecord(std::string_view line) {
    const std::size_t bar = line.find('|');
    if (bar == std::string_view::npos) {
        return std::nullopt;
    }
    return FailedTileRecord{std::string(line.substr(0, bar)), std::string(line.substr(bar + 1))};
}

bool IsMissingOrBlank(const std::string& path, std::string_view blankImage) {
    const std::optional<std::uint64_t> size = RegularFileSize(path);
    if (!size) {
        return true;
    }
    if (blankImage.empty() || *size != blankImage.size()) {
        return false;
    }
    try {
        return ReadFileBytes(path) == blankImage;
    } catch (const EFileError&) {
        return true;
    }
}

std::vector<TileId> StillBlankListedTiles(const std::vector<std::string>& lines, const MDTask& task,
                                          std::string_view blankImage) {
    std::set<std::int64_t> seqs;
    for (const std::string& line : lines) {
        const std::optional<FailedTileRecord> record = ParseFailedRecord(line);
        if (!record) {
            continue;
        }
        const std::string name = ExtractFileName(record->Path);
        const std::optional<TileFileName> parsed = ParseTileFileName(name);
        if (!parsed) {
            continue;
        }
        const TileId tile{parsed->Zoom, parsed->X, parsed->Y};
        const std::int64_t seq = task.Cover.SeqOf(tile);
        if (seq != 0 && task.GetTileFileName(tile) == name && seqs.count(seq) == 0 &&
            IsMissingOrBlank(task.GetTilePath(tile), blankImage)) {
            seqs.insert(seq);
        }
    }
    std::vector<TileId> tiles;
    tiles.reserve(seqs.size());
    for (const std::int64_t seq : seqs) {
        tiles.push_back(task.Cover.At(seq));
    }
    return tiles;
}

std::optional<TileId> FailedTileRetry::Take() {
    const std::size_t index = next_.fetch_add(1);
    if (index >= tiles_.size()) {
        return std::nullopt;
    }
    return tiles_[index];
}

std::int64_t CountEarlierUnlistedBlanks(const MDTask& task, const std::vector<std::int64_t>& resume,
                                        const std::set<std::string>& listed,
                                        std::string_view blankImage, std::stop_token stop) {
    const auto workers = static_cast<std::int64_t>(resume.size());
    if (workers == 0) {
        return 0;
    }
    const std::int64_t last =
        std::min(*std::max_element(resume.begin(), resume.end()), task.TotalCount);
    std::int64_t count = 0;
    for (TileCover::Cursor c = task.Cover.From(1); c.Valid() && c.Seq() <= last; c.Advance(1)) {
        if (c.Seq() > resume[static_cast<std::size_t>(c.Seq() % workers)]) {
            continue;
        }
        if (stop.stop_requested()) {
            break;
        }
        const std::string path = task.GetTilePath(c.Tile());
        if (IsMissingOrBlank(path, blankImage) && listed.count(path) == 0) {
            ++count;
        }
    }
    return count;
}

}  // namespace tessellon
