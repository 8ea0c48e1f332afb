#include "control/source_import.h"

#include <algorithm>

#include "control/source_editing.h"

namespace tessellon {

ServiceDescription FetchServiceDescription(const std::string& address, const ProxySettings& proxy,
                                           const TNetTimeLimits& limits) {
    const FetchedTile reply =
        FetchOneTile(address, std::nullopt, proxy, limits, kMaxServiceDescriptionBytes, true);
    if (!reply.Error.empty()) {
        throw EServiceDescriptionError("Cannot fetch " + address + ": " + reply.Error);
    }
    try {
        return ReadServiceDescription(reply.Body, address);
    } catch (const EServiceDescriptionError& error) {
        throw EServiceDescriptionError(address + ": " + error.what());
    }
}

std::string ImportedSourceName(const ServiceLayer& layer) {
    std::string name = layer.Title.empty() ? layer.Id : layer.Title;
    // A section header ends at the first ].
    name.erase(std::remove(name.begin(), name.end(), ']'), name.end());
    const std::size_t first = name.find_first_not_of(' ');
    name = first == std::string::npos ? ""
                                      : name.substr(first, name.find_last_not_of(' ') + 1 - first);
    return name.empty() ? "Imported source" : name;
}

SourcesVerdict ImportSource(const SourceImport& import,
                            const std::function<void(const std::string&)>& out,
                            const std::function<void(const std::string&)>& errors) {
    const Configuration configuration(import.ConfigFileName);
    try {
        const ServiceDescription service =
            FetchServiceDescription(import.Address, configuration.ReadProxy(), import.TimeLimits);
        out(service.Kind + (service.Title.empty() ? "" : " \"" + service.Title + "\"") + ", " +
            std::to_string(service.Layers.size()) + " layer(s):");
        for (const ServiceLayer& layer : service.Layers) {
            out("  " + DescribeServiceLayer(layer));
        }
        const ServiceLayer& layer = ChooseServiceLayer(service, import.Layer);
        const std::string name = import.Name.empty() ? ImportedSourceName(layer) : import.Name;
        SourceKeys keys = layer.Keys;
        keys.insert(keys.begin(), {"Name", name});
        if (const auto refused = SaveSource(import.SourcesFileName, "", keys,
                                            configuration.Read(settings::Version))) {
            errors(*refused);
            return SourcesVerdict::Refused;
        }
        out("Source '" + name + "' added to " + import.SourcesFileName + ".");
    } catch (const EServiceDescriptionError& error) {
        errors(error.what());
        return SourcesVerdict::Refused;
    }
    return SourcesVerdict::AllGood;
}

}  // namespace tessellon
