#include "output/tile_encoder.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <vector>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>
#include <png.h>
#include <webp/encode.h>

#include "output/tile_decoder.h"

namespace tessellon {

namespace {

// The quality of the lossy formats, as the combiner writes JPEG.
constexpr int kQuality = 90;
constexpr std::size_t kTilePixels = std::size_t{kTileSide} * kTileSide;

[[noreturn]] void Fail(std::string_view format, std::string_view reason) {
    std::string text = "A ";
    text.append(format).append(" tile cannot be encoded: ").append(reason);
    throw std::runtime_error(text);
}

bool Opaque(const std::uint8_t* rgba) {
    for (std::size_t i = 0; i < kTilePixels; ++i) {
        if (rgba[i * 4 + 3] != 255) {
            return false;
        }
    }
    return true;
}

std::vector<std::uint8_t> Rgb(const std::uint8_t* rgba) {
    std::vector<std::uint8_t> rgb(kTilePixels * 3);
    for (std::size_t i = 0; i < kTilePixels; ++i) {
        rgb[i * 3] = rgba[i * 4];
        rgb[i * 3 + 1] = rgba[i * 4 + 1];
        rgb[i * 3 + 2] = rgba[i * 4 + 2];
    }
    return rgb;
}

// The rows of a tile, `rowBytes` each, as a PNG of `colorType`. Only what
// libpng's jump back leaves untouched lives beside its setjmp.
std::string WritePng(const std::uint8_t* rows, std::size_t rowBytes, int colorType) {
    std::string out;
    png_structp png = png_create_write_struct(
        PNG_LIBPNG_VER_STRING, nullptr,
        [](png_structp failed, png_const_charp) { png_longjmp(failed, 1); },
        [](png_structp, png_const_charp) {});
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        Fail("PNG", "out of memory");
    }
    png_set_write_fn(
        png, &out,
        [](png_structp writer, png_bytep bytes, png_size_t size) {
            static_cast<std::string*>(png_get_io_ptr(writer))
                ->append(reinterpret_cast<const char*>(bytes), size);
        },
        nullptr);
    png_set_IHDR(png, info, kTileSide, kTileSide, 8, colorType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_write_info(png, info);
    for (int y = 0; y < kTileSide; ++y) {
        png_write_row(png, rows + rowBytes * static_cast<std::size_t>(y));
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

std::string EncodePng(const std::uint8_t* rgba) {
    if (!Opaque(rgba)) {
        return WritePng(rgba, kTileRowBytes, PNG_COLOR_TYPE_RGB_ALPHA);
    }
    const std::vector<std::uint8_t> rgb = Rgb(rgba);
    return WritePng(rgb.data(), kTileSide * 3, PNG_COLOR_TYPE_RGB);
}

struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

std::string EncodeJpeg(const std::uint8_t* rgba) {
    const std::vector<std::uint8_t> rgb = Rgb(rgba);
    jpeg_compress_struct info{};
    JpegError error{};
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = [](j_common_ptr failed) {
        std::longjmp(reinterpret_cast<JpegError*>(failed->err)->jump, 1);
    };
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_create_compress(&info);
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&info);
        std::free(buffer);
        Fail("JPEG", "out of memory");
    }
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = kTileSide;
    info.image_height = kTileSide;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, kQuality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        auto row =
            const_cast<JSAMPROW>(rgb.data() + std::size_t{info.next_scanline} * 3 * kTileSide);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    std::string out(reinterpret_cast<const char*>(buffer), size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return out;
}

std::string EncodeWebp(const std::uint8_t* rgba) {
    std::uint8_t* bytes = nullptr;
    // The encoder leaves out an alpha channel that is opaque throughout.
    const std::size_t size = WebPEncodeRGBA(rgba, kTileSide, kTileSide,
                                            static_cast<int>(kTileRowBytes), kQuality, &bytes);
    const std::unique_ptr<std::uint8_t, void (*)(void*)> owned(bytes, WebPFree);
    if (size == 0) {
        Fail("WebP", "out of memory");
    }
    return std::string(reinterpret_cast<const char*>(bytes), size);
}

}  // namespace

std::string EncodeTile(std::string_view format, const std::uint8_t* rgba) {
    if (format == "png") {
        return EncodePng(rgba);
    }
    if (format == "jpg") {
        return EncodeJpeg(rgba);
    }
    if (format == "webp") {
        return EncodeWebp(rgba);
    }
    Fail(format, "it is no image format");
}

}  // namespace tessellon
