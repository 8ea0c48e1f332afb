#include "task/service_description.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>

#include "geo/web_mercator.h"

namespace tessellon {

namespace {

// The scale denominator of the grid's level 0 as WMTS writes it: one tile of
// 0.28 mm pixels over the world's width.
constexpr double kLevel0Scale = 2 * kHalfWorldMetres / kTilePixels / 0.00028;
// Documents write the corner rounded to a few decimals and the scales with
// some eight digits; another grid differs by far more.
constexpr double kCornerTolerance = 1.0;
constexpr double kScaleTolerance = 1e-6;
constexpr int kMaxZoomOffset = 2;
constexpr int kMinSourceZoom = 1;
constexpr int kMaxSourceZoom = 19;

bool SameText(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

// A service's text as one line of a sources file: control characters and
// runs of blanks become one blank.
std::string OneLine(std::string_view text) {
    std::string line;
    bool blank = false;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7F) {
            blank = !line.empty();
            continue;
        }
        if (blank) {
            line += ' ';
            blank = false;
        }
        line += c;
    }
    return line;
}

// An attribution written as HTML (TileJSON's usually is) as plain text.
std::string PlainText(std::string_view html) {
    std::string text;
    for (std::size_t i = 0; i < html.size(); ++i) {
        if (html[i] == '<') {
            const std::size_t end = html.find('>', i);
            if (end == std::string_view::npos) {
                break;
            }
            i = end;
            continue;
        }
        if (html[i] == '&') {
            static constexpr std::pair<std::string_view, std::string_view> kEntities[] = {
                {"&amp;", "&"}, {"&lt;", "<"},   {"&gt;", ">"},        {"&quot;", "\""},
                {"&#39;", "'"}, {"&nbsp;", " "}, {"&copy;", "\u00A9"},
            };
            const auto entity =
                std::find_if(std::begin(kEntities), std::end(kEntities),
                             [&](const auto& e) { return html.substr(i).starts_with(e.first); });
            if (entity != std::end(kEntities)) {
                text += entity->second;
                i += entity->first.size() - 1;
                continue;
            }
        }
        text += html[i];
    }
    return OneLine(text);
}

// A value placed into a URL: everything but unreserved characters and ':'
// percent-encoded, so a blank or a brace cannot reach the template.
std::string UrlEncoded(std::string_view value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) != 0 ||
            std::string_view("-._~:").find(c) != std::string_view::npos) {
            encoded += c;
        } else {
            encoded += '%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 0xF];
        }
    }
    return encoded;
}

// `reference` resolved against the address the description came from.
std::string ResolveAddress(const std::string& base, const std::string& reference) {
    if (reference.starts_with("http://") || reference.starts_with("https://")) {
        return reference;
    }
    const std::size_t schemeEnd = base.find("://");
    if (schemeEnd == std::string::npos) {
        return reference;
    }
    if (reference.starts_with("//")) {
        return base.substr(0, schemeEnd + 1) + reference;
    }
    const std::size_t pathStart = base.find('/', schemeEnd + 3);
    const std::string origin = base.substr(0, pathStart);
    if (reference.starts_with('/')) {
        return origin + reference;
    }
    if (pathStart == std::string::npos) {
        return origin + "/" + reference;
    }
    const std::string path = base.substr(0, base.find_first_of("?#", pathStart));
    return path.substr(0, path.rfind('/') + 1) + reference;
}

bool ParseNumber(std::string_view text, double& value) {
    const std::string copy(text);
    char* end = nullptr;
    value = std::strtod(copy.c_str(), &end);
    return !copy.empty() && end == copy.c_str() + copy.size() && std::isfinite(value);
}

bool ParseInteger(std::string_view text, long long& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

// The keys shared by both kinds: the zoom range within what a source may
// have. Empty when the range holds none of those zooms.
std::optional<SourceKeys> ZoomKeys(int least, int most, int offset) {
    least = std::max(least, kMinSourceZoom);
    most = std::min(most, kMaxSourceZoom);
    if (least > most) {
        return std::nullopt;
    }
    SourceKeys keys = {{"MinZoom", std::to_string(least)}, {"MaxZoom", std::to_string(most)}};
    if (offset != 0) {
        keys.emplace_back("ZoomOffset", std::to_string(offset));
    }
    return keys;
}

// The reason a layer's keys make no source, or empty.
std::string SourceProblem(const std::string& id, const SourceKeys& keys) {
    try {
        TileSource::Read(id, keys, "1");
    } catch (const ETileSourceError& error) {
        return error.what();
    }
    return {};
}

// ---------------------------------------------------------------- WMTS

struct XmlDocFree {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};

bool IsElement(const xmlNode* node, const char* name) {
    return node->type == XML_ELEMENT_NODE &&
           xmlStrcmp(node->name, reinterpret_cast<const xmlChar*>(name)) == 0;
}

std::vector<const xmlNode*> Children(const xmlNode* node, const char* name) {
    std::vector<const xmlNode*> found;
    for (const xmlNode* child = node ? node->children : nullptr; child; child = child->next) {
        if (IsElement(child, name)) {
            found.push_back(child);
        }
    }
    return found;
}

const xmlNode* Child(const xmlNode* node, const char* name) {
    for (const xmlNode* child = node ? node->children : nullptr; child; child = child->next) {
        if (IsElement(child, name)) {
            return child;
        }
    }
    return nullptr;
}

// The element's own text, trimmed to one line.
std::string Text(const xmlNode* node) {
    std::string text;
    for (const xmlNode* child = node ? node->children : nullptr; child; child = child->next) {
        if ((child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE) &&
            child->content != nullptr) {
            text += reinterpret_cast<const char*>(child->content);
        }
    }
    return OneLine(text);
}

std::string ChildText(const xmlNode* node, const char* name) {
    return Text(Child(node, name));
}

std::string Attribute(const xmlNode* node, const char* name) {
    xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    if (value == nullptr) {
        return {};
    }
    std::string text(reinterpret_cast<const char*>(value));
    xmlFree(value);
    return text;
}

// How a tile matrix set that is the grid numbers its levels: identifier
// Prefix + (zoom + Offset), over zooms Least..Most.
struct GridNumbering {
    std::string Prefix;
    int Offset = 0;
    int Least = 0;
    int Most = 0;
    std::vector<std::pair<std::string, int>> Zooms;  // identifier, grid zoom
};

struct MatrixSet {
    std::string Id;
    std::optional<GridNumbering> Grid;
    std::string Unusable;  // why it is not the grid
};

bool IsMercatorCrs(std::string_view crs) {
    const std::size_t last = crs.find_last_of(":/");
    const std::string_view code = last == std::string_view::npos ? crs : crs.substr(last + 1);
    return code == "3857" || code == "900913";
}

// The grid zoom of a tile matrix, or why it has none.
std::optional<int> MatrixZoom(const xmlNode* matrix, std::string& why) {
    const std::string id = ChildText(matrix, "Identifier");
    long long tileWidth = 0;
    long long tileHeight = 0;
    long long columns = 0;
    long long rows = 0;
    double scale = 0;
    double left = 0;
    double top = 0;
    const std::string corner = ChildText(matrix, "TopLeftCorner");
    const std::size_t blank = corner.find(' ');
    if (!ParseInteger(ChildText(matrix, "TileWidth"), tileWidth) ||
        !ParseInteger(ChildText(matrix, "TileHeight"), tileHeight) ||
        !ParseInteger(ChildText(matrix, "MatrixWidth"), columns) ||
        !ParseInteger(ChildText(matrix, "MatrixHeight"), rows) ||
        !ParseNumber(ChildText(matrix, "ScaleDenominator"), scale) || blank == std::string::npos ||
        !ParseNumber(corner.substr(0, blank), left) ||
        !ParseNumber(corner.substr(blank + 1), top)) {
        why = "tile matrix " + id + " is incomplete";
        return std::nullopt;
    }
    if (tileWidth != kTilePixels || tileHeight != kTilePixels) {
        why = "its tiles are " + std::to_string(tileWidth) + "x" + std::to_string(tileHeight) +
              " pixels, not 256x256";
        return std::nullopt;
    }
    if (std::abs(left + kHalfWorldMetres) > kCornerTolerance ||
        std::abs(top - kHalfWorldMetres) > kCornerTolerance) {
        why = "tile matrix " + id + " does not begin at the grid's corner";
        return std::nullopt;
    }
    for (int zoom = 0; zoom <= 30; ++zoom) {
        if (columns == (1LL << zoom) && rows == columns &&
            std::abs(scale / (kLevel0Scale / std::ldexp(1.0, zoom)) - 1) < kScaleTolerance) {
            return zoom;
        }
    }
    why = "tile matrix " + id + " is no zoom of the grid";
    return std::nullopt;
}

MatrixSet ReadMatrixSet(const xmlNode* set) {
    MatrixSet result{ChildText(set, "Identifier"), std::nullopt, {}};
    if (!IsMercatorCrs(ChildText(set, "SupportedCRS"))) {
        result.Unusable = "it is not in EPSG:3857";
        return result;
    }
    GridNumbering grid;
    bool first = true;
    for (const xmlNode* matrix : Children(set, "TileMatrix")) {
        const std::optional<int> zoom = MatrixZoom(matrix, result.Unusable);
        if (!zoom) {
            return result;
        }
        // "5", "EPSG:3857:5", "L05": a prefix and the number.
        const std::string id = ChildText(matrix, "Identifier");
        std::size_t digits = id.size();
        while (digits > 0 && std::isdigit(static_cast<unsigned char>(id[digits - 1])) != 0) {
            --digits;
        }
        long long number = 0;
        const std::string_view numberText = std::string_view(id).substr(digits);
        // A number with a leading zero ("05") would not come back from {z}.
        if (!ParseInteger(numberText, number) ||
            (numberText.size() > 1 && numberText.front() == '0') || number > 64) {
            result.Unusable = "tile matrix " + id + " is not numbered by zoom";
            return result;
        }
        const int offset = static_cast<int>(number) - *zoom;
        if (first) {
            grid.Prefix = id.substr(0, digits);
            grid.Offset = offset;
            grid.Least = grid.Most = *zoom;
            first = false;
        } else if (grid.Prefix != id.substr(0, digits) || grid.Offset != offset) {
            result.Unusable = "its tile matrices are not numbered alike";
            return result;
        }
        grid.Least = std::min(grid.Least, *zoom);
        grid.Most = std::max(grid.Most, *zoom);
        grid.Zooms.emplace_back(id, *zoom);
    }
    if (first) {
        result.Unusable = "it has no tile matrix";
    } else if (std::abs(grid.Offset) > kMaxZoomOffset) {
        result.Unusable = "its levels are numbered " + std::to_string(grid.Offset) +
                          " from the grid's zooms, more than 2";
    } else {
        result.Grid = std::move(grid);
    }
    return result;
}

std::string FormatOfMime(std::string_view mime) {
    mime = mime.substr(0, mime.find(';'));
    if (SameText(mime, "image/png")) {
        return "png";
    }
    if (SameText(mime, "image/jpeg") || SameText(mime, "image/jpg")) {
        return "jpg";
    }
    if (SameText(mime, "image/webp")) {
        return "webp";
    }
    if (SameText(mime, "application/vnd.mapbox-vector-tile") ||
        SameText(mime, "application/x-protobuf")) {
        return "pbf";
    }
    return {};
}

struct WmtsService {
    std::string Provider;
    std::string Terms;
    std::string KvpAddress;  // GetTile's KVP address, empty when none
    std::vector<MatrixSet> Sets;
};

// The KVP address of GetTile, when the service offers one.
std::string KvpAddress(const xmlNode* root) {
    for (const xmlNode* operation : Children(Child(root, "OperationsMetadata"), "Operation")) {
        if (Attribute(operation, "name") != "GetTile") {
            continue;
        }
        for (const xmlNode* dcp : Children(operation, "DCP")) {
            for (const xmlNode* get : Children(Child(dcp, "HTTP"), "Get")) {
                bool kvp = true;
                for (const xmlNode* constraint : Children(get, "Constraint")) {
                    if (Attribute(constraint, "name") == "GetEncoding") {
                        const auto values = Children(Child(constraint, "AllowedValues"), "Value");
                        kvp = std::any_of(values.begin(), values.end(), [](const xmlNode* v) {
                            return SameText(Text(v), "KVP");
                        });
                    }
                }
                const std::string href = Attribute(get, "href");
                if (kvp && !href.empty()) {
                    return href;
                }
            }
        }
    }
    return {};
}

// A RESTful template with the layer's values in place of the WMTS names.
// Empty, with `why`, when a placeholder is one the layer does not fill.
std::string FillResourceTemplate(std::string_view text,
                                 const std::vector<std::pair<std::string, std::string>>& values,
                                 std::string& why) {
    std::string url;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t open = text.find('{', at);
        if (open == std::string_view::npos) {
            url.append(text.substr(at));
            break;
        }
        url.append(text.substr(at, open - at));
        const std::size_t close = text.find('}', open);
        if (close == std::string_view::npos) {
            why = "its ResourceURL has an unclosed {";
            return {};
        }
        const std::string_view name = text.substr(open + 1, close - open - 1);
        const auto value = std::find_if(values.begin(), values.end(),
                                        [&](const auto& v) { return SameText(v.first, name); });
        if (value == values.end()) {
            why = "its ResourceURL has {" + std::string(name) + "}, which the layer does not fill";
            return {};
        }
        url += value->second;
        at = close + 1;
    }
    return url;
}

ServiceLayer ReadWmtsLayer(const xmlNode* layerNode, const WmtsService& service,
                           const std::string& address) {
    ServiceLayer layer;
    layer.Id = ChildText(layerNode, "Identifier");
    layer.Title = ChildText(layerNode, "Title");
    std::string defaultStyle;
    for (const xmlNode* style : Children(layerNode, "Style")) {
        const std::string id = ChildText(style, "Identifier");
        if (SameText(Attribute(style, "isDefault"), "true")) {
            defaultStyle = id;
            layer.Styles.insert(layer.Styles.begin(), id);
        } else {
            layer.Styles.push_back(id);
        }
    }
    if (defaultStyle.empty()) {
        defaultStyle = layer.Styles.empty() ? "default" : layer.Styles.front();
    }
    for (const xmlNode* format : Children(layerNode, "Format")) {
        layer.Formats.push_back(Text(format));
    }
    // Dimensions take their default value.
    std::vector<std::pair<std::string, std::string>> dimensions;
    for (const xmlNode* dimension : Children(layerNode, "Dimension")) {
        std::string value = ChildText(dimension, "Default");
        if (value.empty()) {
            value = ChildText(dimension, "Value");
        }
        dimensions.emplace_back(ChildText(dimension, "Identifier"), value);
    }

    // The first linked set that is the grid, within the layer's limits.
    const MatrixSet* chosen = nullptr;
    std::vector<std::string> reasons;
    std::vector<std::string> limited;
    for (const xmlNode* link : Children(layerNode, "TileMatrixSetLink")) {
        const std::string setId = ChildText(link, "TileMatrixSet");
        layer.MatrixSets.push_back(setId);
        const auto set = std::find_if(service.Sets.begin(), service.Sets.end(),
                                      [&](const MatrixSet& s) { return s.Id == setId; });
        if (set == service.Sets.end()) {
            reasons.push_back(setId + ": the document does not describe it");
        } else if (!set->Grid) {
            reasons.push_back(setId + ": " + set->Unusable);
        } else if (chosen == nullptr) {
            chosen = &*set;
            for (const xmlNode* limits :
                 Children(Child(link, "TileMatrixSetLimits"), "TileMatrixLimits")) {
                limited.push_back(ChildText(limits, "TileMatrix"));
            }
        }
    }
    if (chosen == nullptr) {
        layer.Unusable = "no tile matrix set in the Web Mercator grid";
        for (std::size_t i = 0; i < reasons.size(); ++i) {
            layer.Unusable += (i == 0 ? " (" : "; ") + reasons[i];
        }
        layer.Unusable += reasons.empty() ? "." : ").";
        return layer;
    }
    const GridNumbering& grid = *chosen->Grid;
    int least = grid.Least;
    int most = grid.Most;
    if (!limited.empty()) {
        least = 64;
        most = -1;
        for (const auto& [id, zoom] : grid.Zooms) {
            if (std::find(limited.begin(), limited.end(), id) != limited.end()) {
                least = std::min(least, zoom);
                most = std::max(most, zoom);
            }
        }
    }
    std::optional<SourceKeys> keys = ZoomKeys(least, most, grid.Offset);
    if (!keys) {
        layer.Unusable = "its zooms are outside 1..19.";
        return layer;
    }

    const std::string matrix = UrlEncoded(grid.Prefix) + "{z}";
    std::string url;
    std::string format;
    std::string why;
    for (const xmlNode* resource : Children(layerNode, "ResourceURL")) {
        format = FormatOfMime(Attribute(resource, "format"));
        if (Attribute(resource, "resourceType") != "tile" || format.empty()) {
            continue;
        }
        std::vector<std::pair<std::string, std::string>> values = {
            {"TileMatrixSet", UrlEncoded(chosen->Id)},
            {"TileMatrix", matrix},
            {"TileRow", "{y}"},
            {"TileCol", "{x}"},
            {"Style", UrlEncoded(defaultStyle)},
        };
        for (const auto& [name, value] : dimensions) {
            values.emplace_back(name, UrlEncoded(value));
        }
        url = FillResourceTemplate(Attribute(resource, "template"), values, why);
        if (!url.empty()) {
            url = ResolveAddress(address, url);
            break;
        }
    }
    if (url.empty() && !service.KvpAddress.empty()) {
        const auto offered =
            std::find_if(layer.Formats.begin(), layer.Formats.end(),
                         [](const std::string& f) { return !FormatOfMime(f).empty(); });
        if (offered != layer.Formats.end()) {
            format = FormatOfMime(*offered);
            url = ResolveAddress(address, service.KvpAddress);
            if (url.find('?') == std::string::npos) {
                url += '?';
            } else if (!url.ends_with('?') && !url.ends_with('&')) {
                url += '&';
            }
            url += "SERVICE=WMTS&REQUEST=GetTile&VERSION=1.0.0&LAYER=" + UrlEncoded(layer.Id) +
                   "&STYLE=" + UrlEncoded(defaultStyle) +
                   "&TILEMATRIXSET=" + UrlEncoded(chosen->Id) + "&TILEMATRIX=" + matrix +
                   "&TILEROW={y}&TILECOL={x}&FORMAT=" + UrlEncoded(*offered);
            for (const auto& [name, value] : dimensions) {
                url += "&" + UrlEncoded(name) + "=" + UrlEncoded(value);
            }
        }
    }
    if (url.empty()) {
        layer.Unusable = why.empty() ? "the service gives no address for its tiles in png, jpg, "
                                       "webp or pbf."
                                     : why + ".";
        return layer;
    }
    keys->insert(keys->begin(), {{"Url", url}, {"Format", format}});
    if (!service.Provider.empty()) {
        keys->emplace_back("Attribution", service.Provider);
    }
    if (!service.Terms.empty()) {
        keys->emplace_back("Terms", service.Terms);
    }
    layer.Unusable = SourceProblem(layer.Id, *keys);
    if (layer.Unusable.empty()) {
        layer.Keys = std::move(*keys);
    }
    return layer;
}

ServiceDescription ReadWmts(std::string_view text, const std::string& address) {
    // A capabilities document has no DTD; one that declares entities is
    // refused before libxml2 sees it, so no expansion can blow up.
    if (text.find("<!DOCTYPE") != std::string_view::npos ||
        text.find("<!ENTITY") != std::string_view::npos) {
        throw EServiceDescriptionError(
            "The service description declares a DTD, which a WMTS "
            "capabilities document never has.");
    }
    const std::unique_ptr<xmlDoc, XmlDocFree> doc(
        xmlReadMemory(text.data(), static_cast<int>(text.size()), address.c_str(), nullptr,
                      XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    const xmlNode* root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
    if (root == nullptr) {
        const xmlError* error = xmlGetLastError();
        throw EServiceDescriptionError(
            "The service description is not well-formed XML" +
            (error && error->message
                 ? " (line " + std::to_string(error->line) + ": " + OneLine(error->message) + ")."
                 : std::string(".")));
    }
    if (IsElement(root, "ExceptionReport") || IsElement(root, "ServiceExceptionReport")) {
        const xmlNode* exception = Child(root, "Exception");
        throw EServiceDescriptionError("The service answered with an error: " +
                                       ChildText(exception ? exception : root, "ExceptionText") +
                                       Text(Child(root, "ServiceException")));
    }
    if (!IsElement(root, "Capabilities")) {
        throw EServiceDescriptionError(
            "The document is no WMTS capabilities document (its root "
            "is <" +
            OneLine(reinterpret_cast<const char*>(root->name)) + ">).");
    }
    ServiceDescription description;
    description.Kind = "WMTS";
    const xmlNode* identification = Child(root, "ServiceIdentification");
    description.Title = ChildText(identification, "Title");

    WmtsService service;
    service.Provider = ChildText(Child(root, "ServiceProvider"), "ProviderName");
    for (const xmlNode* constraint : Children(identification, "AccessConstraints")) {
        const std::string terms = Text(constraint);
        if (!terms.empty() && !SameText(terms, "none")) {
            service.Terms += (service.Terms.empty() ? "" : " ") + terms;
        }
    }
    service.KvpAddress = KvpAddress(root);
    const xmlNode* contents = Child(root, "Contents");
    for (const xmlNode* set : Children(contents, "TileMatrixSet")) {
        service.Sets.push_back(ReadMatrixSet(set));
    }
    for (const xmlNode* layer : Children(contents, "Layer")) {
        description.Layers.push_back(ReadWmtsLayer(layer, service, address));
    }
    return description;
}

// ------------------------------------------------------------ TileJSON

std::string JsonText(const nlohmann::json& object, const char* key) {
    const auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : "";
}

std::optional<int> JsonZoom(const nlohmann::json& object, const char* key, int fallback) {
    const auto found = object.find(key);
    if (found == object.end()) {
        return fallback;
    }
    if (!found->is_number_integer() || *found < 0 || *found > 30) {
        return std::nullopt;
    }
    return found->get<int>();
}

// Several tile addresses that differ in one host-like part become one
// template with {s}: "https://a.x/{z}..." and "https://b.x/{z}..." give
// "https://{s}.x/{z}..." with subdomains a,b.
std::pair<std::string, std::string> TemplateOfAddresses(const std::vector<std::string>& urls) {
    const std::string& first = urls.front();
    std::size_t prefix = first.size();
    std::size_t suffix = first.size();
    for (const std::string& url : urls) {
        const auto [a, b] = std::mismatch(first.begin(), first.end(), url.begin(), url.end());
        prefix = std::min<std::size_t>(prefix, static_cast<std::size_t>(a - first.begin()));
        const auto [c, d] = std::mismatch(first.rbegin(), first.rend(), url.rbegin(), url.rend());
        suffix = std::min<std::size_t>(suffix, static_cast<std::size_t>(c - first.rbegin()));
    }
    std::string subdomains;
    for (const std::string& url : urls) {
        if (prefix + suffix >= url.size() || url.size() > 2048) {
            return {first, ""};
        }
        const std::string middle = url.substr(prefix, url.size() - prefix - suffix);
        if (!std::all_of(middle.begin(), middle.end(), [](char c) {
                return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-';
            })) {
            return {first, ""};
        }
        subdomains += middle + ",";
    }
    return {first.substr(0, prefix) + "{s}" + first.substr(first.size() - suffix), subdomains};
}

ServiceDescription ReadTileJson(std::string_view text, const std::string& address) {
    const nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        throw EServiceDescriptionError("The service description is not valid JSON.");
    }
    const auto tiles = json.find("tiles");
    if (tiles == json.end() || !tiles->is_array() || tiles->empty()) {
        throw EServiceDescriptionError("The TileJSON lists no tiles.");
    }
    ServiceDescription description;
    description.Kind = "TileJSON";
    description.Title = OneLine(JsonText(json, "name"));
    ServiceLayer layer;
    layer.Id = description.Title.empty() ? "tiles" : description.Title;
    layer.Title = OneLine(JsonText(json, "description"));
    const bool tms = JsonText(json, "scheme") == "tms";
    std::vector<std::string> urls;
    for (const nlohmann::json& tile : *tiles) {
        if (!tile.is_string()) {
            throw EServiceDescriptionError("The TileJSON's tiles must be addresses.");
        }
        std::string url = ResolveAddress(address, tile.get<std::string>());
        if (tms) {
            for (std::size_t at = url.find("{y}"); at != std::string::npos;
                 at = url.find("{y}", at)) {
                url.replace(at, 3, "{-y}");
            }
        }
        urls.push_back(std::move(url));
    }
    const std::optional<int> least = JsonZoom(json, "minzoom", 0);
    const std::optional<int> most = JsonZoom(json, "maxzoom", 30);
    std::optional<SourceKeys> keys;
    if (!least || !most) {
        layer.Unusable = "its minzoom or maxzoom is no zoom 0..30.";
    } else if (!(keys = ZoomKeys(*least, *most, 0))) {
        layer.Unusable = "its zooms are outside 1..19.";
    }
    if (keys) {
        const auto [url, subdomains] = TemplateOfAddresses(urls);
        keys->insert(keys->begin(), {"Url", url});
        if (!subdomains.empty()) {
            keys->emplace_back("Subdomains", subdomains);
        }
        std::string format = JsonText(json, "format");
        format = format == "jpeg" ? "jpg" : format;
        if (IsSourceFormat(format)) {
            keys->emplace_back("Format", format);
            layer.Formats.push_back(format);
        } else if (json.contains("vector_layers")) {
            keys->emplace_back("Format", "pbf");
            layer.Formats.emplace_back("pbf");
        }
        const std::string attribution = PlainText(JsonText(json, "attribution"));
        if (!attribution.empty()) {
            keys->emplace_back("Attribution", attribution);
        }
        layer.Unusable = SourceProblem(layer.Id, *keys);
        if (layer.Unusable.empty()) {
            layer.Keys = std::move(*keys);
        }
    }
    description.Layers.push_back(std::move(layer));
    return description;
}

}  // namespace

ServiceDescription ReadServiceDescription(std::string_view text, const std::string& address) {
    if (text.size() > kMaxServiceDescriptionBytes) {
        throw EServiceDescriptionError("The service description is larger than " +
                                       std::to_string(kMaxServiceDescriptionBytes >> 20) + " MiB.");
    }
    std::string_view start = text;
    if (start.starts_with("\xEF\xBB\xBF")) {
        start.remove_prefix(3);
    }
    const std::size_t first = start.find_first_not_of(" \t\r\n");
    if (first != std::string_view::npos && start[first] == '{') {
        return ReadTileJson(start, address);
    }
    if (first != std::string_view::npos && start[first] == '<') {
        return ReadWmts(text, address);
    }
    throw EServiceDescriptionError(
        "The address gives neither a WMTS capabilities document nor a TileJSON.");
}

const ServiceLayer& ChooseServiceLayer(const ServiceDescription& service, std::string_view id) {
    std::vector<const ServiceLayer*> usable;
    std::string names;
    for (const ServiceLayer& layer : service.Layers) {
        if (!id.empty() && SameText(layer.Id, id)) {
            if (!layer.Unusable.empty()) {
                throw EServiceDescriptionError("Layer '" + layer.Id +
                                               "' cannot be chosen: " + layer.Unusable);
            }
            return layer;
        }
        if (layer.Unusable.empty()) {
            usable.push_back(&layer);
            names += (names.empty() ? "" : ", ") + layer.Id;
        }
    }
    if (id.empty() && usable.size() == 1) {
        return *usable.front();
    }
    if (usable.empty()) {
        throw EServiceDescriptionError("No layer of the service can be downloaded.");
    }
    throw EServiceDescriptionError(
        (id.empty() ? "The service has " + std::to_string(usable.size()) + " layers"
                    : "The service has no layer '" + std::string(id) + "'") +
        "; choose one of: " + names + ".");
}

std::string DescribeServiceLayer(const ServiceLayer& layer) {
    const auto list = [](const std::vector<std::string>& items) {
        std::string text;
        for (const std::string& item : items) {
            text += (text.empty() ? "" : ", ") + item;
        }
        return text.empty() ? std::string("-") : text;
    };
    std::string text = layer.Id + (layer.Title.empty() ? "" : ": " + layer.Title) + "; formats " +
                       list(layer.Formats) + "; styles " + list(layer.Styles) + "; sets " +
                       list(layer.MatrixSets);
    if (!layer.Unusable.empty()) {
        text += "; cannot be chosen: " + layer.Unusable;
    }
    return text;
}

}  // namespace tessellon
