#pragma once
// What a map service says it serves, read from its own description: an OGC
// WMTS 1.0.0 capabilities document (RESTful or KVP) or a TileJSON file
// (2.x or 3.0). Each layer becomes the keys of a tile source when one of its
// tile matrix sets is the Web Mercator grid the program downloads in; a
// layer without one is listed with the reason. Nothing here fetches: the
// caller hands over the document's bytes and the address it came from.
//
// XML is read with libxml2 (a tree with namespaces, a depth limit and the
// entity-expansion guards the program needs against a hostile document;
// expat would leave the tree to us); JSON with nlohmann-json.

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "task/tile_source.h"

namespace tessellon {

class EServiceDescriptionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A description larger than this is refused before it is parsed.
inline constexpr std::size_t kMaxServiceDescriptionBytes = 16 * 1024 * 1024;

struct ServiceLayer {
    std::string Id;
    std::string Title;
    std::vector<std::string> Formats;     // MIME types, as the service lists them
    std::vector<std::string> Styles;      // the default first
    std::vector<std::string> MatrixSets;  // the tile matrix sets linked to the layer
    // Empty when the layer can be downloaded; otherwise why not, in a
    // sentence.
    std::string Unusable;
    // The source's keys (no "Name"), when usable: Url, Subdomains, Format,
    // MinZoom, MaxZoom, ZoomOffset, Attribution and Terms as the service
    // gives them.
    SourceKeys Keys;
};

struct ServiceDescription {
    std::string Kind;  // "WMTS" or "TileJSON"
    std::string Title;
    std::vector<ServiceLayer> Layers;
};

// Reads `text`, the description fetched from `address` (relative tile
// addresses are resolved against it). Throws EServiceDescriptionError when
// the text is neither, is broken or too large.
ServiceDescription ReadServiceDescription(std::string_view text, const std::string& address);

// The layer `id` (any case), or the only usable one when `id` is empty.
// Throws EServiceDescriptionError naming the choices otherwise.
const ServiceLayer& ChooseServiceLayer(const ServiceDescription& service, std::string_view id);

// "id: Title; formats ...; styles ...; sets ..." and, for a layer that
// cannot be chosen, its reason.
std::string DescribeServiceLayer(const ServiceLayer& layer);

}  // namespace tessellon
