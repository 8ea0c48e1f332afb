#pragma once
// What kind of image a tile body is, told by its first bytes. A service that
// fails often answers 200 with an HTML or JSON page in place of the tile;
// the magic bytes keep such a page from passing for a tile, whatever the
// reply's Content-Type claims.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessellon {

enum class ImageKind { None, Png, Jpeg, WebP, Gif };

// The kind whose magic `bytes` start with; None for anything else.
ImageKind DetectImageKind(std::string_view bytes);

// The kind a tile source of `format` ("png", "jpg", "webp", "pbf") sends;
// None for "pbf", whose vector tiles have no magic to check.
ImageKind ImageKindOfFormat(std::string_view format);

// Why a body that a tile source of `format` sent cannot be its tile:
// "Not an image (<content type>, N bytes)." when it starts with no image's
// magic, the content type being the reply's (control characters shown as
// \xNN) or "no content type"; nothing
// for an image of any kind, and for every "pbf" body.
std::optional<std::string> NotATileReason(std::string_view format, std::string_view body,
                                          std::string_view contentType);

// Whether an image body reaches its end: a PNG its IEND chunk, a JPEG its
// EOI marker, a WebP the length its RIFF header gives. Other bodies count as
// whole. A body that ran until the connection closed proves no more.
bool ImageLooksWhole(std::string_view body);

// The width and height an image's header claims (PNG, JPEG, WebP, GIF);
// nothing when the header cannot be read. A claim costs nothing to make: a
// few bytes can claim 65000 x 65000 pixels, 16 GB to decode.
struct ImageSize {
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
};
std::optional<ImageSize> ClaimedImageSize(std::string_view bytes);

// The failure of a body cut short: "The image is cut short (N bytes)."
std::string CutImageMessage(std::size_t bytes);

// "PNG", "JPEG", "WebP", "GIF"; "no image" for None.
std::string_view ImageKindName(ImageKind kind);

}  // namespace tessellon
