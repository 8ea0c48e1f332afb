#include "area/area_geojson.h"

#include <algorithm>
#include <array>
#include <nlohmann/json.hpp>
#include <utility>

#include "area/area_file.h"
#include "area/area_texts.h"

namespace tessellon {

namespace {

using Json = nlohmann::json;

// Deeper than this, a document is not an area file: GeoJSON nests five
// levels, and the limit keeps a hostile file of brackets from growing the
// parser's stack with the file.
constexpr std::size_t kDepthLimit = 64;

// The names of longitude and latitude on WGS 84 as GeoJSON's "crs" member
// gave them, GeoJSON's own coordinates.
constexpr std::array<std::string_view, 6> kDegreeSystems = {"urn:ogc:def:crs:OGC:1.3:CRS84",
                                                            "urn:ogc:def:crs:OGC::CRS84",
                                                            "OGC:CRS84",
                                                            "CRS84",
                                                            "urn:ogc:def:crs:EPSG::4326",
                                                            "EPSG:4326"};

bool IsDegreeSystem(std::string_view name) {
    for (const std::string_view system : kDegreeSystems) {
        if (name == system) {
            return true;
        }
    }
    return false;
}

// The kinds of geometry with coordinates, with how deep their positions lie
// (1: the position itself) and how their coordinates are built.
struct GeometryKind {
    std::string_view Type;
    int PositionLevel;
    bool IsLine;
    std::string_view Nesting;
};

constexpr std::array<GeometryKind, 6> kGeometryKinds = {{
    {"Point", 1, false, "a position"},
    {"MultiPoint", 2, false, "an array of positions"},
    {"LineString", 2, true, "an array of positions"},
    {"MultiLineString", 3, true, "an array of lines, each an array of positions"},
    {"Polygon", 3, false, "an array of rings, each an array of positions"},
    {"MultiPolygon", 4, false, "an array of polygons, each an array of rings of positions"},
}};

const GeometryKind* KindOf(std::string_view type) {
    for (const GeometryKind& kind : kGeometryKinds) {
        if (kind.Type == type) {
            return &kind;
        }
    }
    return nullptr;
}

// A geometry's coordinates as they were nested: its positions, and where
// each array above them ended.
struct Coordinates {
    struct End {
        std::size_t Points;
        int Level;
    };
    std::vector<GeoPoint> Points;
    std::vector<End> Ends;
    // How deep the positions lie: 1 for a bare position. 0 while none came.
    int PositionLevel = 0;
};

// The members that carry the geometries of an area, where their results go.
enum class Slot { Root, Geometry, Features, Geometries };

std::optional<Slot> SlotOf(std::string_view member) {
    if (member == "geometry") {
        return Slot::Geometry;
    }
    if (member == "features") {
        return Slot::Features;
    }
    if (member == "geometries") {
        return Slot::Geometries;
    }
    return std::nullopt;
}

// What an object or array of the document is to the reader.
enum class Role {
    Ignored,
    // Its geometries make the area.
    Live,
    // The old "crs" member of the document, and its properties.
    Crs,
    CrsProperties,
};

struct Frame {
    bool IsObject = false;
    Role Kind = Role::Ignored;
    // Where the geometry of a live object goes: the slot of the live object
    // below it on the stack (an array passes its items on to its own
    // destination).
    std::size_t Target = 0;
    Slot Into = Slot::Root;
    // Objects: the member whose value comes next, and what was read.
    std::string Key;
    std::string Type;
    std::optional<Coordinates> Coords;
    RawArea Geometry;
    RawArea Features;
    RawArea Geometries;

    RawArea& In(Slot slot) {
        return slot == Slot::Features ? Features : slot == Slot::Geometries ? Geometries : Geometry;
    }
};

// One array inside a geometry's coordinates while it is read.
struct OpenArray {
    std::size_t Numbers = 0;
    bool HoldsArrays = false;
    GeoPoint Point;
};

class GeoJsonReader {
public:
    GeoJsonReader(const std::string& path, std::size_t pointLimit)
        : path_(path), pointLimit_(pointLimit) {}

    // Nothing when the document is in a coordinate system of its own.
    std::optional<RawArea> Read(std::string_view text) {
        const bool whole = Json::sax_parse(text.begin(), text.end(), this);
        if (otherSystem_) {
            return std::nullopt;
        }
        if (!whole) {
            // The parser counts the byte it failed on from 1.
            Fail(errorAt_ > text.size() ? std::string("the JSON text ends too early")
                                        : "not valid JSON at byte " + std::to_string(errorAt_));
        }
        return std::move(area_);
    }

    // The parser's events.

    bool null() {
        if (Expecting("coordinates")) {
            frames_.back().Coords.emplace();
        }
        return Scalar();
    }
    bool boolean(bool) { return Scalar(); }
    bool number_integer(Json::number_integer_t value) { return Number(static_cast<double>(value)); }
    bool number_unsigned(Json::number_unsigned_t value) {
        return Number(static_cast<double>(value));
    }
    bool number_float(Json::number_float_t value, const Json::string_t&) { return Number(value); }
    bool binary(Json::binary_t&) { return Scalar(); }

    bool string(Json::string_t& value) {
        if (!frames_.empty() && frames_.back().IsObject) {
            Frame& frame = frames_.back();
            if (frame.Key == "type" && frame.Kind == Role::Live) {
                frame.Type = value;
            } else if (frame.Key == "name" && frame.Kind == Role::CrsProperties) {
                crsName_ = value;
            }
        }
        return Scalar();
    }

    bool start_object(std::size_t) {
        if (!coordinates_.empty()) {
            Fail(kNotNumbers);
        }
        Open(true);
        return true;
    }

    bool key(Json::string_t& name) {
        frames_.back().Key = std::move(name);
        return true;
    }

    bool end_object() {
        Frame frame = std::move(frames_.back());
        frames_.pop_back();
        if (frame.Kind == Role::Crs) {
            // Stop here: GDAL reads a document in a system of its own.
            otherSystem_ = !IsDegreeSystem(crsName_);
            return !otherSystem_;
        }
        if (frame.Kind == Role::Live) {
            Deliver(frame);
        }
        return true;
    }

    bool start_array(std::size_t) {
        if (!coordinates_.empty() || Expecting("coordinates")) {
            OpenCoordinates();
        } else {
            Open(false);
        }
        return true;
    }

    bool end_array() {
        if (!coordinates_.empty()) {
            CloseCoordinates();
        } else {
            frames_.pop_back();
        }
        return true;
    }

    bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception&) {
        errorAt_ = position;
        return false;
    }

private:
    static constexpr const char* kNotNumbers =
        "a geometry's coordinates hold something other than arrays of numbers";

    [[noreturn]] void Fail(const std::string& reason) const {
        throw EAreaError(AreaText::Unreadable(path_, ": " + reason + "."));
    }

    // True when the value now starting is the member `name` of a live object.
    bool Expecting(std::string_view name) const {
        return !frames_.empty() && frames_.back().IsObject && frames_.back().Kind == Role::Live &&
               frames_.back().Key == name;
    }

    bool Scalar() {
        if (!coordinates_.empty() ||
            (Expecting("coordinates") && !frames_.back().Coords.has_value())) {
            Fail(kNotNumbers);
        }
        return true;
    }

    bool Number(double value) {
        if (coordinates_.empty()) {
            return Scalar();
        }
        OpenArray& array = coordinates_.back();
        if (array.HoldsArrays) {
            Fail(kNotNumbers);
        }
        if (array.Numbers == 0) {
            array.Point.Longitude = value;
        } else if (array.Numbers == 1) {
            array.Point.Latitude = value;
        }
        ++array.Numbers;
        return true;
    }

    // An object or array outside coordinates: its role follows from where it
    // stands.
    void Open(bool isObject) {
        if (frames_.size() >= kDepthLimit) {
            Fail("nested deeper than " + std::to_string(kDepthLimit) + " levels");
        }
        Frame frame;
        frame.IsObject = isObject;
        if (frames_.empty()) {
            frame.Kind = isObject ? Role::Live : Role::Ignored;
        } else {
            const std::size_t below = frames_.size() - 1;
            const Frame& parent = frames_[below];
            if (parent.IsObject && parent.Kind == Role::Live) {
                if (const std::optional<Slot> slot = SlotOf(parent.Key)) {
                    frame.Kind = Role::Live;
                    frame.Target = below;
                    frame.Into = *slot;
                } else if (parent.Key == "crs" && below == 0 && isObject) {
                    frame.Kind = Role::Crs;
                }
            } else if (!parent.IsObject && parent.Kind == Role::Live) {
                frame.Kind = isObject ? Role::Live : Role::Ignored;
                frame.Target = parent.Target;
                frame.Into = parent.Into;
            } else if (parent.Kind == Role::Crs && parent.Key == "properties" && isObject) {
                frame.Kind = Role::CrsProperties;
            }
        }
        frames_.push_back(std::move(frame));
    }

    // The geometry a live object makes, handed to where it stands.
    void Deliver(Frame& frame) {
        RawArea made;
        if (frame.Type == "Feature") {
            made = std::move(frame.Geometry);
        } else if (frame.Type == "FeatureCollection") {
            made = std::move(frame.Features);
        } else if (frame.Type == "GeometryCollection") {
            made = std::move(frame.Geometries);
        } else if (const GeometryKind* kind = KindOf(frame.Type)) {
            if (!frame.Coords) {
                Fail("a " + std::string(kind->Type) + " has no coordinates");
            }
            made = Parts(*kind, *frame.Coords);
        } else if (frames_.empty()) {
            Fail("a JSON document, but not GeoJSON");
        }
        RawArea& into = frames_.empty() ? area_ : frames_[frame.Target].In(frame.Into);
        for (RawPart& part : made) {
            into.push_back(std::move(part));
        }
    }

    void OpenCoordinates() {
        if (coordinates_.empty()) {
            frames_.back().Coords.emplace();
        } else {
            OpenArray& parent = coordinates_.back();
            if (parent.Numbers > 0 ||
                coordinates_.size() >=
                    static_cast<std::size_t>(kGeometryKinds.back().PositionLevel)) {
                Fail(kNotNumbers);
            }
            parent.HoldsArrays = true;
        }
        coordinates_.emplace_back();
    }

    void CloseCoordinates() {
        const OpenArray array = coordinates_.back();
        const int level = static_cast<int>(coordinates_.size());
        coordinates_.pop_back();
        Coordinates& coords = *frames_.back().Coords;
        if (array.Numbers == 0) {
            coords.Ends.push_back({coords.Points.size(), level});
            return;
        }
        if (array.Numbers < 2) {
            Fail("a position has fewer than two numbers");
        }
        if (coords.PositionLevel != 0 && coords.PositionLevel != level) {
            Fail(kNotNumbers);
        }
        coords.PositionLevel = level;
        if (++points_ > pointLimit_) {
            throw EAreaError(AreaText::TooManyPoints(path_, pointLimit_));
        }
        coords.Points.push_back(array.Point);
    }

    // The polygons or lines of a geometry of `kind`.
    RawArea Parts(const GeometryKind& kind, const Coordinates& coords) const {
        const bool nestedRight =
            (coords.PositionLevel == 0 || coords.PositionLevel == kind.PositionLevel) &&
            std::all_of(coords.Ends.begin(), coords.Ends.end(), [&](const Coordinates::End& end) {
                return end.Level < kind.PositionLevel;
            });
        if (!nestedRight) {
            Fail("the coordinates of a " + std::string(kind.Type) + " are not " +
                 std::string(kind.Nesting));
        }
        RawArea parts;
        if (kind.PositionLevel < 2 || kind.Type == "MultiPoint") {
            return parts;
        }
        const int ringLevel = kind.PositionLevel - 1;
        RawPart polygon;
        std::size_t start = 0;
        for (const Coordinates::End& end : coords.Ends) {
            if (end.Level == ringLevel) {
                std::vector<GeoPoint> ring(
                    coords.Points.begin() + static_cast<std::ptrdiff_t>(start),
                    coords.Points.begin() + static_cast<std::ptrdiff_t>(end.Points));
                start = end.Points;
                if (kind.IsLine) {
                    parts.push_back({{std::move(ring)}, true});
                } else {
                    polygon.Rings.push_back(std::move(ring));
                }
            } else if (end.Level == ringLevel - 1 && !kind.IsLine && !polygon.Rings.empty()) {
                parts.push_back(std::move(polygon));
                polygon = {};
            }
        }
        return parts;
    }

    const std::string& path_;
    std::size_t pointLimit_;
    std::vector<Frame> frames_;
    std::vector<OpenArray> coordinates_;
    std::size_t points_ = 0;
    std::string crsName_;
    bool otherSystem_ = false;
    std::size_t errorAt_ = 0;
    RawArea area_;
};

}  // namespace

bool LooksLikeJson(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    return first != std::string_view::npos && text[first] == '{';
}

std::optional<RawArea> ReadGeoJson(std::string_view text, const std::string& path,
                                   std::size_t pointLimit) {
    return GeoJsonReader(path, pointLimit).Read(text);
}

}  // namespace tessellon
