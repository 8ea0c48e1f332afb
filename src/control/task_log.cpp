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

void TaskLog::Add(std::string_view line) {
    unsaved_ += line;
    unsaved_ += "\r\n";
}

void TaskLog::Save() {
    if (!AppendToMarkedFile(fileName_, mark_, unsaved_)) {
        AtomicFileWriter writer(fileName_);
        for (const std::string& line : head_) {
            writer.AppendLine(line);
        }
        writer.Append(unsaved_);
        writer.Commit();
        mark_ = MarkOfFile(fileName_);
    }
    // Cleared, not freed: the lines up to the next save take the same room.
    unsaved_.clear();
}

}  // namespace tessellon
