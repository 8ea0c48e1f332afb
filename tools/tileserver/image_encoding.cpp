#include "image_encoding.h"

#include <jpeglib.h>
#include <zlib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace tessellon::tileserver {

RgbImage::RgbImage(int width, int height, Rgb fill)
    : width_(width), height_(height), pixels_(static_cast<std::size_t>(width) * height * 3) {
    for (std::size_t i = 0; i < pixels_.size(); i += 3) {
        pixels_[i] = fill.r;
        pixels_[i + 1] = fill.g;
        pixels_[i + 2] = fill.b;
    }
}

Rgb RgbImage::At(int x, int y) const {
    const std::uint8_t* p = Row(y) + static_cast<std::size_t>(x) * 3;
    return {p[0], p[1], p[2]};
}

void RgbImage::Set(int x, int y, Rgb colour) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) {
        return;
    }
    std::uint8_t* p = pixels_.data() + RowOffset(y) + static_cast<std::size_t>(x) * 3;
    p[0] = colour.r;
    p[1] = colour.g;
    p[2] = colour.b;
}

void RgbImage::FillRect(int left, int top, int width, int height, Rgb colour) {
    for (int y = std::max(top, 0); y < std::min(top + height, height_); ++y) {
        for (int x = std::max(left, 0); x < std::min(left + width, width_); ++x) {
            Set(x, y, colour);
        }
    }
}

namespace {

void AppendBigEndian32(std::string& out, std::uint32_t value) {
    out += static_cast<char>(value >> 24);
    out += static_cast<char>(value >> 16);
    out += static_cast<char>(value >> 8);
    out += static_cast<char>(value);
}

void AppendPngChunk(std::string& out, const char type[4], const std::string& data) {
    AppendBigEndian32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t typeStart = out.size();
    out.append(type, 4);
    out += data;
    const auto* crcBytes = reinterpret_cast<const Bytef*>(out.data() + typeStart);
    AppendBigEndian32(out, static_cast<std::uint32_t>(crc32(0, crcBytes, 4 + data.size())));
}

}  // namespace

std::string EncodePng(const RgbImage& image) {
    // Every row is prefixed with filter type 0 (none): the tiles are flat
    // colour areas, which deflate handles well without prediction.
    const std::size_t rowBytes = static_cast<std::size_t>(image.Width()) * 3;
    std::string raw;
    raw.reserve((rowBytes + 1) * image.Height());
    for (int y = 0; y < image.Height(); ++y) {
        raw += '\0';
        raw.append(reinterpret_cast<const char*>(image.Row(y)), rowBytes);
    }
    uLongf packedSize = compressBound(raw.size());
    std::string packed(packedSize, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                  reinterpret_cast<const Bytef*>(raw.data()), raw.size(),
                  Z_DEFAULT_COMPRESSION) != Z_OK) {
        throw std::runtime_error("deflate failed");
    }
    packed.resize(packedSize);

    std::string header;
    AppendBigEndian32(header, static_cast<std::uint32_t>(image.Width()));
    AppendBigEndian32(header, static_cast<std::uint32_t>(image.Height()));
    header += '\x08';        // bit depth
    header += '\x02';        // colour type: truecolour
    header.append(3, '\0');  // deflate, adaptive filtering, no interlace

    std::string png("\x89PNG\r\n\x1a\n", 8);
    AppendPngChunk(png, "IHDR", header);
    AppendPngChunk(png, "IDAT", packed);
    AppendPngChunk(png, "IEND", {});
    return png;
}

namespace {

// libjpeg reports errors by calling error_exit, which must not return; the
// jump leaves the C code without unwinding C++ frames through it.
struct JpegErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] void JumpOnJpegError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegErrorManager*>(info->err)->jump, 1);
}

// Only plain data lives in this frame, so longjmp may leave it safely.
bool CompressJpeg(const RgbImage& image, int quality, unsigned char** buffer, unsigned long* size) {
    jpeg_compress_struct info;
    JpegErrorManager errors;
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = JumpOnJpegError;
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, buffer, size);
    info.image_width = static_cast<JDIMENSION>(image.Width());
    info.image_height = static_cast<JDIMENSION>(image.Height());
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(image.Row(static_cast<int>(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

}  // namespace

std::string EncodeJpeg(const RgbImage& image, int quality) {
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const bool ok = CompressJpeg(image, quality, &buffer, &size);
    std::string jpeg;
    if (ok) {
        jpeg.assign(reinterpret_cast<const char*>(buffer), size);
    }
    std::free(buffer);
    if (!ok) {
        throw std::runtime_error("JPEG encoding failed");
    }
    return jpeg;
}

}  // namespace tessellon::tileserver
