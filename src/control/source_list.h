#pragma once
// The main window's "Source:" list: which sources it offers, which entry is
// chosen when the list is read again, and what the user learns of the
// sources the file refused. A window fills its list from these entries and
// shows the refusals; it decides nothing itself.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "control/configuration.h"
#include "task/sources_file.h"
#include "task/tile_layer.h"

namespace tessellon {

// The id of the "Source:" choice in the "Maps Type" box: it follows the
// tile layers.
inline constexpr int kSourceItem = static_cast<int>(kTileLayers.size());
// The one entry of a list with no source to offer.
inline constexpr const char* kNoSourcesEntry = "(none)";

struct SourceEntry {
    TileSource Source;
    // The source's name; the task's own source is marked " (task)".
    std::string Label;
    // The whole source in one line, for hovering over the entry.
    std::string Description;
};

struct SourceChoices {
    // In the list's order: the source of an opened task first when the file
    // lacks it or holds it with other keys, then the file's, in its order.
    // Refused sources are not offered.
    std::vector<SourceEntry> Entries;
    // The entry to choose.
    std::size_t Chosen = 0;
    // Why sources were refused (or the file could not be read), one line
    // each; empty when none was.
    std::string Refused;

    bool Offered() const { return !Entries.empty(); }
};

// The list of `file`'s sources, led by `taskSource` (the source of the task
// opened last) unless an entry of the file has its very keys. `chosen` (the
// entry chosen before) stays chosen, found as EntryFor finds it.
SourceChoices ListSourceChoices(const SourcesFile& file,
                                const std::optional<TileSource>& taskSource,
                                const std::optional<TileSource>& chosen);

// The entry with the same keys as `source`, else the first of the same name
// (the source was edited since), else the first entry.
std::size_t EntryFor(const std::vector<SourceEntry>& entries, const TileSource& source);

// The "Maps Type" choice after the list is read again: `checked`, unless it
// is the source choice and no source is offered, which leaves the default,
// the satellite layer.
int MapsTypeItemAfter(const SourceChoices& choices, int checked);

// The "Maps Type" choice a main window opens with. On a fresh installation
// (no sources file of the user's yet, and the built-in services at their
// default address, where nothing answers) a source that is offered, the
// catalogue's, is the working choice: "Source:", with the list's first
// entry. Otherwise the satellite layer, as always.
int OpeningMapsTypeItem(const SourceChoices& choices, const TileServiceSettings& hosts,
                        bool userSourcesFile);

}  // namespace tessellon
