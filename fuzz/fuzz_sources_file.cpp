// A sources file's text through the parser. Every source it accepts must
// come back unchanged from the keys a task keeps of it, written as INI lines
// and read again, and must give a URL for its least and greatest zoom; every
// refusal must name a source.

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "platform/ini_file.h"
#include "task/sources_file.h"

using namespace tessellon;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const SourcesFile file = ParseSources(text, "1.0");
    for (const std::string& error : file.Errors) {
        if (!error.starts_with("Source '") && !error.starts_with("A source without a name")) {
            fuzz::Fail("a refusal that names no source: " + error);
        }
    }
    for (const TileSource& source : file.Sources) {
        const SourceKeys keys = source.Keys();
        std::vector<std::string> lines{"[SOURCE]"};
        for (const auto& [key, value] : keys) {
            lines.push_back(key + "=" + value);
        }
        const std::vector<IniSection> sections = ReadIniSections(lines);
        if (sections.size() != 1 || TileSource::FromKeys(sections[0].Keys, "2.0").Keys() != keys) {
            fuzz::Fail("source '" + source.Name() + "' changed on its way through its keys");
        }
        if (source.MinZoom() < 1 || source.MaxZoom() > 19 || source.MinZoom() > source.MaxZoom() ||
            source.Workers() < 1 || source.Workers() > 8) {
            fuzz::Fail("source '" + source.Name() + "' accepted out of its ranges");
        }
        const std::int32_t last = (1 << source.MaxZoom()) - 1;
        if (source.TileUrl(0, 0, source.MinZoom()).empty() ||
            source.TileUrl(last, last, source.MaxZoom()).empty()) {
            fuzz::Fail("source '" + source.Name() + "' gave an empty URL");
        }
    }
    return 0;
}
