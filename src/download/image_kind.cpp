#include "download/image_kind.h"

#include "platform/shown_text.h"

namespace tessellon {

namespace {

bool StartsWith(std::string_view bytes, std::string_view magic, std::size_t at = 0) {
    return bytes.size() >= at + magic.size() && bytes.substr(at, magic.size()) == magic;
}

}  // namespace

ImageKind DetectImageKind(std::string_view bytes) {
    using namespace std::string_view_literals;
    if (StartsWith(bytes, "\x89PNG\r\n\x1a\n"sv)) {
        return ImageKind::Png;
    }
    // SOI and the first marker's 0xFF: every JPEG flavour (JFIF, Exif, raw).
    if (StartsWith(bytes, "\xff\xd8\xff"sv)) {
        return ImageKind::Jpeg;
    }
    // A RIFF container whose form type is WEBP; the size between them varies.
    if (StartsWith(bytes, "RIFF"sv) && StartsWith(bytes, "WEBP"sv, 8)) {
        return ImageKind::WebP;
    }
    if (StartsWith(bytes, "GIF87a"sv) || StartsWith(bytes, "GIF89a"sv)) {
        return ImageKind::Gif;
    }
    return ImageKind::None;
}

ImageKind ImageKindOfFormat(std::string_view format) {
    if (format == "png") {
        return ImageKind::Png;
    }
    if (format == "jpg") {
        return ImageKind::Jpeg;
    }
    if (format == "webp") {
        return ImageKind::WebP;
    }
    return ImageKind::None;
}

std::optional<std::string> NotATileReason(std::string_view format, std::string_view body,
                                          std::string_view contentType) {
    if (ImageKindOfFormat(format) == ImageKind::None || DetectImageKind(body) != ImageKind::None) {
        return std::nullopt;
    }
    std::string reason = "Not an image (";
    reason += contentType.empty() ? "no content type" : ShowControlCharacters(contentType);
    reason += ", " + std::to_string(body.size()) + " bytes).";
    return reason;
}

std::string_view ImageKindName(ImageKind kind) {
    switch (kind) {
        case ImageKind::Png:
            return "PNG";
        case ImageKind::Jpeg:
            return "JPEG";
        case ImageKind::WebP:
            return "WebP";
        case ImageKind::Gif:
            return "GIF";
        case ImageKind::None:
            break;
    }
    return "no image";
}

bool ImageLooksWhole(std::string_view body) {
    using namespace std::string_view_literals;
    switch (DetectImageKind(body)) {
        case ImageKind::Png:
            return body.ends_with("\0\0\0\0IEND\xae\x42\x60\x82"sv);
        case ImageKind::Jpeg:
            return body.ends_with("\xff\xd9"sv);
        case ImageKind::WebP: {
            const auto byte = [&body](std::size_t i) {
                return static_cast<std::size_t>(static_cast<unsigned char>(body[i]));
            };
            const std::size_t riffSize = byte(4) | byte(5) << 8 | byte(6) << 16 | byte(7) << 24;
            return body.size() >= 8 && riffSize + 8 + riffSize % 2 <= body.size();
        }
        default:
            return true;
    }
}

std::string CutImageMessage(std::size_t bytes) {
    return "The image is cut short (" + std::to_string(bytes) + " bytes).";
}

}  // namespace tessellon
