#include "control/source_list.h"

#include <algorithm>

#include "control/source_check.h"

namespace tessellon {

namespace {

SourceEntry EntryOf(TileSource source, std::string label) {
    std::string description = DescribeSource(source);
    return {std::move(source), std::move(label), std::move(description)};
}

}  // namespace

SourceChoices ListSourceChoices(const SourcesFile& file,
                                const std::optional<TileSource>& taskSource,
                                const std::optional<TileSource>& chosen) {
    SourceChoices choices;
    if (taskSource && std::none_of(file.Sources.begin(), file.Sources.end(),
                                   [keys = taskSource->Keys()](const TileSource& source) {
                                       return source.Keys() == keys;
                                   })) {
        choices.Entries.push_back(EntryOf(*taskSource, taskSource->Name() + " (task)"));
    }
    for (const TileSource& source : file.Sources) {
        choices.Entries.push_back(EntryOf(source, source.Name()));
    }
    for (const std::string& error : file.Errors) {
        choices.Refused += choices.Refused.empty() ? "" : "\n";
        choices.Refused += error;
    }
    if (chosen) {
        choices.Chosen = EntryFor(choices.Entries, *chosen);
    }
    return choices;
}

std::size_t EntryFor(const std::vector<SourceEntry>& entries, const TileSource& source) {
    const SourceKeys keys = source.Keys();
    auto same = std::find_if(entries.begin(), entries.end(),
                             [&](const SourceEntry& entry) { return entry.Source.Keys() == keys; });
    if (same == entries.end()) {
        same = std::find_if(entries.begin(), entries.end(), [&](const SourceEntry& entry) {
            return entry.Source.Name() == source.Name();
        });
    }
    return same == entries.end() ? 0 : static_cast<std::size_t>(same - entries.begin());
}

int MapsTypeItemAfter(const SourceChoices& choices, int checked) {
    return checked == kSourceItem && !choices.Offered() ? kSatelliteItem : checked;
}

int OpeningMapsTypeItem(const SourceChoices& choices, const TileServiceSettings& hosts,
                        bool userSourcesFile) {
    const bool defaultHosts = hosts.MapHost == settings::MapHost.Default &&
                              hosts.SatelliteHost == settings::SatelliteHost.Default;
    return defaultHosts && !userSourcesFile && choices.Offered() ? kSourceItem : kSatelliteItem;
}

}  // namespace tessellon
