#pragma once
// The sources file (ini/sources.ini beside the program, or the file the user
// names): one section per tile source, read by the project's INI rules. A bad
// source is refused with a message and the others stay usable; a file that
// cannot be read gives no sources and one message. The two built-in services
// never depend on this file.

#include <string>
#include <string_view>
#include <vector>

#include "task/tile_source.h"

namespace tessellon {

struct SourcesFile {
    std::vector<TileSource> Sources;
    // One line per source refused, or one for a file that cannot be read.
    std::vector<std::string> Errors;
};

inline constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// `version` makes the default user agent, see TileSource::Read. A byte order
// mark before the text is skipped.
SourcesFile ReadSourcesFile(const std::string& fileName, std::string_view version);
// The same reading of a file's text.
SourcesFile ParseSources(std::string_view text, std::string_view version);

// The user's sources, then those of the catalogue shipped with the program
// whose names the user's file does not have: the user's file wins by name.
// A user's file that is missing is no error when the catalogue has sources
// (a fresh installation has none).
SourcesFile WithCatalogue(SourcesFile user, const SourcesFile& catalogue,
                          const std::string& userFileName);

}  // namespace tessellon
