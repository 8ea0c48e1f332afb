// A GeoJSON area file read from memory, as a user may name any file as the
// area of a task. Whatever the bytes, the reader returns polygons and lines
// within the point limit or refuses with a message naming the file; a
// position it keeps holds the document's own numbers.

#include <cstdint>
#include <string>
#include <string_view>

#include "area/area_file.h"
#include "area/area_geojson.h"
#include "fuzz_support.h"

using namespace tessellon;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    constexpr std::size_t kPointLimit = 64;
    try {
        const std::optional<RawArea> area = ReadGeoJson(text, "fuzz.geojson", kPointLimit);
        std::size_t points = 0;
        for (const RawPart& part : area.value_or(RawArea{})) {
            if (part.Rings.empty() || (part.IsLine && part.Rings.size() != 1)) {
                fuzz::Fail("a part without rings, or a line of several");
            }
            for (const auto& ring : part.Rings) {
                points += ring.size();
            }
        }
        if (points > kPointLimit) {
            fuzz::Fail("more points than the limit");
        }
    } catch (const EAreaError& e) {
        if (std::string_view(e.what()).substr(0, 13) != "fuzz.geojson:") {
            fuzz::Fail(std::string("a refusal that does not name the file: ") + e.what());
        }
    }
    return 0;
}
