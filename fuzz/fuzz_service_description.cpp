// A service description's bytes (WMTS capabilities XML or TileJSON) through
// the reader a user's pasted address feeds. It may refuse only with its own
// error; every layer it offers as usable must make a tile source with URLs
// at its least and greatest zoom, a layer it calls unusable must say why and
// must never be chosen, and every layer must describe itself.

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "task/service_description.h"

using namespace tessellon;

namespace {

// Relative tile addresses resolve against it.
const std::string kAddress = "https://maps.example.org/wmts/1.0.0/WMTSCapabilities.xml?key=a";

void CheckUsable(const ServiceLayer& layer) {
    if (layer.Keys.empty()) {
        fuzz::Fail("usable layer '" + layer.Id + "' has no keys");
    }
    TileSource source = [&] {
        try {
            return TileSource::Read(layer.Id, layer.Keys, "1");
        } catch (const ETileSourceError& error) {
            fuzz::Fail("usable layer '" + layer.Id + "' makes no source: " + error.what());
        }
    }();
    if (source.MinZoom() < 1 || source.MaxZoom() > 19 || source.MinZoom() > source.MaxZoom()) {
        fuzz::Fail("usable layer '" + layer.Id + "' has a zoom range out of bounds");
    }
    const std::int32_t last = (1 << source.MaxZoom()) - 1;
    if (source.TileUrl(0, 0, source.MinZoom()).empty() ||
        source.TileUrl(last, last, source.MaxZoom()).empty()) {
        fuzz::Fail("usable layer '" + layer.Id + "' gave an empty URL");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ServiceDescription service;
    try {
        service = ReadServiceDescription(text, kAddress);
    } catch (const EServiceDescriptionError& error) {
        if (std::string_view(error.what()).empty()) {
            fuzz::Fail("a refusal without a reason");
        }
        return 0;
    }
    if (service.Kind != "WMTS" && service.Kind != "TileJSON") {
        fuzz::Fail("a description of no known kind: " + service.Kind);
    }
    for (const ServiceLayer& layer : service.Layers) {
        if (DescribeServiceLayer(layer).empty()) {
            fuzz::Fail("layer '" + layer.Id + "' describes itself as nothing");
        }
        if (layer.Unusable.empty()) {
            CheckUsable(layer);
        }
        try {
            if (!ChooseServiceLayer(service, layer.Id).Unusable.empty()) {
                fuzz::Fail("unusable layer '" + layer.Id + "' was chosen");
            }
        } catch (const EServiceDescriptionError&) {
            // Unusable, or an id that names no layer.
        }
    }
    try {
        if (!ChooseServiceLayer(service, "").Unusable.empty()) {
            fuzz::Fail("an unusable layer was chosen as the only one");
        }
    } catch (const EServiceDescriptionError&) {
        // None or several to choose from.
    }
    return 0;
}
