// A tile file's bytes, as a server or a folder from elsewhere may hold them,
// into the combiner's decoder: PNG, JPEG and WebP, damaged in any way. The
// decoder must write only the tile's place in its row of tiles (the bytes
// around it stay), succeed only for a 256 x 256 image, and agree with
// the size the header reader of the map window claims: whenever both tell a
// size, it is the same one.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "download/image_kind.h"
#include "fuzz_support.h"
#include "output/tile_decoder.h"

using namespace tessellon;

namespace {

constexpr std::uint8_t kGuard = 0xa5;

// "the image is W x H pixels, not 256 x 256": W and H.
std::optional<ImageSize> SizeInRefusal(const std::string& reason) {
    unsigned width = 0;
    unsigned height = 0;
    if (std::sscanf(reason.c_str(), "the image is %u x %u pixels", &width, &height) != 2) {
        return std::nullopt;
    }
    return ImageSize{width, height};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // The tile is the middle one of a row of three; the bytes next to its
    // place in each row are guards that a write past either end would hit.
    // Made once: the guards stay as they are while no write reaches them.
    constexpr std::size_t kStride = 3 * kTileRowBytes;
    constexpr std::size_t kGuardBytes = 16;
    static std::vector<std::uint8_t> band(kStride * kTileSide, kGuard);
    const std::string reason = DecodeTile(bytes, band.data() + kTileRowBytes, kStride);
    for (std::size_t y = 0; y < kTileSide; ++y) {
        const std::uint8_t* before = band.data() + y * kStride + kTileRowBytes - kGuardBytes;
        const std::uint8_t* after = band.data() + y * kStride + 2 * kTileRowBytes;
        for (std::size_t i = 0; i < kGuardBytes; ++i) {
            if (before[i] != kGuard || after[i] != kGuard) {
                fuzz::Fail("the decoder wrote outside the tile's place");
            }
        }
    }
    // The header walk that tells transparency must end on any bytes.
    static_cast<void>(TileHasAlpha(bytes));
    const std::optional<ImageSize> claimed = ClaimedImageSize(bytes);
    if (!claimed) {
        return 0;
    }
    if (reason.empty() && (claimed->Width != kTileSide || claimed->Height != kTileSide)) {
        fuzz::Fail("a tile decoded whose header claims another size");
    }
    if (const std::optional<ImageSize> refused = SizeInRefusal(reason);
        refused && (refused->Width != claimed->Width || refused->Height != claimed->Height)) {
        fuzz::Fail("the decoder and the header reader see different sizes");
    }
    return 0;
}
