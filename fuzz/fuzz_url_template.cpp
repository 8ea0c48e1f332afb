// A URL template parsed and expanded for one tile. Byte 0 chooses the zoom
// (0..30), bytes 1-4 and 5-8 the column and the row within the grid; the
// rest is the template. A template is refused only with one of the parser's
// texts; an accepted one keeps its literal text around the placeholders.

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "task/url_template.h"

using namespace tessellon;

namespace {

std::uint32_t ReadWord(const std::uint8_t* bytes) {
    return bytes[0] | (std::uint32_t{bytes[1]} << 8) | (std::uint32_t{bytes[2]} << 16) |
           (std::uint32_t{bytes[3]} << 24);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 9) {
        return 0;
    }
    const int zoom = data[0] % 31;
    const std::uint32_t side = std::uint32_t{1} << zoom;
    const auto x = static_cast<std::int32_t>(ReadWord(data + 1) % side);
    const auto y = static_cast<std::int32_t>(ReadWord(data + 5) % side);
    const std::string text(reinterpret_cast<const char*>(data + 9), size - 9);
    static const std::vector<std::string> kSubdomains{"a", "bb", "ccc"};
    try {
        const UrlTemplate url(text);
        const std::string expanded = url.Url(x, y, zoom, kSubdomains);
        const std::size_t open = text.find('{');
        if (open == std::string::npos) {
            if (expanded != text) {
                fuzz::Fail("a template without placeholders that changed");
            }
            return 0;
        }
        const std::string head = text.substr(0, open);
        const std::string tail = text.substr(text.rfind('}') + 1);
        if (!expanded.starts_with(head) || !expanded.ends_with(tail) ||
            expanded.size() < head.size() + tail.size()) {
            fuzz::Fail("literal text lost around the placeholders of \"" + text + "\"");
        }
    } catch (const ETileSourceError& error) {
        const std::string message = error.what();
        if (message != "a \"{\" without \"}\"" && !message.starts_with("unknown placeholder {")) {
            fuzz::Fail("an unexpected refusal: " + message);
        }
    }
    return 0;
}
