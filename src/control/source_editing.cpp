#include "control/source_editing.h"

#include <algorithm>
#include <vector>

#include "control/configuration.h"
#include "platform/files.h"
#include "platform/ini_file.h"
#include "platform/shown_text.h"

namespace tessellon {

namespace {

// The section a line opens, by the same INI rules the reader applies.
std::optional<std::string> HeaderName(const std::string& line) {
    const std::vector<IniSection> sections = ReadIniSections({line});
    if (sections.empty()) {
        return std::nullopt;
    }
    return sections.front().Name;
}

bool IsBlank(std::string_view line) {
    return line.find_first_not_of(" \t") == std::string_view::npos;
}

bool IsComment(std::string_view line) {
    const std::size_t first = line.find_first_not_of(" \t");
    return first != std::string_view::npos && (line[first] == ';' || line[first] == '#');
}

// The file writes lines back with the break it already uses; a new file gets
// the CR LF of every other file the program writes.
std::string_view LineBreakOf(std::string_view text) {
    if (text.find("\r\n") != std::string_view::npos) {
        return "\r\n";
    }
    if (text.find('\n') != std::string_view::npos) {
        return "\n";
    }
    return text.find('\r') != std::string_view::npos ? "\r" : "\r\n";
}

std::string NameOf(const SourceKeys& keys) {
    const auto name = std::find_if(keys.begin(), keys.end(), [](const auto& entry) {
        return SameIniName(entry.first, SourceKey("Name").Name);
    });
    return name == keys.end() ? std::string() : name->second;
}

std::string ReadTextIfPresent(const std::string& fileName) {
    return FileExists(fileName) ? ReadInputFile(fileName) : std::string();
}

}  // namespace

std::string SourcesFileIn(const std::string& programFolder) {
    return SettingsFileIn(programFolder, "sources.ini");
}

std::string CatalogueFileIn(const std::string& programFolder) {
    return programFolder + "sources.ini";
}

SourcesFile ReadSources(const std::string& sourcesFileName, const std::string& configFileName,
                        const std::string& catalogueFileName) {
    const std::string version = Configuration(configFileName).Read(settings::Version);
    SourcesFile file = ReadSourcesFile(sourcesFileName, version);
    if (catalogueFileName.empty() || !FileExists(catalogueFileName)) {
        return file;
    }
    return WithCatalogue(std::move(file), ReadSourcesFile(catalogueFileName, version),
                         sourcesFileName);
}

SourcesWindowList ListForSourcesWindow(const std::string& sourcesFileName,
                                       const std::string& configFileName,
                                       const std::string& catalogueFileName) {
    const std::size_t own = ReadSources(sourcesFileName, configFileName).Sources.size();
    SourcesFile all = ReadSources(sourcesFileName, configFileName, catalogueFileName);
    SourcesWindowList list;
    list.Errors = std::move(all.Errors);
    for (std::size_t i = 0; i < all.Sources.size(); ++i) {
        const bool catalogue = i >= own;
        std::string label = all.Sources[i].Name() + (catalogue ? " (catalogue)" : "");
        list.Entries.push_back({std::move(all.Sources[i]), catalogue, std::move(label)});
    }
    return list;
}

std::optional<SourceKeys> SectionKeys(std::string_view text, const std::string& name) {
    for (const IniSection& section : ReadIniSections(SplitTextLines(text))) {
        if (!SameIniName(section.Name, name)) {
            continue;
        }
        SourceKeys keys{{std::string(SourceKey("Name").Name), section.Name}};
        std::copy_if(section.Keys.begin(), section.Keys.end(), std::back_inserter(keys),
                     [](const auto& entry) { return !entry.second.empty(); });
        return keys;
    }
    return std::nullopt;
}

std::string ReplaceSection(std::string_view text, const std::string& name, const SourceKeys& keys) {
    std::vector<std::string> lines = SplitTextLines(text);
    const auto isHeader = [](const std::string& line) { return HeaderName(line).has_value(); };
    auto start = std::find_if(lines.begin(), lines.end(), [&](const std::string& line) {
        const auto header = HeaderName(line);
        return header && SameIniName(*header, name);
    });
    const bool found = start != lines.end();
    if (!found && keys.empty()) {
        return std::string(text);
    }
    auto end = found ? std::find_if(start + 1, lines.end(), isHeader) : start;
    std::vector<std::string> block;
    if (keys.empty()) {
        // The last section goes with the blank lines that parted it from
        // the one before, so adding a source and removing it again gives
        // the file back.
        while (end == lines.end() && start != lines.begin() && IsBlank(*(start - 1))) {
            --start;
        }
    } else {
        // Built by appending: GCC 12 takes "[" + name + "]" for an
        // overlapping copy in Release builds (-Wrestrict).
        std::string header = "[";
        header += NameOf(keys);
        header += ']';
        block.push_back(std::move(header));
        std::copy_if(start + (found ? 1 : 0), end, std::back_inserter(block), IsComment);
        for (const auto& [key, value] : keys) {
            if (!SameIniName(key, SourceKey("Name").Name) && !value.empty()) {
                block.push_back(key + "=" + value);
            }
        }
        // The blank lines that part the section from the next one stay.
        while (end != start && IsBlank(*(end - 1))) {
            --end;
        }
        if (!found && !lines.empty() && !IsBlank(lines.back())) {
            block.insert(block.begin(), std::string());
        }
    }
    lines.insert(lines.erase(start, end), block.begin(), block.end());
    const std::string_view lineBreak = LineBreakOf(text);
    std::string result;
    for (const std::string& line : lines) {
        result += line;
        result += lineBreak;
    }
    return result;
}

std::optional<std::string> SaveSource(const std::string& sourcesFileName,
                                      const std::string& oldName, const SourceKeys& keys,
                                      std::string_view version) {
    const std::string name = NameOf(keys);
    try {
        TileSource::FromKeys(keys, version);
    } catch (const ETileSourceError& error) {
        return error.what();
    }
    // A name the section line cannot hold as it is would come back as
    // another source, or as none.
    if (HeaderName("[" + name + "]") != name) {
        return "Source '" + ShowControlCharacters(name) +
               "': a name cannot hold ] or begin or end with a blank.";
    }
    try {
        const std::string text = ReadTextIfPresent(sourcesFileName);
        if (!SameIniName(name, oldName) && SectionKeys(text, name)) {
            return "Source '" + ShowControlCharacters(name) + "' exists already.";
        }
        WriteFileAtomic(sourcesFileName,
                        ReplaceSection(text, oldName.empty() ? name : oldName, keys));
    } catch (const EFileError&) {
        return "Unable to write to " + sourcesFileName;
    } catch (const EIniLimitError& error) {
        return "Cannot read file \"" + sourcesFileName + "\". " + error.what();
    }
    return std::nullopt;
}

void RemoveSource(const std::string& sourcesFileName, const std::string& name) {
    const std::string text = ReadTextIfPresent(sourcesFileName);
    try {
        if (!SectionKeys(text, name)) {
            return;
        }
    } catch (const EIniLimitError&) {
        return;
    }
    WriteFileAtomic(sourcesFileName, ReplaceSection(text, name, {}));
}

}  // namespace tessellon
