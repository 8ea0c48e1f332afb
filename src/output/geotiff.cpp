#include "output/geotiff.h"

#include <geotiff/geotiffio.h>
#include <geotiff/xtiffio.h>
#include <tiffio.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <vector>

#include "output/tiff_layout.h"
#include "platform/stdio_files.h"

namespace tessellon {

namespace {

constexpr TiffCompressionRow kCompressions[] = {
    {TiffCompression::Deflate, "deflate", "Deflate (lossless)", false, true},
    {TiffCompression::Zstd, "zstd", "Zstandard (lossless)", false, true},
    {TiffCompression::Lzw, "lzw", "LZW (lossless)", false, true},
    // TIFF's JPEG holds three channels in YCbCr; alpha would need a mask
    // image of its own beside each level.
    {TiffCompression::Jpeg, "jpeg", "JPEG", true, false},
    {TiffCompression::Webp, "webp", "WebP", true, true},
};

std::uint16_t CodeOf(TiffCompression compression) {
    switch (compression) {
        case TiffCompression::Deflate:
            return COMPRESSION_ADOBE_DEFLATE;
        case TiffCompression::Zstd:
            return COMPRESSION_ZSTD;
        case TiffCompression::Lzw:
            return COMPRESSION_LZW;
        case TiffCompression::Jpeg:
            return COMPRESSION_JPEG;
        case TiffCompression::Webp:
            return COMPRESSION_WEBP;
    }
    return COMPRESSION_NONE;
}

bool Predicted(TiffCompression compression) {
    return !RowOf(compression).Lossy;
}

std::uint16_t PhotometricOf(TiffCompression compression) {
    return compression == TiffCompression::Jpeg ? PHOTOMETRIC_YCBCR : PHOTOMETRIC_RGB;
}

// A plain TIFF's tiles and its overviews'; a COG's full image's, as GDAL
// writes them.
constexpr std::uint32_t kPlainTileSide = 256;
constexpr std::uint32_t kCogTileSide = 512;
// Past this a TIFF needs 64-bit offsets.
constexpr std::int64_t kFourGiB = std::int64_t{1} << 32;

// The last error libtiff reported on one file.
struct TiffErrors {
    char Message[512] = "";
};

int OnTiffError(TIFF*, void* errors, const char*, const char* format, va_list arguments) {
    auto* into = static_cast<TiffErrors*>(errors);
    std::vsnprintf(into->Message, sizeof into->Message, format, arguments);
    return 1;
}

int OnTiffWarning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

[[noreturn]] void FailTiff(const TiffErrors& errors) {
    std::string text = "Writing the TIFF image failed: ";
    text.append(errors.Message[0] != '\0' ? errors.Message : std::strerror(errno));
    throw EImageWriteError(text);
}

// libtiff on descriptor `fd`, which it closes with the TIFF; closes it at
// once when it cannot open.
TIFF* OpenTiff(int fd, const char* mode, TiffErrors& errors) {
    if (fd < 0) {
        FailTiff(errors);
    }
    XTIFFInitialize();
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, OnTiffError, &errors);
    TIFFOpenOptionsSetWarningHandlerExtR(options, OnTiffWarning, nullptr);
    TIFF* tiff = TIFFFdOpenExt(fd, "output", mode, options);
    TIFFOpenOptionsFree(options);
    if (tiff == nullptr) {
        CloseDescriptor(fd);
        FailTiff(errors);
    }
    return tiff;
}

// The fields of a tiled 8-bit RGB or RGBA image and its compression.
void SetImageFields(TIFF* tiff, std::int64_t width, std::int64_t height, int channels,
                    std::uint32_t tileSide, const TiffOptions& options) {
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(width));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(height));
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, channels);
    if (channels == 4) {
        const std::uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
        TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, extra);
    }
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PhotometricOf(options.Compression));
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, CodeOf(options.Compression));
    // The fastest levels of the lossless codecs: a combined map is large,
    // and the levels above save a few percent for several times the time.
    switch (options.Compression) {
        case TiffCompression::Deflate:
            TIFFSetField(tiff, TIFFTAG_ZIPQUALITY, 1);
            break;
        case TiffCompression::Zstd:
            TIFFSetField(tiff, TIFFTAG_ZSTD_LEVEL, 1);
            break;
        case TiffCompression::Lzw:
            break;
        case TiffCompression::Jpeg:
            // libtiff turns the RGB rows into YCbCr, which JPEG compresses best.
            TIFFSetField(tiff, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
            TIFFSetField(tiff, TIFFTAG_JPEGQUALITY, options.Quality);
            break;
        case TiffCompression::Webp:
            TIFFSetField(tiff, TIFFTAG_WEBP_LEVEL, options.Quality);
            break;
    }
    if (Predicted(options.Compression)) {
        TIFFSetField(tiff, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    }
    TIFFSetField(tiff, TIFFTAG_TILEWIDTH, tileSide);
    TIFFSetField(tiff, TIFFTAG_TILELENGTH, tileSide);
}

// Rows gathered into one band of tiles, written a band at a time.
class TileBand {
public:
    TileBand(std::int64_t width, int channels, std::uint32_t tileSide)
        : width_(width),
          channels_(channels),
          tileSide_(tileSide),
          tilesAcross_((width + tileSide - 1) / tileSide),
          band_(static_cast<std::size_t>(tilesAcross_ * tileSide * tileSide * channels), 255),
          tile_(std::size_t{tileSide} * tileSide * static_cast<std::size_t>(channels)) {}

    // Takes a row; true when it completed the band.
    bool Add(const std::uint8_t* pixels) {
        std::memcpy(band_.data() + rows_ * tilesAcross_ * tileSide_ * channels_, pixels,
                    static_cast<std::size_t>(width_ * channels_));
        return ++rows_ == tileSide_;
    }
    bool Empty() const { return rows_ == 0; }

    // Rows past the image's end keep the last band's pixels; readers never
    // show them. False when libtiff failed.
    bool WriteTo(TIFF* tiff) {
        const std::size_t tileRow = std::size_t{tileSide_} * channels_;
        const std::size_t bandStride = tilesAcross_ * tileRow;
        for (std::int64_t column = 0; column < tilesAcross_; ++column) {
            for (std::uint32_t y = 0; y < tileSide_; ++y) {
                std::memcpy(tile_.data() + y * tileRow,
                            band_.data() + y * bandStride + column * tileRow, tileRow);
            }
            if (TIFFWriteTile(tiff, tile_.data(), static_cast<std::uint32_t>(column) * tileSide_,
                              top_, 0, 0) < 0) {
                return false;
            }
        }
        top_ += tileSide_;
        rows_ = 0;
        return true;
    }

private:
    std::int64_t width_;
    int channels_;
    std::uint32_t tileSide_;
    std::int64_t tilesAcross_;
    std::vector<std::uint8_t> band_;
    std::vector<std::uint8_t> tile_;
    std::uint32_t rows_ = 0;
    std::uint32_t top_ = 0;
};

// One image, tiles of 256, written by libtiff straight into the output:
// readers fetch any part of a large map without reading the rest.
class PlainTiffWriter : public ImageWriter {
public:
    PlainTiffWriter(std::FILE* file, std::int64_t width, std::int64_t height,
                    const Georeference& where, int channels, const TiffOptions& options)
        : band_(width, channels, kPlainTileSide) {
        // The plain format's offsets are 32 bits; deflate seldom saves much
        // on a photo, so the raw size decides.
        const std::int64_t raw = width * height * channels;
        const char* mode = raw + raw / 64 + (1 << 20) >= kFourGiB ? "w8" : "w";
        tiff_ = OpenTiff(DuplicateStreamDescriptor(file), mode, errors_);
        SetImageFields(tiff_, width, height, channels, kPlainTileSide, options);
        WriteGeoTags(where);
    }

    ~PlainTiffWriter() override {
        if (tiff_ != nullptr) {
            XTIFFClose(tiff_);
        }
    }

    void WriteRow(const std::uint8_t* pixels) override {
        if (band_.Add(pixels) && !band_.WriteTo(tiff_)) {
            FailTiff(errors_);
        }
    }

    void Finish() override {
        if ((!band_.Empty() && !band_.WriteTo(tiff_)) || !TIFFFlush(tiff_)) {
            FailTiff(errors_);
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

    TiffErrors errors_;
    TIFF* tiff_ = nullptr;
    TileBand band_;
};

// Two rows of a level made one row of the level below, each pixel the mean
// of a 2 x 2 block (the last column of an odd width stands for two). As
// GDAL averages a band with an alpha mask, colours under alpha 0 are left
// out of the mean; alpha itself is averaged plainly.
void HalveRows(const std::uint8_t* upper, const std::uint8_t* lower, std::int64_t width,
               int channels, std::uint8_t* out) {
    const std::int64_t halfWidth = (width + 1) / 2;
    for (std::int64_t x = 0; x < halfWidth; ++x, out += channels) {
        const std::int64_t left = 2 * x * channels;
        const std::int64_t right = std::min(2 * x + 1, width - 1) * channels;
        const std::uint8_t* block[4] = {upper + left, upper + right, lower + left, lower + right};
        int counted = 4;
        if (channels == 4) {
            counted = 0;
            int alpha = 0;
            for (const std::uint8_t* pixel : block) {
                alpha += pixel[3];
                counted += pixel[3] != 0 ? 1 : 0;
            }
            out[3] = static_cast<std::uint8_t>((alpha + 2) / 4);
        }
        for (int c = 0; c < 3; ++c) {
            int sum = 0;
            for (const std::uint8_t* pixel : block) {
                if (counted == 0 || counted == 4 || pixel[3] != 0) {
                    sum += pixel[c];
                }
            }
            const int of = counted == 0 ? 4 : counted;
            out[c] = static_cast<std::uint8_t>((sum + of / 2) / of);
        }
    }
}

// The image and its overviews, each level compressed by libtiff into a file
// of its own while the rows stream, then laid out headers first.
class PyramidTiffWriter : public ImageWriter {
public:
    PyramidTiffWriter(std::FILE* file, std::int64_t width, std::int64_t height,
                      const Georeference& where, int channels, const TiffOptions& options)
        : file_(file), channels_(channels), options_(options) {
        // Each level holds a band of its tiles' height: the overviews' tiles
        // of 256 halve what they hold, which keeps a COG 25,600 pixels wide
        // within 128 MiB. Readers take each level's tile size as it is.
        std::uint32_t tileSide = options.Layout == TiffLayout::Cog ? kCogTileSide : kPlainTileSide;
        Georeference at = where;
        for (;;) {
            levels_.push_back(std::make_unique<Level>(width, height, at, channels, tileSide));
            Level& level = *levels_.back();
            level.Scratch = OpenScratchFile(options.ScratchFolder);
            // Always 64-bit offsets: a level file never needs more room
            // than the output, but may need more than 4 GiB.
            level.Tiff = OpenTiff(DuplicateDescriptorAtStart(level.Scratch), "w8", errors_);
            SetImageFields(level.Tiff, width, height, channels, tileSide, options);
            if (std::max(width, height) <= tileSide) {
                break;
            }
            width = (width + 1) / 2;
            height = (height + 1) / 2;
            at.PixelSize *= 2;
            tileSide = kPlainTileSide;
        }
    }

    void WriteRow(const std::uint8_t* pixels) override { Feed(0, pixels); }

    void Finish() override {
        for (std::size_t i = 0; i < levels_.size(); ++i) {
            Level& level = *levels_[i];
            if (level.HasPending) {
                // An odd height: the last row stands for two.
                HalveRows(level.Pending.data(), level.Pending.data(), level.Width, channels_,
                          level.Half.data());
                level.HasPending = false;
                Feed(i + 1, level.Half.data());
            }
            if ((!level.Band.Empty() && !level.Band.WriteTo(level.Tiff)) ||
                !TIFFFlush(level.Tiff)) {
                FailTiff(errors_);
            }
            TIFFClose(level.Tiff);
            // Read, not mapped: mapped pages of a level file would count
            // against the process's memory as the tiles are copied.
            level.Tiff = OpenTiff(DuplicateDescriptorAtStart(level.Scratch), "rm", errors_);
        }
        std::vector<TiffImageFields> images;
        for (const auto& level : levels_) {
            images.push_back(FieldsOf(*level));
        }
        WriteHeadersFirstTiff(
            file_, images, [this](std::size_t image, std::size_t tile, std::string& bytes) {
                TIFF* tiff = levels_[image]->Tiff;
                std::uint64_t* sizes = nullptr;
                TIFFGetField(tiff, TIFFTAG_TILEBYTECOUNTS, &sizes);
                bytes.resize(sizes[tile]);
                if (TIFFReadRawTile(tiff, static_cast<std::uint32_t>(tile), bytes.data(),
                                    static_cast<tmsize_t>(bytes.size())) !=
                    static_cast<tmsize_t>(bytes.size())) {
                    FailTiff(errors_);
                }
            });
    }

private:
    struct Level {
        Level(std::int64_t width, std::int64_t height, const Georeference& where, int channels,
              std::uint32_t tileSide)
            : Width(width),
              Height(height),
              Where(where),
              TileSide(tileSide),
              Band(width, channels, tileSide),
              Pending(static_cast<std::size_t>(width * channels)),
              Half(static_cast<std::size_t>((width + 1) / 2 * channels)) {}
        ~Level() {
            if (Tiff != nullptr) {
                TIFFClose(Tiff);
            }
            if (Scratch >= 0) {
                CloseDescriptor(Scratch);
            }
        }
        Level(const Level&) = delete;
        Level& operator=(const Level&) = delete;

        std::int64_t Width;
        std::int64_t Height;
        Georeference Where;
        std::uint32_t TileSide;
        int Scratch = -1;
        TIFF* Tiff = nullptr;
        TileBand Band;
        // The upper row of the next pair that makes a row of the level below.
        std::vector<std::uint8_t> Pending;
        bool HasPending = false;
        std::vector<std::uint8_t> Half;
    };

    // Row by row: a row of level `index` goes into its band and, with the
    // row above it, makes a row of the level below.
    void Feed(std::size_t index, const std::uint8_t* pixels) {
        Level& level = *levels_[index];
        if (level.Band.Add(pixels) && !level.Band.WriteTo(level.Tiff)) {
            FailTiff(errors_);
        }
        if (index + 1 == levels_.size()) {
            return;
        }
        if (!level.HasPending) {
            std::memcpy(level.Pending.data(), pixels, level.Pending.size());
            level.HasPending = true;
            return;
        }
        HalveRows(level.Pending.data(), pixels, level.Width, channels_, level.Half.data());
        level.HasPending = false;
        Feed(index + 1, level.Half.data());
    }

    TiffImageFields FieldsOf(const Level& level) const {
        TiffImageFields fields;
        fields.Width = static_cast<std::uint32_t>(level.Width);
        fields.Height = static_cast<std::uint32_t>(level.Height);
        fields.TileSide = level.TileSide;
        fields.Channels = static_cast<std::uint16_t>(channels_);
        fields.Compression = CodeOf(options_.Compression);
        fields.Photometric = PhotometricOf(options_.Compression);
        fields.Predictor = Predicted(options_.Compression);
        fields.Where = level.Where;
        std::uint32_t tableBytes = 0;
        const void* tables = nullptr;
        if (TIFFGetField(level.Tiff, TIFFTAG_JPEGTABLES, &tableBytes, &tables) && tableBytes > 0) {
            fields.JpegTables.assign(static_cast<const char*>(tables), tableBytes);
        }
        std::uint64_t* sizes = nullptr;
        TIFFGetField(level.Tiff, TIFFTAG_TILEBYTECOUNTS, &sizes);
        fields.TileBytes.assign(sizes, sizes + TIFFNumberOfTiles(level.Tiff));
        return fields;
    }

    std::FILE* file_;
    int channels_;
    TiffOptions options_;
    TiffErrors errors_;
    std::vector<std::unique_ptr<Level>> levels_;
};

}  // namespace

std::span<const TiffCompressionRow> TiffCompressionRows() {
    return kCompressions;
}

const TiffCompressionRow& RowOf(TiffCompression compression) {
    return kCompressions[static_cast<std::size_t>(compression)];
}

std::optional<TiffCompression> TiffCompressionNamed(std::string_view name) {
    for (const TiffCompressionRow& row : kCompressions) {
        if (std::equal(
                row.Name.begin(), row.Name.end(), name.begin(), name.end(),
                [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); })) {
            return row.Compression;
        }
    }
    return std::nullopt;
}

std::string TiffCompressionNames() {
    std::string names;
    for (std::size_t i = 0; i < std::size(kCompressions); ++i) {
        if (i > 0) {
            names.append(i + 1 == std::size(kCompressions) ? " or " : ", ");
        }
        names.append(kCompressions[i].Name);
    }
    return names;
}

std::string CodecRefusal(TiffCompression compression) {
    if (TIFFIsCODECConfigured(CodeOf(compression))) {
        return {};
    }
    std::string text = "The libtiff this program runs with was built without ";
    text.append(RowOf(compression).Title).append(" compression; choose another of ");
    return text.append(TiffCompressionNames()).append(".");
}

std::unique_ptr<ImageWriter> MakeTiffWriter(std::FILE* file, std::int64_t width,
                                            std::int64_t height, const Georeference& where,
                                            bool withAlpha, const TiffOptions& options) {
    const int channels = withAlpha ? 4 : 3;
    if (options.Layout == TiffLayout::Plain) {
        return std::make_unique<PlainTiffWriter>(file, width, height, where, channels, options);
    }
    return std::make_unique<PyramidTiffWriter>(file, width, height, where, channels, options);
}

}  // namespace tessellon
