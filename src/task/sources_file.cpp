#include "task/sources_file.h"

#include <algorithm>
#include <unordered_set>

#include "platform/files.h"
#include "platform/ini_file.h"
#include "platform/shown_text.h"

namespace tessellon {

SourcesFile ReadSourcesFile(const std::string& fileName, std::string_view version) {
    if (!FileExists(fileName)) {
        return {{}, {"No sources file \"" + fileName + "\"."}};
    }
    try {
        return ParseSources(ReadInputFile(fileName), version);
    } catch (const EFileError& error) {
        return {{}, {error.what()}};
    } catch (const EIniLimitError& error) {
        return {{}, {"Cannot read file \"" + fileName + "\". " + error.what()}};
    }
}

SourcesFile WithCatalogue(SourcesFile user, const SourcesFile& catalogue,
                          const std::string& userFileName) {
    if (!catalogue.Sources.empty() && !FileExists(userFileName)) {
        user.Errors.clear();
    }
    for (const TileSource& source : catalogue.Sources) {
        if (std::none_of(user.Sources.begin(), user.Sources.end(), [&](const TileSource& own) {
                return SameIniName(own.Name(), source.Name());
            })) {
            user.Sources.push_back(source);
        }
    }
    user.Errors.insert(user.Errors.end(), catalogue.Errors.begin(), catalogue.Errors.end());
    return user;
}

SourcesFile ParseSources(std::string_view text, std::string_view version) {
    // Editors on some systems begin a UTF-8 file with a byte order mark,
    // which would otherwise hide the first section's header.
    if (text.starts_with(kUtf8ByteOrderMark)) {
        text.remove_prefix(kUtf8ByteOrderMark.size());
    }
    SourcesFile file;
    std::unordered_set<std::string> names;
    for (const IniSection& section : ReadIniSections(SplitTextLines(text))) {
        // The INI rules read the first section of a name; a second one is
        // never what the user meant to be ignored silently.
        std::string folded = FoldedIniName(section.Name);
        if (names.contains(folded)) {
            file.Errors.push_back("Source '" + ShowControlCharacters(section.Name) +
                                  "' appears twice; the first one is used.");
            continue;
        }
        try {
            file.Sources.push_back(TileSource::Read(section.Name, section.Keys, version));
            names.insert(std::move(folded));
        } catch (const ETileSourceError& error) {
            file.Errors.emplace_back(error.what());
        }
    }
    return file;
}

}  // namespace tessellon
