#include "output/image_writer.h"

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <vector>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>
#include <png.h>

#include "geo/web_mercator.h"
#include "output/geotiff.h"
#include "platform/paths.h"

namespace tessellon {

namespace {

std::int64_t BmpRowBytes(std::int64_t width) {
    return (width * 3 + 3) / 4 * 4;
}

[[noreturn]] void FailWrite(const std::string& format, const std::string& reason) {
    std::string text = "Writing the ";
    text.append(format).append(" image failed: ").append(reason);
    throw EImageWriteError(text);
}

std::string SystemReason() {
    return std::strerror(errno);
}

class PngWriter : public ImageWriter {
public:
    PngWriter(std::FILE* file, std::int64_t width, std::int64_t height, bool withAlpha) {
        png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, this, OnError, OnWarning);
        info_ = png_ ? png_create_info_struct(png_) : nullptr;
        if (info_ == nullptr) {
            FailWrite("PNG", "out of memory");
        }
        if (setjmp(png_jmpbuf(png_))) {
            png_destroy_write_struct(&png_, &info_);
            Fail();
        }
        png_init_io(png_, file);
        // The fastest deflate level: a combined map is large, and the
        // levels above it save a few percent for several times the time.
        png_set_compression_level(png_, 1);
        png_set_filter(png_, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
        png_set_IHDR(png_, info_, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height),
                     8, withAlpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
        png_write_info(png_, info_);
    }

    ~PngWriter() override { png_destroy_write_struct(&png_, &info_); }

    void WriteRow(const std::uint8_t* rgb) override {
        errno = 0;
        if (setjmp(png_jmpbuf(png_))) {
            Fail();
        }
        png_write_row(png_, rgb);
    }

    void Finish() override {
        errno = 0;
        if (setjmp(png_jmpbuf(png_))) {
            Fail();
        }
        png_write_end(png_, nullptr);
    }

private:
    static void OnError(png_structp png, png_const_charp message) {
        auto* self = static_cast<PngWriter*>(png_get_error_ptr(png));
        std::snprintf(self->message_, sizeof self->message_, "%s", message);
        png_longjmp(png, 1);
    }
    static void OnWarning(png_structp, png_const_charp) {}

    [[noreturn]] void Fail() {
        // libpng's "Write Error" hides the system's reason, which errno
        // still holds.
        const std::string reason = errno != 0 ? SystemReason() : std::string(message_);
        FailWrite("PNG", reason);
    }

    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
    char message_[256] = "";
};

class JpegWriter : public ImageWriter {
public:
    JpegWriter(std::FILE* file, std::int64_t width, std::int64_t height) {
        info_.err = jpeg_std_error(&error_.manager);
        error_.manager.error_exit = OnError;
        jpeg_create_compress(&info_);
        if (setjmp(error_.jump)) {
            jpeg_destroy_compress(&info_);
            Fail();
        }
        jpeg_stdio_dest(&info_, file);
        info_.image_width = static_cast<JDIMENSION>(width);
        info_.image_height = static_cast<JDIMENSION>(height);
        info_.input_components = 3;
        info_.in_color_space = JCS_RGB;
        jpeg_set_defaults(&info_);
        jpeg_set_quality(&info_, 90, TRUE);
        jpeg_start_compress(&info_, TRUE);
    }

    ~JpegWriter() override { jpeg_destroy_compress(&info_); }

    void WriteRow(const std::uint8_t* rgb) override {
        if (setjmp(error_.jump)) {
            Fail();
        }
        auto row = const_cast<JSAMPROW>(rgb);
        jpeg_write_scanlines(&info_, &row, 1);
    }

    void Finish() override {
        if (setjmp(error_.jump)) {
            Fail();
        }
        jpeg_finish_compress(&info_);
    }

private:
    struct Error {
        jpeg_error_mgr manager;
        std::jmp_buf jump;
        char message[JMSG_LENGTH_MAX];
    };

    static void OnError(j_common_ptr info) {
        auto* error = reinterpret_cast<Error*>(info->err);
        error->manager.format_message(info, error->message);
        std::longjmp(error->jump, 1);
    }

    [[noreturn]] void Fail() { FailWrite("JPEG", error_.message); }

    jpeg_compress_struct info_{};
    Error error_{};
};

void PutLittleEndian(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

class BmpWriter : public ImageWriter {
public:
    BmpWriter(std::FILE* file, std::int64_t width, std::int64_t height)
        : file_(file), width_(width), row_(static_cast<std::size_t>(BmpRowBytes(width)), 0) {
        std::uint8_t header[kBmpHeaderBytes] = {'B', 'M'};
        PutLittleEndian(header + 2, static_cast<std::uint32_t>(BmpFileBytes(width, height)));
        PutLittleEndian(header + 10, kBmpHeaderBytes);
        PutLittleEndian(header + 14, 40);
        PutLittleEndian(header + 18, static_cast<std::uint32_t>(width));
        // A negative height stores the rows top down, the order they come in.
        PutLittleEndian(header + 22, static_cast<std::uint32_t>(-height));
        header[26] = 1;
        header[28] = 24;
        PutLittleEndian(header + 34, static_cast<std::uint32_t>(BmpRowBytes(width) * height));
        // 72 dots per inch.
        PutLittleEndian(header + 38, 2835);
        PutLittleEndian(header + 42, 2835);
        Put(header, sizeof header);
    }

    void WriteRow(const std::uint8_t* rgb) override {
        for (std::int64_t x = 0; x < width_; ++x) {
            row_[x * 3] = rgb[x * 3 + 2];
            row_[x * 3 + 1] = rgb[x * 3 + 1];
            row_[x * 3 + 2] = rgb[x * 3];
        }
        Put(row_.data(), row_.size());
    }

    void Finish() override {}

private:
    void Put(const void* bytes, std::size_t size) {
        if (std::fwrite(bytes, 1, size, file_) != size) {
            FailWrite("BMP", SystemReason());
        }
    }

    std::FILE* file_;
    std::int64_t width_;
    std::vector<std::uint8_t> row_;
};

}  // namespace

std::string WorldFileNameOf(const std::string& imagePath, ImageFormat format) {
    const FormatRow& row = RowOf(format);
    if (row.Georeference != Georeferencing::WorldFile) {
        return {};
    }
    return RemoveFileExt(imagePath).append(row.WorldFileExtension);
}

std::string WorldFileText(const Georeference& where) {
    char text[256];
    std::snprintf(text, sizeof text, "%.12f\n0\n0\n%.12f\n%.10f\n%.10f\n", where.PixelSize,
                  -where.PixelSize, where.Left + where.PixelSize / 2,
                  where.Top - where.PixelSize / 2);
    return text;
}

std::string PamText() {
    std::string text = "<PAMDataset>\n  <SRS dataAxisToSRSAxisMapping=\"1,2\">";
    for (const char c : kPseudoMercatorWkt) {
        if (c == '"') {
            text.append("&quot;");
        } else {
            text.push_back(c);
        }
    }
    text.append("</SRS>\n</PAMDataset>\n");
    return text;
}

std::unique_ptr<ImageWriter> MakeImageWriter(ImageFormat format, std::FILE* file,
                                             std::int64_t width, std::int64_t height,
                                             const Georeference& where, bool withAlpha) {
    switch (format) {
        case ImageFormat::Png:
            return std::make_unique<PngWriter>(file, width, height, withAlpha);
        case ImageFormat::Jpeg:
            return std::make_unique<JpegWriter>(file, width, height);
        case ImageFormat::Bmp:
            return std::make_unique<BmpWriter>(file, width, height);
        case ImageFormat::Tiff:
            return MakeTiffWriter(file, width, height, where, withAlpha, TiffOptions{});
    }
    return nullptr;
}

}  // namespace tessellon
