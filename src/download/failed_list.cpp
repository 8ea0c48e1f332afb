#include "download/failed_list.h"

#include <cstdint>
#include <set>

#include "platform/files.h"
#include "platform/process_lock.h"

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

std::int64_t CountStillBlank(const std::vector<std::string>& lines, std::string_view blankImage) {
    std::set<std::string> counted;
    for (const std::string& line : lines) {
        const std::optional<FailedTileRecord> record = ParseFailedRecord(line);
        if (!record || counted.count(record->Path) != 0) {
            continue;
        }
        const std::optional<std::uint64_t> size = RegularFileSize(record->Path);
        bool blank = !size;
        if (size && !blankImage.empty() && *size == blankImage.size()) {
            try {
                blank = ReadFileBytes(record->Path) == blankImage;
            } catch (const EFileError&) {
                blank = true;
            }
        }
        if (blank) {
            counted.insert(record->Path);
        }
    }
    return static_cast<std::int64_t>(counted.size());
}

}  // namespace tessellon
