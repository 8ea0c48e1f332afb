#pragma once
// What kind of image a tile body is, told by its first bytes. A service that
// fails often answers 200 with an HTML or JSON page in place of the tile;
// the magic bytes keep such a page from passing for a tile, whatever the
// reply's Content-Type claims.

#include <string_view>

namespace tessellon {

enum class ImageKind { None, Png, Jpeg, WebP, Gif };

// The kind whose magic `bytes` start with; None for anything else.
ImageKind DetectImageKind(std::string_view bytes);

// The kind a tile source of `format` ("png", "jpg", "webp", "pbf") sends;
// None for "pbf", whose vector tiles have no magic to check.
ImageKind ImageKindOfFormat(std::string_view format);

// "PNG", "JPEG", "WebP", "GIF"; "no image" for None.
std::string_view ImageKindName(ImageKind kind);

}  // namespace tessellon
