#pragma once
// The formats GDAL reads for us (KML, KMZ, GPX, GeoPackage, Shapefile, and
// GeoJSON in a coordinate system of its own), in a module of their own:
// GDAL brings a hundred shared libraries with it, and loading them would
// cost every start of the command-line program a tenth of a second it
// mostly does not need. The module is loaded the first time such a file is
// read. Nothing crosses its edge but the plain types below; a failure comes
// back as a kind and GDAL's own words, never as an exception.

#include <cstddef>
#include <cstdint>
#include <string>

#include "area/raw_area.h"

namespace tessellon {

enum class FormatFailure {
    None,
    // GDAL could not open or read the file; Detail ends the sentence.
    Unreadable,
    NoKmlInKmz,
    KmlTooLarge,
    UnknownCoordinateSystem,
    NotTransformable,
    TooManyPoints,
};

struct FormatReading {
    RawArea Area;
    FormatFailure Failure = FormatFailure::None;
    // With Unreadable: ": GDAL's message." or ".".
    std::string Detail;
};

// The module's one entry, and its file name beside the program.
inline constexpr const char* kAreaFormatsEntry = "TessellonReadAreaFormats";
inline constexpr const char* kAreaFormatsModule = "tessellon-area-formats.so";

// Reads `path` into `out`: the KML document inside a KMZ archive at most
// `fileLimit` bytes, the polygons and lines at most `pointLimit` points.
using ReadAreaFormats = void (*)(const char* path, std::uint64_t fileLimit, std::size_t pointLimit,
                                 FormatReading* out);

}  // namespace tessellon
