#pragma once
// Adding a tile source from a map service's own description, as the "Add
// from service..." button and `sources --import` do: the WMTS capabilities
// document or TileJSON is fetched as a tile is (the proxy of the settings,
// a bounded body), its layers are listed, and the chosen layer becomes a
// section of the user's sources file.

#include <functional>
#include <string>

#include "control/configuration.h"
#include "control/source_check.h"
#include "net/net_limits.h"
#include "task/service_description.h"

namespace tessellon {

// Fetches and reads the description at `address`. Throws
// EServiceDescriptionError with the reason, the address named.
ServiceDescription FetchServiceDescription(const std::string& address, const ProxySettings& proxy,
                                           const TNetTimeLimits& limits = {});

// The name a layer's source gets unless the user gives one: its title, else
// its identifier, as a section header can hold it.
std::string ImportedSourceName(const ServiceLayer& layer);

struct SourceImport {
    std::string Address;
    // The layer's identifier; empty: the only usable layer.
    std::string Layer;
    // The source's name; empty: ImportedSourceName.
    std::string Name;
    std::string SourcesFileName;
    // Gives the proxy and the version of the default user agent.
    std::string ConfigFileName;
    TNetTimeLimits TimeLimits;
};

// Lists the service's layers on `out` and adds the chosen one to the
// sources file; why nothing was added goes to `errors`. AllGood when the
// source was added, Refused otherwise.
SourcesVerdict ImportSource(const SourceImport& import,
                            const std::function<void(const std::string&)>& out,
                            const std::function<void(const std::string&)>& errors);

}  // namespace tessellon
