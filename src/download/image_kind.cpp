#include "download/image_kind.h"

#include "platform/shown_text.h"

namespace tessellon {

namespace {

bool StartsWith(std::string_view bytes, std::string_view magic, std::size_t at = 0) {
    return bytes.size() >= at + magic.size() && bytes.substr(at, magic.size()) == magic;
}

std::uint32_t Byte(std::string_view bytes, std::size_t at) {
    return static_cast<unsigned char>(bytes[at]);
}

std::uint32_t BigEndian16(std::string_view bytes, std::size_t at) {
    return Byte(bytes, at) << 8 | Byte(bytes, at + 1);
}

std::uint32_t LittleEndian16(std::string_view bytes, std::size_t at) {
    return Byte(bytes, at) | Byte(bytes, at + 1) << 8;
}

std::uint32_t LittleEndian24(std::string_view bytes, std::size_t at) {
    return LittleEndian16(bytes, at) | Byte(bytes, at + 2) << 16;
}

// The first frame header's size: markers are walked up to a SOF marker
// (C0..CF but for DHT C4, JPG C8 and DAC CC); the scan ends the walk.
std::optional<ImageSize> JpegSize(std::string_view bytes) {
    std::size_t at = 2;
    while (at + 4 <= bytes.size()) {
        if (Byte(bytes, at) != 0xff) {
            return std::nullopt;
        }
        const std::uint32_t marker = Byte(bytes, at + 1);
        if (marker == 0xff) {
            // Fill bytes before a marker.
            ++at;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xd0 && marker <= 0xd8)) {
            at += 2;
            continue;
        }
        if (marker == 0xda || marker == 0xd9) {
            return std::nullopt;
        }
        const std::size_t length = BigEndian16(bytes, at + 2);
        if (marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 &&
            marker != 0xcc) {
            if (at + 9 > bytes.size() || length < 7) {
                return std::nullopt;
            }
            return ImageSize{BigEndian16(bytes, at + 7), BigEndian16(bytes, at + 5)};
        }
        if (length < 2) {
            return std::nullopt;
        }
        at += 2 + length;
    }
    return std::nullopt;
}

std::optional<ImageSize> WebpSize(std::string_view bytes) {
    using namespace std::string_view_literals;
    if (StartsWith(bytes, "VP8X"sv, 12) && bytes.size() >= 30) {
        return ImageSize{LittleEndian24(bytes, 24) + 1, LittleEndian24(bytes, 27) + 1};
    }
    if (StartsWith(bytes, "VP8L"sv, 12) && bytes.size() >= 25 && Byte(bytes, 20) == 0x2f) {
        const std::uint32_t bits = LittleEndian24(bytes, 21) | Byte(bytes, 24) << 24;
        return ImageSize{(bits & 0x3fff) + 1, ((bits >> 14) & 0x3fff) + 1};
    }
    if (StartsWith(bytes, "VP8 "sv, 12) && StartsWith(bytes, "\x9d\x01\x2a"sv, 23) &&
        bytes.size() >= 30) {
        return ImageSize{LittleEndian16(bytes, 26) & 0x3fff, LittleEndian16(bytes, 28) & 0x3fff};
    }
    return std::nullopt;
}

}  // namespace

std::optional<ImageSize> ClaimedImageSize(std::string_view bytes) {
    using namespace std::string_view_literals;
    switch (DetectImageKind(bytes)) {
        case ImageKind::Png:
            if (!StartsWith(bytes, "IHDR"sv, 12) || bytes.size() < 24) {
                return std::nullopt;
            }
            return ImageSize{BigEndian16(bytes, 16) << 16 | BigEndian16(bytes, 18),
                             BigEndian16(bytes, 20) << 16 | BigEndian16(bytes, 22)};
        case ImageKind::Jpeg:
            return JpegSize(bytes);
        case ImageKind::WebP:
            return WebpSize(bytes);
        case ImageKind::Gif:
            if (bytes.size() < 10) {
                return std::nullopt;
            }
            return ImageSize{LittleEndian16(bytes, 6), LittleEndian16(bytes, 8)};
        case ImageKind::None:
            break;
    }
    return std::nullopt;
}

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
