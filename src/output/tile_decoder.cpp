#include "output/tile_decoder.h"

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>
#include <png.h>
#include <webp/decode.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

namespace tessellon {

namespace {

std::string WrongSize(std::uint32_t width, std::uint32_t height) {
    std::string text = "the image is ";
    text.append(std::to_string(width)).append(" x ").append(std::to_string(height));
    text.append(" pixels, not 256 x 256");
    return text;
}

std::string DecodePng(std::string_view bytes, std::uint8_t* rgb, std::size_t stride) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
        return std::string("PNG: ") + image.message;
    }
    if (image.width != kTileSide || image.height != kTileSide) {
        png_image_free(&image);
        return WrongSize(image.width, image.height);
    }
    image.format = PNG_FORMAT_RGB;
    const png_color white{255, 255, 255};
    if (!png_image_finish_read(&image, &white, rgb, static_cast<png_int_32>(stride), nullptr)) {
        return std::string("PNG: ") + image.message;
    }
    return {};
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

// Keeps to plain C data between setjmp and longjmp: no destructor may be
// skipped.
bool DecodeJpegInto(std::string_view bytes, std::uint8_t* rgb, std::size_t stride, JpegError& error,
                    std::uint32_t& width, std::uint32_t& height) {
    jpeg_decompress_struct info;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = JpegFail;
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
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = rgb + std::size_t{info.output_scanline} * stride;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

std::string DecodeJpeg(std::string_view bytes, std::uint8_t* rgb, std::size_t stride) {
    JpegError error;
    std::uint32_t width = kTileSide;
    std::uint32_t height = kTileSide;
    if (DecodeJpegInto(bytes, rgb, stride, error, width, height)) {
        return {};
    }
    if (error.message[0] == '\0') {
        return WrongSize(width, height);
    }
    return std::string("JPEG: ") + error.message;
}

// The colour under `alpha` of 255 laid on white, rounded.
std::uint8_t OnWhite(std::uint8_t colour, std::uint8_t alpha) {
    return static_cast<std::uint8_t>((colour * alpha + 255 * (255 - alpha) + 127) / 255);
}

std::string DecodeWebp(std::string_view bytes, std::uint8_t* rgb, std::size_t stride) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(data, bytes.size(), &features) != VP8_STATUS_OK) {
        return "WebP: not a WebP image, or a damaged one";
    }
    if (features.width != kTileSide || features.height != kTileSide) {
        return WrongSize(static_cast<std::uint32_t>(features.width),
                         static_cast<std::uint32_t>(features.height));
    }
    const std::string damaged = "WebP: the image data is damaged";
    if (!features.has_alpha) {
        return WebPDecodeRGBInto(data, bytes.size(), rgb, stride * (kTileSide - 1) + kTileRowBytes,
                                 static_cast<int>(stride)) == nullptr
                   ? damaged
                   : std::string();
    }
    // The colour under a clear pixel is whatever the encoder left there,
    // often black: it is laid on white, as libpng lays a PNG's.
    constexpr std::size_t kRgbaRowBytes = std::size_t{kTileSide} * 4;
    std::vector<std::uint8_t> rgba(kRgbaRowBytes * kTileSide);
    if (WebPDecodeRGBAInto(data, bytes.size(), rgba.data(), rgba.size(),
                           static_cast<int>(kRgbaRowBytes)) == nullptr) {
        return damaged;
    }
    for (std::size_t y = 0; y < kTileSide; ++y) {
        const std::uint8_t* from = rgba.data() + y * kRgbaRowBytes;
        std::uint8_t* to = rgb + y * stride;
        for (std::size_t x = 0; x < kTileSide; ++x, from += 4, to += 3) {
            to[0] = OnWhite(from[0], from[3]);
            to[1] = OnWhite(from[1], from[3]);
            to[2] = OnWhite(from[2], from[3]);
        }
    }
    return {};
}

bool StartsWith(std::string_view bytes, std::string_view magic) {
    return bytes.substr(0, magic.size()) == magic;
}

}  // namespace

std::string DecodeTile(std::string_view bytes, std::uint8_t* rgb, std::size_t stride) {
    if (StartsWith(bytes, "\x89PNG\r\n\x1a\n")) {
        return DecodePng(bytes, rgb, stride);
    }
    if (StartsWith(bytes, "\xff\xd8")) {
        return DecodeJpeg(bytes, rgb, stride);
    }
    if (bytes.size() >= 12 && StartsWith(bytes, "RIFF") && bytes.substr(8, 4) == "WEBP") {
        return DecodeWebp(bytes, rgb, stride);
    }
    return "not a PNG, JPEG or WebP image";
}

}  // namespace tessellon
