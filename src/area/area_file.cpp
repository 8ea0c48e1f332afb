#include "area/area_file.h"

#include <cmath>

#include "area/area_formats.h"
#include "area/area_geojson.h"
#include "area/area_texts.h"
#include "platform/files.h"
#include "platform/shared_module.h"

namespace tessellon {

namespace {

// The file's size against the limit, before anything is read.
void CheckSize(const std::string& path, const AreaLimits& limits) {
    try {
        const FileMark mark = MarkOfFile(path);
        if (mark.Size > limits.FileBytes) {
            throw EAreaError(AreaText::FileTooLarge(path, limits.FileBytes));
        }
        if (mark.Size == 0) {
            throw EAreaError(AreaText::EmptyFile(path));
        }
    } catch (const EFileError& e) {
        throw EAreaError(e.what());
    }
}

// The other formats, through the module that links GDAL.
RawArea ReadWithGdal(const std::string& path, const AreaLimits& limits) {
    ReadAreaFormats read = nullptr;
    try {
        read = reinterpret_cast<ReadAreaFormats>(
            ModuleFunction(ProgramFolder() + kAreaFormatsModule, kAreaFormatsEntry));
    } catch (const EModuleError& e) {
        throw EAreaError(AreaText::FormatsMissing(path, e.what()));
    }
    FormatReading reading;
    read(path.c_str(), limits.FileBytes, limits.Points, &reading);
    switch (reading.Failure) {
        case FormatFailure::None:
            return std::move(reading.Area);
        case FormatFailure::Unreadable:
            throw EAreaError(AreaText::Unreadable(path, reading.Detail));
        case FormatFailure::NoKmlInKmz:
            throw EAreaError(AreaText::NoKmlInKmz(path));
        case FormatFailure::KmlTooLarge:
            throw EAreaError(AreaText::KmlTooLarge(path, limits.FileBytes));
        case FormatFailure::UnknownCoordinateSystem:
            throw EAreaError(AreaText::UnknownCoordinateSystem(path));
        case FormatFailure::NotTransformable:
            throw EAreaError(AreaText::NotTransformable(path));
        case FormatFailure::TooManyPoints:
            break;
    }
    throw EAreaError(AreaText::TooManyPoints(path, limits.Points));
}

// Checks a file's polygons and lines point by point and tidies them: no
// consecutive repeats, no closing repeat, rings of three points and lines
// of two at least.
class Collector {
public:
    Collector(const std::string& path, std::size_t pointLimit, AreaGeometry& out)
        : path_(path), pointLimit_(pointLimit), out_(out) {}

    void Add(const RawPart& part) {
        if (part.IsLine) {
            for (const std::vector<GeoPoint>& line : part.Rings) {
                AddLine(line);
            }
        } else if (!part.Rings.empty()) {
            AddPolygon(part.Rings);
        }
    }

private:
    std::vector<GeoPoint> Points(const std::vector<GeoPoint>& raw) {
        vertices_ += raw.size();
        if (vertices_ > pointLimit_) {
            throw EAreaError(AreaText::TooManyPoints(path_, pointLimit_));
        }
        std::vector<GeoPoint> points;
        points.reserve(raw.size());
        for (const GeoPoint& point : raw) {
            if (!std::isfinite(point.Longitude) || !std::isfinite(point.Latitude)) {
                throw EAreaError(AreaText::NotANumber(path_));
            }
            if (point.Longitude < -180 || point.Longitude > 180) {
                throw EAreaError(AreaText::CrossesAntimeridian(path_));
            }
            if (point.Latitude < -90 || point.Latitude > 90) {
                throw EAreaError(AreaText::LatitudeBeyondPole(path_, point.Latitude));
            }
            if (points.empty() || points.back() != point) {
                points.push_back(point);
            }
        }
        return points;
    }

    void CheckNoJump(const std::vector<GeoPoint>& points, bool closed) const {
        for (std::size_t i = 1; i < points.size(); ++i) {
            if (std::abs(points[i].Longitude - points[i - 1].Longitude) > 180) {
                throw EAreaError(AreaText::CrossesAntimeridian(path_));
            }
        }
        if (closed && points.size() > 1 &&
            std::abs(points.front().Longitude - points.back().Longitude) > 180) {
            throw EAreaError(AreaText::CrossesAntimeridian(path_));
        }
    }

    GeoRing Ring(const std::vector<GeoPoint>& raw) {
        GeoRing points = Points(raw);
        if (points.size() > 1 && points.front() == points.back()) {
            points.pop_back();
        }
        CheckNoJump(points, true);
        return points;
    }

    void AddLine(const std::vector<GeoPoint>& raw) {
        std::vector<GeoPoint> points = Points(raw);
        CheckNoJump(points, false);
        // A line of one point is a point.
        if (points.size() >= 2) {
            out_.Lines.push_back(std::move(points));
        }
    }

    void AddPolygon(const std::vector<std::vector<GeoPoint>>& rings) {
        GeoPolygon result{Ring(rings.front()), {}};
        for (std::size_t i = 1; i < rings.size(); ++i) {
            GeoRing hole = Ring(rings[i]);
            if (hole.size() >= 3) {
                result.Holes.push_back(std::move(hole));
            }
        }
        if (result.Outer.size() >= 3) {
            out_.Polygons.push_back(std::move(result));
        }
    }

    const std::string& path_;
    std::size_t pointLimit_;
    AreaGeometry& out_;
    std::size_t vertices_ = 0;
};

}  // namespace

AreaGeometry ReadAreaGeometry(const std::string& path, const AreaLimits& limits) {
    CheckSize(path, limits);
    std::string text;
    try {
        text = ReadFileBytes(path, limits.FileBytes);
    } catch (const EFileError& e) {
        throw EAreaError(e.what());
    }
    std::optional<RawArea> raw;
    if (LooksLikeJson(text)) {
        raw = ReadGeoJson(text, path, limits.Points);
    }
    if (!raw) {
        text = {};
        raw = ReadWithGdal(path, limits);
    }
    AreaGeometry geometry;
    Collector collector(path, limits.Points, geometry);
    for (const RawPart& part : *raw) {
        collector.Add(part);
    }
    if (geometry.Polygons.empty() && geometry.Lines.empty()) {
        throw EAreaError(AreaText::NoArea(path));
    }
    return geometry;
}

GeoShape ReadAreaShape(const std::string& path, std::optional<double> bufferMetres) {
    return ShapeOfArea(ReadAreaGeometry(path), bufferMetres, path);
}

}  // namespace tessellon
