#pragma once
// The tile source a command names: found in the sources file as the INI rules
// find a section, without regard to case, and when there is none, what the
// user needs to know: why that very source was refused, or why the file gave
// none, and the names that are there. Refusals of other sources are not told
// here; listing the sources tells them.

#include <optional>
#include <string>
#include <vector>

#include "task/sources_file.h"
#include "task/tile_source.h"

namespace tessellon {

struct NamedSource {
    // The source, when the file has a usable one of that name.
    std::optional<TileSource> Source;
    // Otherwise the lines that say why, the last one naming the known
    // sources.
    std::vector<std::string> Messages;
};

// `name` among the sources of `file`, which was read from `fileName`.
NamedSource FindNamedSource(const SourcesFile& file, const std::string& name,
                            const std::string& fileName);

}  // namespace tessellon
