#include "output/tile_decoder.h"

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>
#include <png.h>
#include <webp/decode.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>

namespace tessellon {

namespace {

std::string WrongSize(std::uint32_t width, std::uint32_t height) {
    std::string text = "the image is ";
    text.append(std::to_string(width)).append(" x ").append(std::to_string(height));
    text.append(" pixels, not 256 x 256");
    return text;
}

// Where libpng takes the file's bytes from.
struct PngSource {
    const unsigned char* Data;
    std::size_t Size;
    std::size_t At;
};

void PngRead(png_structp png, png_bytep out, std::size_t count) {
    auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (count > source->Size - source->At) {
        png_error(png, "the image data is cut short");
    }
    std::memcpy(out, source->Data + source->At, count);
    source->At += count;
}

struct PngFailure {
    char Message[200];
};

[[noreturn]] void PngFail(png_structp png, png_const_charp message) {
    auto* failure = static_cast<PngFailure*>(png_get_error_ptr(png));
    std::snprintf(failure->Message, sizeof failure->Message, "%s", message);
    png_longjmp(png, 1);
}

void PngWarn(png_structp, png_const_charp) {}

// Keeps to plain C data between setjmp and longjmp: no destructor may be
// skipped. The transformations leave the samples as stored: libpng corrects
// gamma only when asked to.
bool DecodePngInto(std::string_view bytes, std::uint8_t* rgba, std::size_t stride,
                   PngFailure& failure, std::uint32_t& width, std::uint32_t& height) {
    failure.Message[0] = '\0';
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &failure, PngFail, PngWarn);
    png_infop info = png == nullptr ? nullptr : png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        std::snprintf(failure.Message, sizeof failure.Message, "out of memory");
        return false;
    }
    PngSource source{reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), 0};
    png_bytep rows[kTileSide];
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &source, PngRead);
    png_read_info(png, info);
    width = png_get_image_width(png, info);
    height = png_get_image_height(png, info);
    if (width != kTileSide || height != kTileSide) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    // Palette and low-depth grey to 8 bits, tRNS to alpha, 16 bits to their
    // high byte, grey to RGB, and an opaque alpha where the image has none.
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xff, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != kTileRowBytes) {
        png_error(png, "the image does not decode to RGBA");
    }
    for (std::size_t y = 0; y < kTileSide; ++y) {
        rows[y] = rgba + y * stride;
    }
    png_read_image(png, rows);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

std::string DecodePng(std::string_view bytes, std::uint8_t* rgba, std::size_t stride) {
    PngFailure failure;
    std::uint32_t width = kTileSide;
    std::uint32_t height = kTileSide;
    if (DecodePngInto(bytes, rgba, stride, failure, width, height)) {
        return {};
    }
    if (failure.Message[0] == '\0') {
        return WrongSize(width, height);
    }
    return std::string("PNG: ") + failure.Message;
}

struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void JpegFail(j_common_ptr info) {
    auto* error = reinterpret_cast<JpegError*>(info->err);
    error->manager.format_message(info, error->message);
    std::longjmp(error->jump, 1);
}

// libjpeg's warnings ("Corrupt JPEG data: 2 extraneous bytes before marker",
// a file cut short) go to standard error by default, into the middle of
// whatever the program prints there. The pixels come out as browsers and
// GDAL show them, so the tile is drawn, and the warning is dropped.
void JpegWarningDropped(j_common_ptr, int) {}

// Keeps to plain C data between setjmp and longjmp: no destructor may be
// skipped.
bool DecodeJpegInto(std::string_view bytes, std::uint8_t* rgba, std::size_t stride,
                    JpegError& error, std::uint32_t& width, std::uint32_t& height) {
    jpeg_decompress_struct info;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = JpegFail;
    error.manager.emit_message = JpegWarningDropped;
    error.message[0] = '\0';
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    width = info.image_width;
    height = info.image_height;
    if (width != kTileSide || height != kTileSide) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    info.out_color_space = JCS_EXT_RGBA;
    jpeg_start_decompress(&info);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = rgba + std::size_t{info.output_scanline} * stride;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

std::string DecodeJpeg(std::string_view bytes, std::uint8_t* rgba, std::size_t stride) {
    JpegError error;
    std::uint32_t width = kTileSide;
    std::uint32_t height = kTileSide;
    if (DecodeJpegInto(bytes, rgba, stride, error, width, height)) {
        return {};
    }
    if (error.message[0] == '\0') {
        return WrongSize(width, height);
    }
    return std::string("JPEG: ") + error.message;
}

std::string DecodeWebp(std::string_view bytes, std::uint8_t* rgba, std::size_t stride) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(data, bytes.size(), &features) != VP8_STATUS_OK) {
        return "WebP: not a WebP image, or a damaged one";
    }
    if (features.width != kTileSide || features.height != kTileSide) {
        return WrongSize(static_cast<std::uint32_t>(features.width),
                         static_cast<std::uint32_t>(features.height));
    }
    if (WebPDecodeRGBAInto(data, bytes.size(), rgba, stride * (kTileSide - 1) + kTileRowBytes,
                           static_cast<int>(stride)) == nullptr) {
        return "WebP: the image data is damaged";
    }
    return {};
}

bool StartsWith(std::string_view bytes, std::string_view magic) {
    return bytes.substr(0, magic.size()) == magic;
}

bool IsPng(std::string_view bytes) {
    return StartsWith(bytes, "\x89PNG\r\n\x1a\n");
}

bool IsWebp(std::string_view bytes) {
    return bytes.size() >= 12 && StartsWith(bytes, "RIFF") && bytes.substr(8, 4) == "WEBP";
}

std::uint32_t BigEndian32(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value = value << 8 | static_cast<std::uint8_t>(bytes[at + i]);
    }
    return value;
}

// The chunks before the image data: the IHDR's colour type, then a tRNS.
bool PngHasAlpha(std::string_view bytes) {
    constexpr std::size_t kColourType = 25;
    if (bytes.size() <= kColourType || bytes.substr(12, 4) != "IHDR") {
        return false;
    }
    if ((static_cast<std::uint8_t>(bytes[kColourType]) & 4) != 0) {
        return true;
    }
    std::size_t at = 8;
    while (bytes.size() - at >= 8) {
        const std::string_view type = bytes.substr(at + 4, 4);
        if (type == "tRNS") {
            return true;
        }
        if (type == "IDAT" || type == "IEND") {
            return false;
        }
        const std::size_t length = BigEndian32(bytes, at);
        if (length > bytes.size() - at - 8) {
            return false;
        }
        at += 8 + length + 4;
        if (at > bytes.size()) {
            return false;
        }
    }
    return false;
}

}  // namespace

bool TileHasAlpha(std::string_view bytes) {
    if (IsPng(bytes)) {
        return PngHasAlpha(bytes);
    }
    WebPBitstreamFeatures features;
    return IsWebp(bytes) &&
           WebPGetFeatures(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(),
                           &features) == VP8_STATUS_OK &&
           features.has_alpha != 0;
}

void RgbaOnWhite(const std::uint8_t* rgba, std::size_t count, std::uint8_t* rgb) {
    for (std::size_t i = 0; i < count; ++i, rgba += 4, rgb += 3) {
        const std::uint8_t alpha = rgba[3];
        if (alpha == 255) {
            std::memcpy(rgb, rgba, 3);
        } else {
            rgb[0] = OnWhite(rgba[0], alpha);
            rgb[1] = OnWhite(rgba[1], alpha);
            rgb[2] = OnWhite(rgba[2], alpha);
        }
    }
}

std::string DecodeTile(std::string_view bytes, std::uint8_t* rgba, std::size_t stride) {
    if (IsPng(bytes)) {
        return DecodePng(bytes, rgba, stride);
    }
    if (StartsWith(bytes, "\xff\xd8")) {
        return DecodeJpeg(bytes, rgba, stride);
    }
    if (IsWebp(bytes)) {
        return DecodeWebp(bytes, rgba, stride);
    }
    return "not a PNG, JPEG or WebP image";
}

}  // namespace tessellon
