#include "tile_painter.h"

#include <array>
#include <cstdint>

namespace tessellon::tileserver {

namespace {

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;

struct Glyph {
    char character;
    std::array<std::uint8_t, kGlyphHeight> rows;  // bit 4 is the leftmost pixel
};

constexpr Glyph kFont[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {'=', {0x00, 0x00, 0x1F, 0x00, 0x1F, 0x00, 0x00}},
    {'x', {0x00, 0x00, 0x11, 0x0A, 0x04, 0x0A, 0x11}},
    {'y', {0x00, 0x00, 0x11, 0x11, 0x0F, 0x01, 0x0E}},
    {'z', {0x00, 0x00, 0x1F, 0x02, 0x04, 0x08, 0x1F}},
};

const Glyph* FindGlyph(char c) {
    for (const Glyph& glyph : kFont) {
        if (glyph.character == c) {
            return &glyph;
        }
    }
    return nullptr;
}

// A well-mixed 64-bit value per tile, so neighbours get clearly different colours.
std::uint64_t TileHash(const TileAddress& tile) {
    std::uint64_t h = (static_cast<std::uint64_t>(tile.x) << 32) ^
                      (static_cast<std::uint64_t>(tile.y) << 5) ^
                      static_cast<std::uint64_t>(tile.zoom) ^
                      (tile.layer == TileLayer::Satellite ? 0x9E3779B97F4A7C15ULL : 0);
    h += 0x9E3779B97F4A7C15ULL;
    h = (h ^ (h >> 30)) * 0xBF58476D1CE4E5B9ULL;
    h = (h ^ (h >> 27)) * 0x94D049BB133111EBULL;
    return h ^ (h >> 31);
}

std::uint8_t Channel(std::uint64_t hash, int shift, int base, int range) {
    return static_cast<std::uint8_t>(base + static_cast<int>((hash >> shift) % range));
}

Rgb Darker(Rgb c, int amount) {
    auto down = [amount](std::uint8_t v) {
        return static_cast<std::uint8_t>(v > amount ? v - amount : 0);
    };
    return {down(c.r), down(c.g), down(c.b)};
}

constexpr int kFineGrid = 32;
constexpr int kTextScale = 3;
constexpr int kAdvance = (kGlyphWidth + 1) * kTextScale;
constexpr int kLineHeight = (kGlyphHeight + 3) * kTextScale;

// `text` in the 5x7 font, each font pixel drawn as a `scale` square, top
// left at (left, top); characters the font lacks leave a gap.
void DrawText(RgbImage& image, int left, int top, int scale, std::string_view text, Rgb colour) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const Glyph* glyph = FindGlyph(text[i]);
        if (glyph == nullptr) {
            continue;
        }
        const int x0 = left + static_cast<int>(i) * (kGlyphWidth + 1) * scale;
        for (int row = 0; row < kGlyphHeight; ++row) {
            for (int column = 0; column < kGlyphWidth; ++column) {
                if (glyph->rows[row] & (0x10 >> column)) {
                    image.FillRect(x0 + column * scale, top + row * scale, scale, scale, colour);
                }
            }
        }
    }
}

}  // namespace

RgbImage PaintTile(const TileAddress& tile) {
    const std::uint64_t hash = TileHash(tile);
    const bool map = tile.layer == TileLayer::Map;
    // Light pastels for the map layer, dark earthy tones for satellite.
    const Rgb background =
        map ? Rgb{Channel(hash, 0, 180, 64), Channel(hash, 8, 180, 64), Channel(hash, 16, 180, 64)}
            : Rgb{Channel(hash, 0, 40, 60), Channel(hash, 8, 70, 70), Channel(hash, 16, 30, 50)};
    RgbImage image(kTileSize, kTileSize, background);

    const Rgb fine = Darker(background, 24);
    for (int at = kFineGrid; at < kTileSize; at += kFineGrid) {
        image.FillRect(at, 0, 1, kTileSize, fine);
        image.FillRect(0, at, kTileSize, 1, fine);
    }
    // One pixel on every edge: two neighbouring tiles show a two-pixel seam.
    const Rgb edge{40, 40, 40};
    image.FillRect(0, 0, kTileSize, 1, edge);
    image.FillRect(0, kTileSize - 1, kTileSize, 1, edge);
    image.FillRect(0, 0, 1, kTileSize, edge);
    image.FillRect(kTileSize - 1, 0, 1, kTileSize, edge);

    const std::string lines[] = {"x=" + std::to_string(tile.x), "y=" + std::to_string(tile.y),
                                 "z=" + std::to_string(tile.zoom)};
    const int blockTop = (kTileSize - 3 * kLineHeight) / 2;
    const Rgb panel = map ? Rgb{250, 250, 250} : Rgb{20, 20, 20};
    const Rgb ink = map ? Rgb{20, 20, 20} : Rgb{250, 250, 250};
    image.FillRect(24, blockTop - kTextScale * 2, kTileSize - 48, 3 * kLineHeight + kTextScale,
                   panel);
    for (int i = 0; i < 3; ++i) {
        const int width = static_cast<int>(lines[i].size()) * kAdvance - kTextScale;
        DrawText(image, (kTileSize - width) / 2, blockTop + i * kLineHeight, kTextScale, lines[i],
                 ink);
    }
    return image;
}

}  // namespace tessellon::tileserver
