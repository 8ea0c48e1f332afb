#pragma once
// URL templates of tile sources: the text is parsed once into literal pieces
// and placeholders, so a tile's URL is a walk over the pieces with no search
// and no formatting library (a download asks for one per tile).

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace tessellon {

// A source or template that cannot be used. The text says why, in words a
// user can act on.
class ETileSourceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class TilePlaceholder : std::uint8_t {
    X,          // {x}: column from the west
    Y,          // {y}: row from the north
    Z,          // {z}: zoom
    TmsY,       // {-y}: row from the south, 2^z - 1 - y
    Quadkey,    // {q}: one digit per level from the top, x bit + 2 * y bit
    Subdomain,  // {s}: one subdomain, the same for a tile every time
    Bbox,       // {bbox}: EPSG:3857 bounds minx,miny,maxx,maxy in metres
};

class UrlTemplate {
public:
    // Throws ETileSourceError for a placeholder that is not one of the above
    // ("unknown placeholder {zoom}") or a "{" that is never closed.
    explicit UrlTemplate(std::string text);

    const std::string& Text() const { return text_; }
    bool Uses(TilePlaceholder placeholder) const;

    // Appends the URL of tile (x, y) at `zoom` (0..30) to `out`. {s} takes
    // subdomain (x + y) mod count, and nothing when there is none. {z} is
    // `zoom` + `zoomOffset`, the service's own number of the grid's zoom;
    // the other placeholders are of the grid.
    void AppendUrl(std::string& out, std::int32_t x, std::int32_t y, int zoom,
                   std::span<const std::string> subdomains, int zoomOffset = 0) const;
    std::string Url(std::int32_t x, std::int32_t y, int zoom,
                    std::span<const std::string> subdomains, int zoomOffset = 0) const;

private:
    struct Piece {
        bool Literal;
        TilePlaceholder Placeholder;
        // Where a literal's text lies in text_.
        std::uint32_t Offset;
        std::uint32_t Length;
    };

    std::string text_;
    std::vector<Piece> pieces_;
};

}  // namespace tessellon
