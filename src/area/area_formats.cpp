// The module that reads area files through GDAL's OGR; see area_formats.h.

#include "area/area_formats.h"

#include <cpl_error.h>
#include <cpl_string.h>
#include <cpl_vsi.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include <array>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <type_traits>

namespace tessellon {

namespace {

// Only the readers of the formats an area comes in: a file is opened by
// none of GDAL's other drivers, whatever it holds.
constexpr std::array<const char*, 7> kDrivers = {"GeoJSON", "LIBKML",         "KML",  "GPX",
                                                 "GPKG",    "ESRI Shapefile", nullptr};

void RegisterDrivers() {
    static std::once_flag once;
    std::call_once(once, [] {
        RegisterOGRGeoJSON();
        RegisterOGRLIBKML();
        RegisterOGRKML();
        RegisterOGRGPX();
        RegisterOGRGeoPackage();
        RegisterOGRShape();
    });
}

// A reading that cannot go on: the failure is the result.
struct Refusal {
    FormatFailure Failure;
    std::string Detail;
};

// Keeps GDAL's failures on this thread while it lives, instead of their
// going to standard error.
class GdalErrorTrap {
public:
    GdalErrorTrap() { CPLPushErrorHandlerEx(&Keep, this); }
    ~GdalErrorTrap() { CPLPopErrorHandler(); }
    GdalErrorTrap(const GdalErrorTrap&) = delete;
    GdalErrorTrap& operator=(const GdalErrorTrap&) = delete;

    bool Failed() const { return failed_; }
    // GDAL's last failure, as the end of a sentence: ": MESSAGE." or "."
    // when it would only say again that no format fits.
    std::string Detail() const {
        return failure_.empty() || failure_.find("not recognized as") != std::string::npos
                   ? "."
                   : ": " + failure_ + ".";
    }

private:
    static void CPL_STDCALL Keep(CPLErr level, CPLErrorNum, const char* message) {
        if (level < CE_Failure) {
            return;
        }
        auto* self = static_cast<GdalErrorTrap*>(CPLGetErrorHandlerUserData());
        self->failed_ = true;
        self->failure_ = message;
        while (!self->failure_.empty() &&
               (self->failure_.back() == '.' || self->failure_.back() == '\n')) {
            self->failure_.pop_back();
        }
    }

    bool failed_ = false;
    std::string failure_;
};

bool IsZipArchive(const std::string& path) {
    VSILFILE* file = VSIFOpenL(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    std::array<char, 4> magic{};
    const bool read = VSIFReadL(magic.data(), 1, magic.size(), file) == magic.size();
    VSIFCloseL(file);
    return read && magic[0] == 'P' && magic[1] == 'K' &&
           ((magic[2] == 3 && magic[3] == 4) || (magic[2] == 5 && magic[3] == 6));
}

bool EndsWithKml(const std::string& name) {
    return name.size() > 4 && EQUAL(name.c_str() + name.size() - 4, ".kml");
}

// The KML document of a KMZ archive, as a path GDAL reads inside the
// archive: doc.kml at the top as the format has it, else the first KML at
// the top, else the first anywhere.
std::string KmlInKmz(const std::string& path, std::uint64_t fileLimit) {
    const std::string archive = "/vsizip/{" + path + "}";
    const CPLStringList entries(VSIReadDirRecursive(archive.c_str()));
    std::string chosen;
    for (int pass = 0; pass < 3 && chosen.empty(); ++pass) {
        for (int i = 0; i < entries.size() && chosen.empty(); ++i) {
            const std::string entry = entries[i];
            const bool atTop = entry.find('/') == std::string::npos;
            if ((pass == 0 && EQUAL(entry.c_str(), "doc.kml")) ||
                (pass == 1 && atTop && EndsWithKml(entry)) || (pass == 2 && EndsWithKml(entry))) {
                chosen = entry;
            }
        }
    }
    if (chosen.empty()) {
        throw Refusal{FormatFailure::NoKmlInKmz, {}};
    }
    const std::string inner = archive + "/" + chosen;
    VSIStatBufL stat{};
    if (VSIStatL(inner.c_str(), &stat) != 0) {
        throw Refusal{FormatFailure::NoKmlInKmz, {}};
    }
    if (static_cast<std::uint64_t>(stat.st_size) > fileLimit) {
        throw Refusal{FormatFailure::KmlTooLarge, {}};
    }
    return inner;
}

GDALDatasetUniquePtr Open(const std::string& path, std::uint64_t fileLimit,
                          const GdalErrorTrap& errors) {
    RegisterDrivers();
    const std::string target = IsZipArchive(path) ? KmlInKmz(path, fileLimit) : path;
    GDALDatasetUniquePtr dataset(
        GDALDataset::Open(target.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY | GDAL_OF_VERBOSE_ERROR,
                          kDrivers.data()));
    if (!dataset) {
        throw Refusal{FormatFailure::Unreadable, errors.Detail()};
    }
    return dataset;
}

// True when the data are longitude and latitude on WGS 84, in that order:
// nothing to transform.
bool IsLongitudeLatitude(const OGRSpatialReference& system) {
    OGRSpatialReference wgs84;
    wgs84.SetWellKnownGeogCS("WGS84");
    const char* const sameExceptOrder[] = {"CRITERION=EQUIVALENT_EXCEPT_AXIS_ORDER_GEOGCRS",
                                           nullptr};
    if (!system.IsGeographic() || !system.IsSame(&wgs84, sameExceptOrder)) {
        return false;
    }
    const std::vector<int>& mapping = system.GetDataAxisToSRSAxisMapping();
    if (mapping.empty() || mapping[0] < 0) {
        return false;
    }
    OGRAxisOrientation orientation = OAO_Other;
    system.GetAxis(nullptr, mapping[0] - 1, &orientation);
    return orientation == OAO_East;
}

// How a layer's coordinates become longitude and latitude: nothing when they
// are already, or when the layer declares no system (taken as degrees, and
// checked as such).
std::unique_ptr<OGRCoordinateTransformation> ToDegrees(const OGRSpatialReference* system) {
    if (system == nullptr || IsLongitudeLatitude(*system)) {
        return nullptr;
    }
    OGRSpatialReference degrees;
    degrees.importFromEPSG(4326);
    degrees.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    std::unique_ptr<OGRCoordinateTransformation> transform(
        OGRCreateCoordinateTransformation(system, &degrees));
    if (!transform) {
        throw Refusal{FormatFailure::UnknownCoordinateSystem, {}};
    }
    return transform;
}

// Gathers a file's polygons and lines as they come, counting their points.
class Collector {
public:
    Collector(std::size_t pointLimit, RawArea& out) : pointLimit_(pointLimit), out_(out) {}

    void Add(const OGRGeometry& geometry) {
        if (geometry.hasCurveGeometry()) {
            const std::unique_ptr<OGRGeometry> linear(geometry.getLinearGeometry());
            if (linear) {
                Add(*linear);
            }
            return;
        }
        switch (wkbFlatten(geometry.getGeometryType())) {
            case wkbLineString:
                out_.push_back({{Points(*geometry.toLineString())}, true});
                break;
            case wkbPolygon:
            case wkbTriangle:
                AddPolygon(*geometry.toPolygon());
                break;
            case wkbMultiLineString:
            case wkbMultiPolygon:
            case wkbGeometryCollection:
                for (const OGRGeometry* part : *geometry.toGeometryCollection()) {
                    Add(*part);
                }
                break;
            default:
                // Points have no area; surfaces of triangles do not come in
                // area files.
                break;
        }
    }

private:
    std::vector<GeoPoint> Points(const OGRSimpleCurve& curve) {
        const int count = curve.getNumPoints();
        points_ += static_cast<std::size_t>(count);
        if (points_ > pointLimit_) {
            throw Refusal{FormatFailure::TooManyPoints, {}};
        }
        std::vector<GeoPoint> points;
        points.reserve(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            points.push_back({curve.getX(i), curve.getY(i)});
        }
        return points;
    }

    void AddPolygon(const OGRPolygon& polygon) {
        const OGRLinearRing* exterior = polygon.getExteriorRing();
        if (exterior == nullptr) {
            return;
        }
        RawPart part{{Points(*exterior)}, false};
        for (int i = 0; i < polygon.getNumInteriorRings(); ++i) {
            part.Rings.push_back(Points(*polygon.getInteriorRing(i)));
        }
        out_.push_back(std::move(part));
    }

    std::size_t pointLimit_;
    RawArea& out_;
    std::size_t points_ = 0;
};

void Read(const std::string& path, std::uint64_t fileLimit, std::size_t pointLimit, RawArea& out) {
    const GdalErrorTrap errors;
    const GDALDatasetUniquePtr dataset = Open(path, fileLimit, errors);
    Collector collector(pointLimit, out);
    for (OGRLayer* layer : dataset->GetLayers()) {
        const OGRwkbGeometryType declared = wkbFlatten(layer->GetGeomType());
        // GPX waypoints and the points of its routes and tracks: their lines
        // come in layers of their own.
        if (declared == wkbPoint || declared == wkbMultiPoint) {
            continue;
        }
        const std::unique_ptr<OGRCoordinateTransformation> transform =
            ToDegrees(layer->GetSpatialRef());
        for (const OGRFeatureUniquePtr& feature : *layer) {
            const std::unique_ptr<OGRGeometry> shape(feature->StealGeometry());
            if (!shape) {
                continue;
            }
            if (transform && shape->transform(transform.get()) != OGRERR_NONE) {
                throw Refusal{FormatFailure::NotTransformable, {}};
            }
            collector.Add(*shape);
        }
        if (errors.Failed()) {
            throw Refusal{FormatFailure::Unreadable, errors.Detail()};
        }
    }
}

}  // namespace

}  // namespace tessellon

extern "C" __attribute__((visibility("default"))) void TessellonReadAreaFormats(
    const char* path, std::uint64_t fileLimit, std::size_t pointLimit,
    tessellon::FormatReading* out) {
    using tessellon::FormatFailure;
    try {
        tessellon::Read(path, fileLimit, pointLimit, out->Area);
    } catch (const tessellon::Refusal& refusal) {
        out->Failure = refusal.Failure;
        out->Detail = refusal.Detail;
    } catch (const std::exception& e) {
        out->Failure = FormatFailure::Unreadable;
        out->Detail = std::string(": ") + e.what() + ".";
    }
}

static_assert(std::is_same_v<decltype(&TessellonReadAreaFormats), tessellon::ReadAreaFormats>,
              "the module's entry is the function its loader calls");
