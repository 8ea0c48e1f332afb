#include "image_decode.h"

#include <jpeglib.h>
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tessellon::test {

namespace {

// What libpng reads from, and where its complaint lands: plain data only, as
// an error jumps back over the frames that use it.
struct PngSource {
    const unsigned char* bytes;
    std::size_t size;
    std::size_t at = 0;
    char message[256] = {};
};

[[noreturn]] void OnPngError(png_structp png, png_const_charp message) {
    auto* source = static_cast<PngSource*>(png_get_error_ptr(png));
    std::snprintf(source->message, sizeof source->message, "%s", message);
    png_longjmp(png, 1);
}

// Warnings (an ancillary chunk that libpng would skip, extra image data)
// count as failures too.
void OnPngWarning(png_structp png, png_const_charp message) {
    OnPngError(png, message);
}

void ReadPngBytes(png_structp png, png_bytep out, std::size_t count) {
    auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (count > source->size - source->at) {
        png_error(png, "the data ends before IEND");
    }
    std::memcpy(out, source->bytes + source->at, count);
    source->at += count;
}

// Apart from DecodePng, so that an error jumps back over no C++ object.
bool ReadPng(png_structp png, png_infop info, PngSource& source, DecodedImage& image) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_set_read_fn(png, &source, ReadPngBytes);
    // A bad CRC fails in every chunk, not only in the critical ones.
    png_set_crc_action(png, PNG_CRC_DEFAULT, PNG_CRC_ERROR_QUIT);
    png_read_info(png, info);
    if (png_get_bit_depth(png, info) != 8 || png_get_color_type(png, info) != PNG_COLOR_TYPE_RGB ||
        png_get_interlace_type(png, info) != PNG_INTERLACE_NONE) {
        png_error(png, "IHDR is not an 8-bit truecolour header");
    }
    image.width = static_cast<int>(png_get_image_width(png, info));
    image.height = static_cast<int>(png_get_image_height(png, info));
    const std::size_t rowBytes = static_cast<std::size_t>(image.width) * 3;
    image.rgb.assign(rowBytes * image.height, 0);
    for (int y = 0; y < image.height; ++y) {
        png_read_row(png, image.rgb.data() + y * rowBytes, nullptr);
    }
    png_read_end(png, nullptr);
    return true;
}

}  // namespace

bool DecodePng(const std::string& png, DecodedImage& image, std::string& error) {
    PngSource source{reinterpret_cast<const unsigned char*>(png.data()), png.size()};
    png_structp reader =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, &source, OnPngError, OnPngWarning);
    png_infop info = reader == nullptr ? nullptr : png_create_info_struct(reader);
    if (info == nullptr) {
        png_destroy_read_struct(&reader, nullptr, nullptr);
        error = "libpng could not start";
        return false;
    }
    const bool read = ReadPng(reader, info, source, image);
    png_destroy_read_struct(&reader, &info, nullptr);
    if (!read) {
        error = source.message;
        return false;
    }
    if (source.at != source.size) {
        error = "bytes after IEND";
        return false;
    }
    return true;
}

namespace {

struct JpegErrors {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void OnJpegError(j_common_ptr info) {
    auto* errors = reinterpret_cast<JpegErrors*>(info->err);
    errors->base.format_message(info, errors->message);
    std::longjmp(errors->jump, 1);
}

// Warnings (corrupt data that libjpeg papers over) count as failures too.
void OnJpegWarning(j_common_ptr info, int level) {
    if (level < 0) {
        OnJpegError(info);
    }
}

bool DecompressJpeg(const std::string& jpeg, unsigned char* pixels, std::size_t capacity,
                    int* width, int* height, char* message) {
    jpeg_decompress_struct info;
    JpegErrors errors;
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = OnJpegError;
    errors.base.emit_message = OnJpegWarning;
    if (setjmp(errors.jump) != 0) {
        for (std::size_t i = 0; i < sizeof errors.message; ++i) {
            message[i] = errors.message[i];
        }
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(jpeg.data()), jpeg.size());
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    *width = static_cast<int>(info.output_width);
    *height = static_cast<int>(info.output_height);
    const std::size_t rowBytes = static_cast<std::size_t>(info.output_width) * 3;
    while (info.output_scanline < info.output_height &&
           (info.output_scanline + 1) * rowBytes <= capacity) {
        JSAMPROW row = pixels + info.output_scanline * rowBytes;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

}  // namespace

bool DecodeJpeg(const std::string& jpeg, DecodedImage& image, std::string& error) {
    int width = 0;
    int height = 0;
    if (!JpegFrameSize(jpeg, width, height)) {
        error = "no start-of-frame marker";
        return false;
    }
    image.rgb.assign(static_cast<std::size_t>(width) * height * 3, 0);
    char message[JMSG_LENGTH_MAX] = {};
    if (!DecompressJpeg(jpeg, image.rgb.data(), image.rgb.size(), &image.width, &image.height,
                        message)) {
        error = message;
        return false;
    }
    return true;
}

bool JpegFrameSize(const std::string& jpeg, int& width, int& height) {
    if (jpeg.size() < 4 || static_cast<unsigned char>(jpeg[0]) != 0xFF ||
        static_cast<unsigned char>(jpeg[1]) != 0xD8) {
        return false;
    }
    for (std::size_t at = 2; at + 9 < jpeg.size();) {
        if (static_cast<unsigned char>(jpeg[at]) != 0xFF) {
            return false;
        }
        const unsigned char marker = static_cast<unsigned char>(jpeg[at + 1]);
        const std::size_t length = (static_cast<unsigned char>(jpeg[at + 2]) << 8) |
                                   static_cast<unsigned char>(jpeg[at + 3]);
        if (marker >= 0xC0 && marker <= 0xC3) {
            height = (static_cast<unsigned char>(jpeg[at + 5]) << 8) |
                     static_cast<unsigned char>(jpeg[at + 6]);
            width = (static_cast<unsigned char>(jpeg[at + 7]) << 8) |
                    static_cast<unsigned char>(jpeg[at + 8]);
            return true;
        }
        at += 2 + length;
    }
    return false;
}

}  // namespace tessellon::test
