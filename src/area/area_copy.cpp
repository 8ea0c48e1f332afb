#include "area/area_copy.h"

#include "area/area_file.h"
#include "area/area_texts.h"
#include "area/number_text.h"
#include "area/ring_area.h"
#include "platform/files.h"

namespace tessellon {

namespace {

void AppendPoint(std::string& text, const GeoPoint& point) {
    text += '[';
    AppendShortest(text, point.Longitude);
    text += ',';
    AppendShortest(text, point.Latitude);
    text += ']';
}

// The ring from its first point round the given way and back to it.
void AppendRing(std::string& text, const GeoRing& ring, bool counterClockwise) {
    text += '[';
    if (!ring.empty()) {
        AppendPoint(text, ring.front());
        const bool forward = (TwiceSignedArea(ring) > 0) == counterClockwise;
        for (std::size_t k = 1; k < ring.size(); ++k) {
            text += ',';
            AppendPoint(text, ring[forward ? k : ring.size() - k]);
        }
        text += ',';
        AppendPoint(text, ring.front());
    }
    text += ']';
}

}  // namespace

std::string AreaCopyText(const GeoShape& shape) {
    std::string text =
        R"({"type":"FeatureCollection","features":[{"type":"Feature","properties":{},)"
        R"("geometry":{"type":"MultiPolygon","coordinates":[)";
    for (std::size_t p = 0; p < shape.Polygons.size(); ++p) {
        const GeoPolygon& polygon = shape.Polygons[p];
        text += p == 0 ? "[" : ",[";
        AppendRing(text, polygon.Outer, true);
        for (const GeoRing& hole : polygon.Holes) {
            text += ',';
            AppendRing(text, hole, false);
        }
        text += ']';
    }
    text += "]}}]}\n";
    return text;
}

void WriteAreaCopy(const std::string& path, const GeoShape& shape) {
    WriteFileAtomic(path, AreaCopyText(shape));
}

GeoShape ReadAreaCopy(const std::string& path) {
    AreaGeometry geometry = ReadAreaGeometry(path);
    if (!geometry.Lines.empty()) {
        throw EAreaError(AreaText::CopyHoldsLines(path));
    }
    return GeoShape{std::move(geometry.Polygons)};
}

}  // namespace tessellon
