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

std::string DecodeWebp(std::string_view bytes, std::uint8_t* rgb, std::size_t stride) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    int width = 0;
    int height = 0;
    if (!WebPGetInfo(data, bytes.size(), &width, &height)) {
        return "WebP: not a WebP image, or a damaged one";
    }
    if (width != kTileSide || height != kTileSide) {
        return WrongSize(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height));
    }
    if (WebPDecodeRGBInto(data, bytes.size(), rgb, stride * (kTileSide - 1) + kTileRowBytes,
                          static_cast<int>(stride)) == nullptr) {
        return "WebP: the image data is damaged";
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
