#pragma once
// The combined image's file formats: PNG, JPEG, BMP and tiled GeoTIFF, each
// written one RGB (or, where the format has alpha, RGBA) scanline at a time so that no format holds
// the whole image; the limits each format puts on the size; and the georeference that PNG, JPEG and
// BMP carry beside them (a world file, a .prj and GDAL's .aux.xml).

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "output/formats.h"

namespace tessellon {

// An image in EPSG:3857: the outer corner of its top-left pixel, and the
// side of a pixel, in metres.
struct Georeference {
    double Left = 0;
    double Top = 0;
    double PixelSize = 0;
};

// The world file's name beside `imagePath` (".pgw", ".jgw", ".bpw"); empty
// for a TIFF, which carries its georeference inside.
std::string WorldFileNameOf(const std::string& imagePath, ImageFormat format);
// The six lines of a world file, which names the centre of the top-left pixel.
std::string WorldFileText(const Georeference& where);
// The same in the ".aux.xml" GDAL keeps beside an image, which GDAL (and so
// QGIS) reads where it passes a .prj by.
std::string PamText();

// A write that failed: the disk filled, the library refused the data. The
// message says which.
class EImageWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ImageWriter {
public:
    virtual ~ImageWriter() = default;
    // The next scanline, width x 3 bytes of RGB, or width x 4 of RGBA for a
    // writer made with alpha.
    virtual void WriteRow(const std::uint8_t* pixels) = 0;
    // After the last row: completes the file's structure. Throws
    // EImageWriteError.
    virtual void Finish() = 0;
};

// A writer of a width x height image into `file`, which it does not close.
// A TIFF is written through the file's descriptor, and seeks. `withAlpha`
// (only for a format that has alpha) makes the rows RGBA.
std::unique_ptr<ImageWriter> MakeImageWriter(ImageFormat format, std::FILE* file,
                                             std::int64_t width, std::int64_t height,
                                             const Georeference& where, bool withAlpha = false);

}  // namespace tessellon
