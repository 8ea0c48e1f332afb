#include "control/source_choice.h"

#include <algorithm>
#include <string_view>

#include "platform/ini_file.h"
#include "platform/shown_text.h"

namespace tessellon {

namespace {

// How the file reader opens the refusal of a source: "Source 'NAME': ..."
// or "Source 'NAME' appears twice ...".
constexpr std::string_view kRefusalStart = "Source '";

// The name a refusal is about; nothing for an error of the whole file.
std::optional<std::string_view> RefusedName(std::string_view error) {
    if (!error.starts_with(kRefusalStart)) {
        return std::nullopt;
    }
    error.remove_prefix(kRefusalStart.size());
    // Names may hold quotes; the refusal goes on with "':" or "' appears".
    for (std::size_t end = error.find('\''); end != std::string_view::npos;
         end = error.find('\'', end + 1)) {
        const std::string_view rest = error.substr(end);
        if (rest.starts_with("':") || rest.starts_with("' appears")) {
            return error.substr(0, end);
        }
    }
    return std::nullopt;
}

}  // namespace

NamedSource FindNamedSource(const SourcesFile& file, const std::string& name,
                            const std::string& fileName) {
    NamedSource found;
    const auto same =
        std::find_if(file.Sources.begin(), file.Sources.end(),
                     [&](const TileSource& s) { return SameIniName(s.Name(), name); });
    if (same != file.Sources.end()) {
        found.Source = *same;
        return found;
    }
    const std::string shown = ShowControlCharacters(name);
    for (const std::string& error : file.Errors) {
        const std::optional<std::string_view> refused = RefusedName(error);
        // The refusal of this very source, or an error that explains a file
        // without it.
        if (!refused || SameIniName(*refused, shown)) {
            found.Messages.push_back(error);
        }
    }
    found.Messages.push_back("No usable source \"" + name + "\" in " + fileName + ".");
    if (!file.Sources.empty()) {
        std::string known = "Known sources:";
        for (const TileSource& source : file.Sources) {
            known += (&source == &file.Sources.front() ? " " : ", ") + source.Name();
        }
        found.Messages.push_back(known + ".");
    }
    return found;
}

}  // namespace tessellon
