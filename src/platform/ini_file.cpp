#include "platform/ini_file.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>
#include <optional>
#include <unordered_set>
#include <vector>

#include "platform/files.h"
#include "platform/numbers.h"
#include "platform/shown_text.h"

namespace tessellon {

namespace {

std::string_view TrimBlanks(std::string_view text) {
    const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// The section name of a "[name]" line.
std::optional<std::string_view> SectionName(std::string_view line) {
    line = TrimBlanks(line);
    if (line.empty() || line.front() != '[') {
        return std::nullopt;
    }
    const std::size_t close = line.find(']');
    if (close == std::string_view::npos) {
        return std::nullopt;
    }
    return TrimBlanks(line.substr(1, close - 1));
}

// The key name of a "key=value" line.
std::optional<std::string_view> KeyName(std::string_view line) {
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        return std::nullopt;
    }
    return TrimBlanks(line.substr(0, equals));
}

struct KeyPosition {
    std::optional<std::size_t> section;  // line of the section header
    std::optional<std::size_t> key;      // line of the key within that section
    std::size_t sectionEnd = 0;          // one past the section's last non-empty line
};

KeyPosition Locate(const std::vector<std::string>& lines, std::string_view section,
                   std::string_view key) {
    KeyPosition position;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (const auto name = SectionName(lines[i])) {
            if (position.section) {
                break;  // the next section begins
            }
            if (SameIniName(*name, section)) {
                position.section = i;
                position.sectionEnd = i + 1;
            }
            continue;
        }
        if (!position.section) {
            continue;
        }
        if (!TrimBlanks(lines[i]).empty()) {
            position.sectionEnd = i + 1;
        }
        if (const auto name = KeyName(lines[i]); name && !position.key && SameIniName(*name, key)) {
            position.key = i;
        }
    }
    return position;
}

// Read within kInputFileLimit, so a settings or project path that names a
// device or a huge file reads as no file instead of filling the memory.
std::optional<std::vector<std::string>> ReadLinesIfPresent(const std::string& fileName) {
    try {
        return SplitTextLines(ReadInputFile(fileName));
    } catch (const EFileError&) {
        return std::nullopt;
    }
}

// The lines written back are read again as the same lines (a value holds no
// line break), so editing them in memory key after key gives what writing
// the file after each key would.
void SetKey(std::vector<std::string>& lines, const std::string& section, const std::string& key,
            const std::string& value) {
    const KeyPosition position = Locate(lines, section, key);
    const std::string keyLine = key + "=" + value;
    if (position.key) {
        lines[*position.key] = keyLine;
    } else if (position.section) {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(position.sectionEnd), keyLine);
    } else {
        if (!lines.empty() && !TrimBlanks(lines.back()).empty()) {
            lines.emplace_back();
        }
        lines.push_back("[" + section + "]");
        lines.push_back(keyLine);
    }
}

}  // namespace

bool SameIniName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::vector<IniSection> ReadIniSections(const std::vector<std::string>& lines) {
    std::vector<IniSection> sections;
    // The current section's key names, folded to lower case: a later line of
    // a key already seen is found at once, however many keys came before.
    std::unordered_set<std::string> seen;
    for (const std::string& line : lines) {
        if (const auto name = SectionName(line)) {
            sections.push_back({std::string(*name), {}});
            seen.clear();
            continue;
        }
        const auto key = KeyName(line);
        if (sections.empty() || !key) {
            continue;
        }
        if (!seen.insert(FoldedIniName(*key)).second) {
            continue;
        }
        auto& keys = sections.back().Keys;
        if (keys.size() == kMostIniSectionKeys) {
            throw EIniLimitError("Its section [" + ShowControlCharacters(sections.back().Name) +
                                 "] holds more than " + std::to_string(kMostIniSectionKeys) +
                                 " keys.");
        }
        const std::string_view value = std::string_view(line).substr(line.find('=') + 1);
        keys.emplace_back(std::string(*key), std::string(TrimBlanks(value)));
    }
    return sections;
}

std::vector<IniSection> ReadIniFileSections(const std::string& fileName) {
    const std::vector<std::string> lines = SplitTextLines(ReadInputFile(fileName));
    try {
        return ReadIniSections(lines);
    } catch (const EIniLimitError& error) {
        throw EFileError("Cannot read file \"" + fileName + "\". " + error.what());
    }
}

std::string FoldedIniName(std::string_view name) {
    std::string folded(name);
    std::transform(folded.begin(), folded.end(), folded.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return folded;
}

bool ParseProfileInteger(const std::string& text, int& result) {
    std::string_view digits = text;
    const bool negative = digits.starts_with('-');
    if (negative || digits.starts_with('+')) {
        digits.remove_prefix(1);
    }
    int base = 10;
    if (digits.starts_with("0x") || digits.starts_with("0X")) {
        base = 16;
        digits.remove_prefix(2);
    }
    // Unsigned, so a sign after the prefix or a second sign is refused.
    const std::optional<std::uint32_t> magnitude = ParseInteger<std::uint32_t>(digits, base);
    if (!magnitude) {
        return false;
    }
    long long value = *magnitude;
    // Hexadecimal may spell the 32-bit pattern of a negative number.
    if (base == 16 && value > INT_MAX) {
        value -= 1LL << 32;
    }
    value = negative ? -value : value;
    if (value < INT_MIN || value > INT_MAX) {
        return false;
    }
    result = static_cast<int>(value);
    return true;
}

std::string IniFile::ReadString(const std::string& section, const std::string& key,
                                const std::string& defaultValue) const {
    const auto lines = ReadLinesIfPresent(fileName_);
    if (!lines) {
        return defaultValue;
    }
    const KeyPosition position = Locate(*lines, section, key);
    if (!position.key) {
        return defaultValue;
    }
    const std::string& line = (*lines)[*position.key];
    return std::string(TrimBlanks(std::string_view(line).substr(line.find('=') + 1)));
}

int IniFile::ReadInteger(const std::string& section, const std::string& key,
                         int defaultValue) const {
    int value = 0;
    return ParseProfileInteger(ReadString(section, key, ""), value) ? value : defaultValue;
}

void IniFile::WriteString(const std::string& section, const std::string& key,
                          const std::string& value) {
    WriteStrings(section, {{key, value}});
}

void IniFile::WriteStrings(const std::string& section,
                           const std::vector<std::pair<std::string, std::string>>& keyValues) {
    if (keyValues.empty()) {
        return;
    }
    // A file that is there but cannot be read is not replaced by the keys
    // written now.
    const std::optional<std::vector<std::string>> present = ReadLinesIfPresent(fileName_);
    if (!present && (FileExists(fileName_) || !IsAbsentOrRegularFile(fileName_))) {
        throw EIniFileException("Unable to write to " + fileName_);
    }
    std::vector<std::string> lines = present.value_or(std::vector<std::string>{});
    for (const auto& [key, value] : keyValues) {
        SetKey(lines, section, key, value);
    }
    try {
        WriteLinesAtomic(fileName_, lines, writeOptions_);
    } catch (const EFileError&) {
        throw EIniFileException("Unable to write to " + fileName_);
    }
}

void IniFile::WriteInteger(const std::string& section, const std::string& key, int value) {
    WriteString(section, key, std::to_string(value));
}

}  // namespace tessellon
