#include "control/task_log.h"

#include <deque>
#include <iterator>

namespace tessellon {

std::vector<std::string> NewestLogLines(const std::string& fileName, std::size_t limit) {
    TextLineReader reader(fileName, std::string::npos);
    std::deque<std::string> newest;
    bool older = false;
    std::string line;
    while (reader.Next(line)) {
        if (newest.size() == limit) {
            newest.pop_front();
            older = true;
        }
        newest.push_back(std::move(line));
    }
    std::vector<std::string> lines;
    lines.reserve(newest.size() + 1);
    if (older) {
        lines.emplace_back(kOlderLogLinesLine);
    }
    lines.insert(lines.end(), std::make_move_iterator(newest.begin()),
                 std::make_move_iterator(newest.end()));
    return lines;
}

std::vector<std::string> TaskLog::Open(const std::string& fileName,
                                       std::vector<std::string> headLines, std::size_t shown) {
    const FileMark mark = MarkOfFile(fileName);
    std::vector<std::string> lines;
    if (shown > 0) {
        lines = NewestLogLines(fileName, shown);
    }
    fileName_ = fileName;
    head_ = std::move(headLines);
    mark_ = mark;
    unsaved_.clear();
    return lines;
}

void TaskLog::Add(const std::string& line) {
    unsaved_.push_back(line);
}

void TaskLog::Save() {
    std::size_t size = 0;
    for (const std::string& line : unsaved_) {
        size += line.size() + 2;
    }
    std::string bytes;
    bytes.reserve(size);
    for (const std::string& line : unsaved_) {
        bytes += line;
        bytes += "\r\n";
    }
    if (!AppendToMarkedFile(fileName_, mark_, bytes)) {
        std::vector<std::string> lines = head_;
        lines.insert(lines.end(), unsaved_.begin(), unsaved_.end());
        WriteLinesAtomic(fileName_, lines);
        mark_ = MarkOfFile(fileName_);
    }
    unsaved_.clear();
}

}  // namespace tessellon
