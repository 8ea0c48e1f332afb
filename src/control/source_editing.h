#pragma once
// Editing the sources file one source at a time, as the "Tile sources"
// window does: a source's keys as its section holds them, and saving or
// removing one section while every other line of the file, refused sources
// and comments included, keeps its bytes. The keys a source is edited by are
// the rows of kSourceKeyRules.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "task/source_key_rules.h"
#include "task/sources_file.h"
#include "task/tile_source.h"

namespace tessellon {

// "sources.ini" of a program in `programFolder` (ending in "/"), as
// SettingsFileIn places it.
std::string SourcesFileIn(const std::string& programFolder);

// The catalogue of sources shipped beside a program in `programFolder`
// (ending in "/"): read-only, a handful of public services.
std::string CatalogueFileIn(const std::string& programFolder);

// The sources of the file as the program reads them, with the user agent
// version of the configuration file; with a catalogue's name, its sources
// the file lacks follow (see WithCatalogue; a missing catalogue adds none).
SourcesFile ReadSources(const std::string& sourcesFileName, const std::string& configFileName,
                        const std::string& catalogueFileName = "");

// A source as the Tile sources window lists it.
struct ListedSource {
    TileSource Source;
    // Shipped with the program, read-only: editing it saves a copy of that
    // name in the user's file, which then wins.
    bool FromCatalogue = false;
    // "Name", or "Name (catalogue)".
    std::string Label;
};

struct SourcesWindowList {
    std::vector<ListedSource> Entries;
    // One line per source refused, or one for a file that cannot be read.
    std::vector<std::string> Errors;
};

// The user's sources, then the catalogue's the user's file has no source of
// the same name for, each marked.
SourcesWindowList ListForSourcesWindow(const std::string& sourcesFileName,
                                       const std::string& configFileName,
                                       const std::string& catalogueFileName);

// The first section of that name in `text`: "Name" and the keys as written
// (empty values left out), so that saving them back adds no default. None
// when no such section. Raises EIniLimitError for a text the reader refuses.
std::optional<SourceKeys> SectionKeys(std::string_view text, const std::string& name);

// `text` with the first section named `name` replaced by `keys` ("Name"
// gives the section's name; keys with empty values are left out; comment
// lines of the old section stay at its head), or that section removed when
// `keys` is empty. A name no section has appends the section. Lines keep the
// file's own line ending.
std::string ReplaceSection(std::string_view text, const std::string& name, const SourceKeys& keys);

// Saving from the window: `keys` as the fields hold them ("Name" among
// them), replacing the section `oldName` (empty: a new source). Returns
// the message that refuses it, the same as the file reader's for a bad key,
// or that the name is taken, or that the file cannot be read or written; none when
// the file holds the source now.
std::optional<std::string> SaveSource(const std::string& sourcesFileName,
                                      const std::string& oldName, const SourceKeys& keys,
                                      std::string_view version);

// Removes the section; a file without it, or one the reader refuses (whose
// sources are none of the list's), stays as it is.
void RemoveSource(const std::string& sourcesFileName, const std::string& name);

}  // namespace tessellon
