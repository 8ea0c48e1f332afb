#pragma once
// The log of a running download as the core keeps it: only the lines not yet
// saved. A save appends them to the log file, so it costs the same at the
// millionth line as at the first, and the file ends up with the bytes a
// whole rewrite would give (every line ends in CR LF). The log window shows
// the newest lines only; the file holds them all.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"

namespace tessellon {

// The log window's text before any task.
inline constexpr const char* kLogWindowPlaceholder = "[log window]";
// The most log lines a window keeps; above them, one line says where the
// older ones are.
inline constexpr std::size_t kLogWindowLines = 100'000;
inline constexpr const char* kOlderLogLinesLine = "Older lines are in the log file.";

// The newest `limit` lines of a log file, led by kOlderLogLinesLine when it
// holds more. Read as a stream: a log of any length takes memory for `limit`
// lines only. Throws EFileError when it cannot be read.
std::vector<std::string> NewestLogLines(const std::string& fileName, std::size_t limit);

class TaskLog {
public:
    // Takes over the log file as a start left it, and returns the newest
    // `shown` lines of it (NewestLogLines); with none shown, the file is not
    // read. `headLines` start the file should it have to be made anew. Lines
    // kept from an earlier task are dropped.
    std::vector<std::string> Open(const std::string& fileName, std::vector<std::string> headLines,
                                  std::size_t shown = kLogWindowLines);
    void Add(std::string_view line);
    // Appends the lines added since the last save. A log file that is no
    // longer the one last saved (removed, replaced, cut or grown behind our
    // back) is not appended to, since that could leave a hole or foreign
    // bytes mid-log; it is made anew with the head and the unsaved lines.
    // Throws EFileError; the lines stay unsaved then, for the next save.
    void Save();
    // The lines added since the last save, each ended by CR LF as the file
    // holds them: the lines between two saves are one piece, not one each.
    const std::string& Unsaved() const { return unsaved_; }

private:
    std::string fileName_;
    std::vector<std::string> head_;
    FileMark mark_;
    std::string unsaved_;
};

}  // namespace tessellon
