#include "output/tiff_layout.h"

#include <tiff.h>

#include <cerrno>
#include <cstring>
#include <initializer_list>

namespace tessellon {

namespace {

// GeoTIFF's tags, which tiff.h does not know.
constexpr std::uint16_t kModelPixelScaleTag = 33550;
constexpr std::uint16_t kModelTiepointTag = 33922;
constexpr std::uint16_t kGeoKeyDirectoryTag = 34735;
constexpr std::uint16_t kGeoAsciiParamsTag = 34737;
// libgeotiff ends each text with '|'; GDAL strips it.
constexpr std::string_view kCitation = "WGS 84 / Pseudo-Mercator|";

constexpr std::uint64_t kClassicLimit = 0xffffffffu;

void PutLittleEndian(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>(value >> (8 * i)));
    }
}

std::string Shorts(std::initializer_list<std::uint16_t> values) {
    std::string bytes;
    for (const std::uint16_t value : values) {
        PutLittleEndian(bytes, value, 2);
    }
    return bytes;
}

struct Entry {
    std::uint16_t Tag = 0;
    std::uint16_t Type = 0;
    std::uint64_t Count = 0;
    // The values, little-endian.
    std::string Value;
};

// One image's directory; entries are added in the order of their tags, as
// TIFF wants them.
class Directory {
public:
    explicit Directory(bool big) : big_(big) {}

    void Add(std::uint16_t tag, std::uint16_t type, std::uint64_t count, std::string value) {
        entries_.push_back({tag, type, count, std::move(value)});
    }
    void Short(std::uint16_t tag, std::uint16_t value) { Add(tag, TIFF_SHORT, 1, Shorts({value})); }
    void Long(std::uint16_t tag, std::uint32_t value) {
        std::string bytes;
        PutLittleEndian(bytes, value, 4);
        Add(tag, TIFF_LONG, 1, std::move(bytes));
    }
    void Doubles(std::uint16_t tag, std::initializer_list<double> values) {
        std::string bytes;
        for (const double value : values) {
            std::uint64_t bits = 0;
            std::memcpy(&bits, &value, sizeof bits);
            PutLittleEndian(bytes, bits, 8);
        }
        Add(tag, TIFF_DOUBLE, values.size(), std::move(bytes));
    }

    // The bytes of the directory itself, and of the values that do not fit
    // in its entries.
    std::uint64_t Size() const {
        return big_ ? 8 + 20 * entries_.size() + 8 : 2 + 12 * entries_.size() + 4;
    }
    std::uint64_t ValueBytes() const {
        std::uint64_t total = 0;
        for (const Entry& entry : entries_) {
            if (entry.Value.size() > InlineBytes()) {
                total += (entry.Value.size() + 1) / 2 * 2;
            }
        }
        return total;
    }

    // Appends the directory to `directories` and its values, which start at
    // `valuesAt` in the file, to `values`; `next` is the next directory's
    // place, 0 for none.
    void Write(std::uint64_t valuesAt, std::uint64_t next, std::string& directories,
               std::string& values) const {
        const int word = big_ ? 8 : 4;
        PutLittleEndian(directories, entries_.size(), big_ ? 8 : 2);
        for (const Entry& entry : entries_) {
            PutLittleEndian(directories, entry.Tag, 2);
            PutLittleEndian(directories, entry.Type, 2);
            PutLittleEndian(directories, entry.Count, word);
            if (entry.Value.size() <= InlineBytes()) {
                directories.append(entry.Value);
                directories.append(InlineBytes() - entry.Value.size(), '\0');
            } else {
                PutLittleEndian(directories, valuesAt, word);
                values.append(entry.Value);
                if (entry.Value.size() % 2 != 0) {
                    values.push_back('\0');
                }
                valuesAt += (entry.Value.size() + 1) / 2 * 2;
            }
        }
        PutLittleEndian(directories, next, word);
    }

private:
    std::size_t InlineBytes() const { return big_ ? 8 : 4; }

    bool big_;
    std::vector<Entry> entries_;
};

Directory DirectoryOf(const TiffImageFields& image, bool reduced, bool big,
                      const std::vector<std::uint64_t>& tileOffsets) {
    Directory directory(big);
    directory.Long(TIFFTAG_SUBFILETYPE, reduced ? FILETYPE_REDUCEDIMAGE : 0);
    directory.Long(TIFFTAG_IMAGEWIDTH, image.Width);
    directory.Long(TIFFTAG_IMAGELENGTH, image.Height);
    std::string bits;
    for (int i = 0; i < image.Channels; ++i) {
        PutLittleEndian(bits, 8, 2);
    }
    directory.Add(TIFFTAG_BITSPERSAMPLE, TIFF_SHORT, image.Channels, bits);
    directory.Short(TIFFTAG_COMPRESSION, image.Compression);
    directory.Short(TIFFTAG_PHOTOMETRIC, image.Photometric);
    directory.Short(TIFFTAG_SAMPLESPERPIXEL, image.Channels);
    directory.Short(TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    if (image.Predictor) {
        directory.Short(TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    }
    directory.Long(TIFFTAG_TILEWIDTH, image.TileSide);
    directory.Long(TIFFTAG_TILELENGTH, image.TileSide);
    std::string offsets;
    std::string counts;
    for (std::size_t i = 0; i < image.TileBytes.size(); ++i) {
        PutLittleEndian(offsets, tileOffsets[i], big ? 8 : 4);
        PutLittleEndian(counts, image.TileBytes[i], 4);
    }
    directory.Add(TIFFTAG_TILEOFFSETS, big ? TIFF_LONG8 : TIFF_LONG, image.TileBytes.size(),
                  std::move(offsets));
    directory.Add(TIFFTAG_TILEBYTECOUNTS, TIFF_LONG, image.TileBytes.size(), std::move(counts));
    if (image.Channels == 4) {
        directory.Short(TIFFTAG_EXTRASAMPLES, EXTRASAMPLE_UNASSALPHA);
    }
    if (!image.JpegTables.empty()) {
        directory.Add(TIFFTAG_JPEGTABLES, TIFF_UNDEFINED, image.JpegTables.size(),
                      image.JpegTables);
    }
    if (image.Photometric == PHOTOMETRIC_YCBCR) {
        directory.Add(TIFFTAG_YCBCRSUBSAMPLING, TIFF_SHORT, 2, Shorts({2, 2}));
        std::string range;
        for (const std::uint32_t value : {0, 255, 128, 255, 128, 255}) {
            PutLittleEndian(range, value, 4);
            PutLittleEndian(range, 1, 4);
        }
        directory.Add(TIFFTAG_REFERENCEBLACKWHITE, TIFF_RATIONAL, 6, std::move(range));
    }
    // Every level carries its own scale, so that a reader that opens one
    // level alone still places it.
    const Georeference& where = image.Where;
    directory.Doubles(kModelPixelScaleTag, {where.PixelSize, where.PixelSize, 0});
    directory.Doubles(kModelTiepointTag, {0, 0, 0, where.Left, where.Top, 0});
    // The key directory's header (version 1.1.0, four keys), then each
    // key: its id, where its value is (0: in the entry), count, value.
    const std::string keys =
        Shorts({1, 1, 0, 4}) + Shorts({1024, 0, 1, 1}) +  // a projected system
        Shorts({1025, 0, 1, 1}) +                         // a pixel stands for an area
        Shorts({1026, kGeoAsciiParamsTag, static_cast<std::uint16_t>(kCitation.size()), 0}) +
        Shorts({3072, 0, 1, 3857});  // EPSG:3857
    directory.Add(kGeoKeyDirectoryTag, TIFF_SHORT, keys.size() / 2, keys);
    std::string citation(kCitation);
    citation.push_back('\0');
    const std::size_t characters = citation.size();
    directory.Add(kGeoAsciiParamsTag, TIFF_ASCII, characters, std::move(citation));
    return directory;
}

[[noreturn]] void FailWrite() {
    throw EImageWriteError(std::string("Writing the TIFF image failed: ") + std::strerror(errno));
}

void Put(std::FILE* file, const std::string& bytes) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
        FailWrite();
    }
}

struct Layout {
    std::vector<Directory> Directories;
    std::vector<std::uint64_t> DirectoryAt;
    std::vector<std::uint64_t> ValuesAt;
    std::vector<std::vector<std::uint64_t>> TileAt;
    std::uint64_t End = 0;
};

// Where everything goes; with `offsets` of the tiles, directories that name them.
Layout LayOut(const std::vector<TiffImageFields>& images, bool big,
              const std::vector<std::vector<std::uint64_t>>& offsets) {
    Layout layout;
    for (std::size_t i = 0; i < images.size(); ++i) {
        layout.Directories.push_back(DirectoryOf(images[i], i > 0, big, offsets[i]));
    }
    std::uint64_t at = big ? 16 : 8;
    for (const Directory& directory : layout.Directories) {
        layout.DirectoryAt.push_back(at);
        at += directory.Size();
    }
    for (const Directory& directory : layout.Directories) {
        layout.ValuesAt.push_back(at);
        at += directory.ValueBytes();
    }
    layout.TileAt.resize(images.size());
    for (std::size_t i = images.size(); i-- > 0;) {
        for (const std::uint64_t bytes : images[i].TileBytes) {
            layout.TileAt[i].push_back(at);
            at += bytes;
        }
    }
    layout.End = at;
    return layout;
}

}  // namespace

void WriteHeadersFirstTiff(std::FILE* file, const std::vector<TiffImageFields>& images,
                           const CompressedTileSource& readTile) {
    std::vector<std::vector<std::uint64_t>> placeholders;
    for (const TiffImageFields& image : images) {
        placeholders.emplace_back(image.TileBytes.size(), 0);
    }
    bool big = false;
    Layout layout = LayOut(images, big, placeholders);
    if (layout.End > kClassicLimit) {
        big = true;
        layout = LayOut(images, big, placeholders);
    }
    layout = LayOut(images, big, layout.TileAt);

    std::string header = big ? std::string("II\x2b\0\x08\0\0\0", 8) : std::string("II\x2a\0", 4);
    PutLittleEndian(header, layout.DirectoryAt[0], big ? 8 : 4);
    std::string values;
    for (std::size_t i = 0; i < images.size(); ++i) {
        const std::uint64_t next = i + 1 < images.size() ? layout.DirectoryAt[i + 1] : 0;
        layout.Directories[i].Write(layout.ValuesAt[i], next, header, values);
    }
    Put(file, header);
    Put(file, values);
    std::string tile;
    for (std::size_t i = images.size(); i-- > 0;) {
        for (std::size_t t = 0; t < images[i].TileBytes.size(); ++t) {
            readTile(i, t, tile);
            if (tile.size() != images[i].TileBytes[t]) {
                errno = EIO;
                FailWrite();
            }
            Put(file, tile);
        }
    }
}

}  // namespace tessellon
