#include "area/area_texts.h"

#include "area/area_buffer.h"
#include "area/number_text.h"

namespace tessellon::AreaText {

namespace {

// 5000000 as "5,000,000".
std::string Grouped(std::uint64_t count) {
    const std::string digits = std::to_string(count);
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            grouped += ',';
        }
        grouped += digits[i];
    }
    return grouped;
}

std::string Quoted(std::string_view text) {
    std::string quoted(1, '"');
    quoted.append(text);
    quoted += '"';
    return quoted;
}

// "64 MiB" for whole mebibytes, else bytes.
std::string Bytes(std::uint64_t count) {
    constexpr std::uint64_t kMebibyte = 1024 * 1024;
    return count % kMebibyte == 0 ? std::to_string(count / kMebibyte) + " MiB"
                                  : Grouped(count) + " bytes";
}

}  // namespace

std::string FileTooLarge(const std::string& path, std::uint64_t limit) {
    return path + ": the file is larger than " + Bytes(limit) + ", the most an area file may be.";
}

std::string EmptyFile(const std::string& path) {
    return path + ": the file is empty.";
}

std::string Unreadable(const std::string& path, const std::string& detail) {
    return path +
           ": not an area file that can be read (GeoJSON, KML, KMZ, GPX, GeoPackage or "
           "Shapefile)" +
           detail;
}

std::string NoKmlInKmz(const std::string& path) {
    return path + ": the KMZ archive holds no KML document.";
}

std::string FormatsMissing(const std::string& path, const std::string& reason) {
    return path +
           ": only GeoJSON area files can be read: the program's reader of KML, KMZ, GPX, "
           "GeoPackage and Shapefile files is missing (" +
           reason + ").";
}

std::string KmlTooLarge(const std::string& path, std::uint64_t limit) {
    return path + ": the KML document in the KMZ archive is larger than " + Bytes(limit) +
           ", the most an area file may be.";
}

std::string UnknownCoordinateSystem(const std::string& path) {
    return path + ": the file's coordinate system cannot be converted to longitude and latitude.";
}

std::string NotTransformable(const std::string& path) {
    return path +
           ": a point cannot be converted from the file's coordinate system to longitude and "
           "latitude.";
}

std::string TooManyPoints(const std::string& path, std::size_t limit) {
    return path + ": the area has more than " + Grouped(limit) +
           " points, the most an area may have.";
}

std::string NotANumber(const std::string& path) {
    return path + ": a coordinate is not a number.";
}

std::string CrossesAntimeridian(const std::string& path) {
    return path +
           ": the area crosses the antimeridian (180 degrees longitude); split it into two "
           "areas.";
}

std::string LatitudeBeyondPole(const std::string& path, double latitude) {
    return path + ": a latitude of " + ShortestText(latitude) +
           " degrees lies beyond the pole; are longitude and latitude swapped?";
}

std::string NoArea(const std::string& path) {
    return path +
           ": the file holds no area: no polygon, line, track or route (points alone make no "
           "area).";
}

std::string LinesNeedBuffer(const std::string& path) {
    return path +
           ": the area holds lines (a track or route); give a buffer distance with --buffer, "
           "e.g. --buffer 1km.";
}

std::string LinesNeedBufferAboveZero(const std::string& path) {
    return path +
           ": the area holds lines (a track or route), and a buffer of 0 leaves them no area; "
           "give a buffer distance with --buffer, e.g. --buffer 1km.";
}

std::string BeyondGrid(const std::string& path) {
    return path +
           ": the area lies wholly beyond 85.0511 degrees north or south, where the map has no "
           "tiles.";
}

std::string EnclosesNothing(const std::string& path) {
    return path + ": the area's polygons enclose nothing.";
}

std::string BufferCrossesAntimeridian(const std::string& path, double metres) {
    return path + ": with a buffer of " + FormatBufferDistance(metres) +
           " the area reaches across the antimeridian (180 degrees longitude) or around a pole; "
           "keep it farther away or give a smaller buffer.";
}

std::string ShapeFailed(const std::string& path, const std::string& reason) {
    return path + ": the area could not be made from it (" + reason + ").";
}

std::string CopyHoldsLines(const std::string& path) {
    return path + ": holds lines, not the polygons of a task's area.";
}

std::string BufferNotADistance(std::string_view text) {
    return "The buffer distance " + Quoted(text) +
           " is not a distance: give a number and its unit, e.g. 500m, 2km or 1.5km.";
}

std::string BufferNegative(std::string_view text) {
    return "The buffer distance " + Quoted(text) + " is negative.";
}

std::string BufferTooLarge(std::string_view text) {
    return "The buffer distance " + Quoted(text) + " is larger than 1000 km, the largest buffer.";
}

std::string BufferTooSmall(std::string_view text) {
    return "The buffer distance " + Quoted(text) + " is below 1 m; give 0 for no buffer.";
}

}  // namespace tessellon::AreaText
