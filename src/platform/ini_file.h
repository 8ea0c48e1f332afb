#pragma once
// INI profile strings, with the rules the configuration file and the task
// project file rely on: a section opens at its name in square brackets; a
// key's value is the text after the first "=" of its line, surrounding blanks
// removed; section and key names match without regard to case; writing a key
// replaces its value in place and creates the file and the section when they
// are missing. Every operation reads the file afresh, as the profile
// functions of the original platform do; writes replace the file atomically.

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/files.h"

namespace tessellon {

// Raised by a write that cannot reach the disk: "Unable to write to " + path.
class EIniFileException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class IniFile {
public:
    // `writeOptions` apply to every rewrite (the mode of a file made new).
    explicit IniFile(std::string fileName, FileWriteOptions writeOptions = {})
        : fileName_(std::move(fileName)), writeOptions_(writeOptions) {}

    const std::string& FileName() const { return fileName_; }

    // A missing file, section or key gives `defaultValue`.
    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue) const;
    // A decimal integer, or hexadecimal after "0x"/"0X", within 32 bits; a
    // missing key or any other text gives `defaultValue`.
    int ReadInteger(const std::string& section, const std::string& key, int defaultValue) const;

    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, int value);
    // Writes the keys of one section, in this order, with a single read and
    // a single rewrite of the file; the file ends up with the bytes the
    // WriteString calls one after another would give it (none: untouched).
    void WriteStrings(const std::string& section,
                      const std::vector<std::pair<std::string, std::string>>& keyValues);

private:
    std::string fileName_;
    FileWriteOptions writeOptions_;
};

// The integer rule of ReadInteger on its own: true and `result` set when the
// whole text is such an integer.
[[nodiscard]] bool ParseProfileInteger(const std::string& text, int& result);

// Whether two section or key names are the same name by the rule above.
[[nodiscard]] bool SameIniName(std::string_view a, std::string_view b);
// The name in the one form that SameIniName names share, for sets and maps.
std::string FoldedIniName(std::string_view name);

// The most keys one section may hold when its lines are read as sections:
// far above any real source or project, yet it refuses a file grown by
// accident or made to stall its reader.
inline constexpr std::size_t kMostIniSectionKeys = 1000;

// Raised by ReadIniSections for a section over kMostIniSectionKeys; the
// message names the section, a reader that knows the file names the file.
class EIniLimitError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One section of INI lines as ReadString sees it: its keys in the order
// written, each with its first value (a later line of the same key is not
// read), values trimmed as ReadString trims them.
struct IniSection {
    std::string Name;
    std::vector<std::pair<std::string, std::string>> Keys;
};

// Every section of the lines in the order written, so a reader that lists
// sections sees what ReadString reads. A second section of a name already
// seen is listed too, though ReadString never reaches it: the caller decides
// what to tell about it. Lines before the first section belong to none.
// One pass over the lines; raises EIniLimitError for a section with more
// than kMostIniSectionKeys different keys.
std::vector<IniSection> ReadIniSections(const std::vector<std::string>& lines);

// The sections of the file as ReadIniSections gives them, the file read
// within kInputFileLimit. Raises EFileError naming the file for a file that
// cannot be read or is too large and for a section with too many keys.
std::vector<IniSection> ReadIniFileSections(const std::string& fileName);

}  // namespace tessellon
