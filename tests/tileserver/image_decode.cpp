#include "image_decode.h"

#include <jpeglib.h>
#include <zlib.h>

#include <csetjmp>
#include <cstdint>
#include <cstdlib>

namespace tessellon::test {

namespace {

std::uint32_t BigEndian32(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) << 24 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 3]));
}

}  // namespace

bool DecodePng(const std::string& png, DecodedImage& image, std::string& error) {
    if (png.compare(0, 8, std::string("\x89PNG\r\n\x1a\n", 8)) != 0) {
        error = "no PNG signature";
        return false;
    }
    std::string idat;
    bool sawHeader = false;
    bool sawEnd = false;
    for (std::size_t at = 8; at < png.size() && !sawEnd;) {
        if (at + 12 > png.size()) {
            error = "truncated chunk";
            return false;
        }
        const std::uint32_t length = BigEndian32(png, at);
        if (at + 12 + length > png.size()) {
            error = "chunk runs past the end";
            return false;
        }
        const std::string type = png.substr(at + 4, 4);
        const std::string data = png.substr(at + 8, length);
        const auto crc = crc32(0, reinterpret_cast<const Bytef*>(png.data() + at + 4), 4 + length);
        if (crc != BigEndian32(png, at + 8 + length)) {
            error = "bad CRC in " + type;
            return false;
        }
        if (type == "IHDR") {
            if (sawHeader || at != 8 || length != 13 || data[8] != 8 || data[9] != 2 ||
                data[10] != 0 || data[11] != 0 || data[12] != 0) {
                error = "IHDR is not an 8-bit truecolour header";
                return false;
            }
            image.width = static_cast<int>(BigEndian32(data, 0));
            image.height = static_cast<int>(BigEndian32(data, 4));
            sawHeader = true;
        } else if (type == "IDAT") {
            idat += data;
        } else if (type == "IEND") {
            sawEnd = at + 12 == png.size();
        }
        at += 12 + length;
    }
    if (!sawHeader || !sawEnd) {
        error = "IHDR or IEND missing or misplaced";
        return false;
    }
    const std::size_t rowBytes = static_cast<std::size_t>(image.width) * 3;
    std::string raw((rowBytes + 1) * image.height, '\0');
    uLongf rawSize = raw.size();
    if (uncompress(reinterpret_cast<Bytef*>(raw.data()), &rawSize,
                   reinterpret_cast<const Bytef*>(idat.data()), idat.size()) != Z_OK ||
        rawSize != raw.size()) {
        error = "IDAT does not inflate to the image size";
        return false;
    }
    image.rgb.clear();
    for (int y = 0; y < image.height; ++y) {
        const std::size_t row = y * (rowBytes + 1);
        if (raw[row] != 0) {
            error = "unexpected row filter";
            return false;
        }
        image.rgb.insert(image.rgb.end(), raw.begin() + row + 1, raw.begin() + row + 1 + rowBytes);
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
