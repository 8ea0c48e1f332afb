#include "output/image_writer.h"

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdarg>
#include <cstring>
#include <vector>

// jpeglib.h needs FILE and size_t declared before it.
#include <geotiff/geotiffio.h>
#include <geotiff/xtiffio.h>
#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

#include "geo/web_mercator.h"
#include "platform/paths.h"
#include "platform/stdio_files.h"

namespace tessellon {

namespace {

constexpr std::uint32_t kTiffTileSide = 256;
// Past this a TIFF needs 64-bit offsets.
constexpr std::int64_t kFourGiB = std::int64_t{1} << 32;

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

// Tiled 256 x 256, deflate: readers fetch any part of a large map without
// reading the rest. Rows are gathered a band of tiles at a time.
class TiffWriter : public ImageWriter {
public:
    TiffWriter(std::FILE* file, std::int64_t width, std::int64_t height, const Georeference& where,
               bool withAlpha)
        : width_(width),
          channels_(withAlpha ? 4 : 3),
          tilesAcross_((width + kTiffTileSide - 1) / kTiffTileSide),
          band_(static_cast<std::size_t>(tilesAcross_ * kTiffTileSide * kTiffTileSide * channels_),
                255),
          tile_(std::size_t{kTiffTileSide} * kTiffTileSide * channels_) {
        XTIFFInitialize();
        // The plain format's offsets are 32 bits; deflate seldom saves much
        // on a photo, so the raw size decides.
        const std::int64_t raw = width * height * channels_;
        const char* mode = raw + raw / 64 + (1 << 20) >= kFourGiB ? "w8" : "w";
        const int fd = DuplicateStreamDescriptor(file);
        if (fd < 0) {
            FailWrite("TIFF", SystemReason());
        }
        TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
        TIFFOpenOptionsSetErrorHandlerExtR(options, OnError, this);
        TIFFOpenOptionsSetWarningHandlerExtR(options, OnWarning, nullptr);
        tiff_ = TIFFFdOpenExt(fd, "output", mode, options);
        TIFFOpenOptionsFree(options);
        if (tiff_ == nullptr) {
            CloseDescriptor(fd);
            Fail();
        }
        TIFFSetField(tiff_, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(width));
        TIFFSetField(tiff_, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(height));
        TIFFSetField(tiff_, TIFFTAG_SAMPLESPERPIXEL, channels_);
        if (withAlpha) {
            const std::uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
            TIFFSetField(tiff_, TIFFTAG_EXTRASAMPLES, 1, extra);
        }
        TIFFSetField(tiff_, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tiff_, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tiff_, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tiff_, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
        TIFFSetField(tiff_, TIFFTAG_ZIPQUALITY, 1);
        TIFFSetField(tiff_, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
        TIFFSetField(tiff_, TIFFTAG_TILEWIDTH, kTiffTileSide);
        TIFFSetField(tiff_, TIFFTAG_TILELENGTH, kTiffTileSide);
        WriteGeoTags(where);
    }

    ~TiffWriter() override {
        if (tiff_ != nullptr) {
            XTIFFClose(tiff_);
        }
    }

    void WriteRow(const std::uint8_t* pixels) override {
        std::memcpy(band_.data() + rowsInBand_ * tilesAcross_ * kTiffTileSide * channels_, pixels,
                    static_cast<std::size_t>(width_ * channels_));
        ++rowsInBand_;
        if (rowsInBand_ == kTiffTileSide) {
            WriteBand();
        }
    }

    void Finish() override {
        if (rowsInBand_ > 0) {
            WriteBand();
        }
        if (!TIFFFlush(tiff_)) {
            Fail();
        }
        XTIFFClose(tiff_);
        tiff_ = nullptr;
    }

private:
    void WriteGeoTags(const Georeference& where) {
        const double scale[3] = {where.PixelSize, where.PixelSize, 0};
        const double tiepoint[6] = {0, 0, 0, where.Left, where.Top, 0};
        TIFFSetField(tiff_, TIFFTAG_GEOPIXELSCALE, 3, scale);
        TIFFSetField(tiff_, TIFFTAG_GEOTIEPOINTS, 6, tiepoint);
        GTIF* keys = GTIFNew(tiff_);
        GTIFKeySet(keys, GTModelTypeGeoKey, TYPE_SHORT, 1, ModelTypeProjected);
        GTIFKeySet(keys, GTRasterTypeGeoKey, TYPE_SHORT, 1, RasterPixelIsArea);
        GTIFKeySet(keys, ProjectedCSTypeGeoKey, TYPE_SHORT, 1, 3857);
        GTIFKeySet(keys, GTCitationGeoKey, TYPE_ASCII, 0, "WGS 84 / Pseudo-Mercator");
        GTIFWriteKeys(keys);
        GTIFFree(keys);
    }

    void WriteBand() {
        const std::size_t tileRow = std::size_t{kTiffTileSide} * channels_;
        const std::size_t bandStride = tilesAcross_ * tileRow;
        // Rows past the image's end keep the last band's pixels; readers
        // never show them.
        for (std::int64_t column = 0; column < tilesAcross_; ++column) {
            for (std::uint32_t y = 0; y < kTiffTileSide; ++y) {
                std::memcpy(tile_.data() + y * tileRow,
                            band_.data() + y * bandStride + column * tileRow, tileRow);
            }
            if (TIFFWriteTile(tiff_, tile_.data(),
                              static_cast<std::uint32_t>(column) * kTiffTileSide, bandTop_, 0,
                              0) < 0) {
                Fail();
            }
        }
        bandTop_ += kTiffTileSide;
        rowsInBand_ = 0;
    }

    static int OnError(TIFF*, void* self, const char*, const char* format, va_list arguments) {
        auto* writer = static_cast<TiffWriter*>(self);
        std::vsnprintf(writer->message_, sizeof writer->message_, format, arguments);
        return 1;
    }
    static int OnWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

    [[noreturn]] void Fail() { FailWrite("TIFF", message_[0] ? message_ : SystemReason()); }

    TIFF* tiff_ = nullptr;
    std::int64_t width_;
    // 3 for RGB, 4 for RGBA.
    int channels_;
    std::int64_t tilesAcross_;
    std::vector<std::uint8_t> band_;
    std::vector<std::uint8_t> tile_;
    std::uint32_t rowsInBand_ = 0;
    std::uint32_t bandTop_ = 0;
    char message_[512] = "";
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
            return std::make_unique<TiffWriter>(file, width, height, where, withAlpha);
    }
    return nullptr;
}

}  // namespace tessellon
