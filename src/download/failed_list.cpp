#include "download/failed_list.h"

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

}  // namespace tessellon
