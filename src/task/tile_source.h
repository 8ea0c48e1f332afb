#pragma once
// A tile source: any web tile service that a URL template can address, as a
// value a task holds. Its keys (source_key_rules.h) are those of a section
// of the sources file; the same keys, in the table's order, are what a task
// keeps so that it goes on with the source as it was when it started.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "task/url_template.h"

namespace tessellon {

using SourceKeys = std::vector<std::pair<std::string, std::string>>;

// True for a format a source may have: "png", "jpg", "webp", "pbf".
bool IsSourceFormat(std::string_view text);

// What stands for a secret wherever one would be printed.
inline constexpr const char* kSecretMask = "********";

// A request header that usually carries a credential: Authorization,
// Proxy-Authorization, Cookie, or any name holding Key, Token, Secret, Auth
// or Session (in any case). Its value is never printed.
bool IsSecretHeader(std::string_view name);
// "Name: value" as a log or a listing shows it: a secret value masked.
std::string ShownHeader(const std::string& name, const std::string& value);

class TileSource;
// What a start of a task of an Insecure source says, in its log and on
// standard error: the certificate checks are off.
std::string InsecureSourceLine(const TileSource& source);

class TileSource {
public:
    // Reads a source from the keys of its section; key names match without
    // regard to case, an empty value counts as a missing key, and a missing
    // UserAgent is "Tessellon/" + `version`. Throws ETileSourceError with a
    // text naming the source and the key, such as
    // "Source 'Topo': Workers must be 1..8.".
    static TileSource Read(std::string name, const SourceKeys& keys, std::string_view version);
    // Rebuilds a source from what Keys() listed; `version` as for Read.
    static TileSource FromKeys(const SourceKeys& keys, std::string_view version);

    // Every key with its value as this source uses it, the name first, in
    // the table's order; an Optional key only when it is not at its default.
    // FromKeys on the list gives this source back.
    SourceKeys Keys() const;

    std::string TileUrl(std::int32_t x, std::int32_t y, int zoom) const {
        return url_.Url(x, y, zoom, subdomains_, zoomOffset_);
    }

    const std::string& Name() const { return name_; }
    const UrlTemplate& Url() const { return url_; }
    const std::vector<std::string>& Subdomains() const { return subdomains_; }
    // "png", "jpg", "webp" or "pbf": the tile files' extension too.
    const std::string& Format() const { return format_; }
    int MinZoom() const { return minZoom_; }
    int MaxZoom() const { return maxZoom_; }
    // Added to the grid's zoom in {z}.
    int ZoomOffset() const { return zoomOffset_; }
    int Workers() const { return workers_; }
    int PauseMs() const { return pauseMs_; }
    const std::string& UserAgent() const { return userAgent_; }
    const std::string& Referer() const { return referer_; }
    const std::vector<std::pair<std::string, std::string>>& Headers() const { return headers_; }
    const std::string& Attribution() const { return attribution_; }
    // The service's terms of use in a line; empty when the source has none.
    const std::string& Terms() const { return terms_; }
    // Accept a certificate that does not verify.
    bool Insecure() const { return insecure_; }

private:
    TileSource(std::string name, UrlTemplate url) : name_(std::move(name)), url_(std::move(url)) {}

    std::string name_;
    UrlTemplate url_;
    std::vector<std::string> subdomains_;
    std::string format_;
    int minZoom_ = 0;
    int maxZoom_ = 0;
    int zoomOffset_ = 0;
    int workers_ = 0;
    int pauseMs_ = 0;
    std::string userAgent_;
    std::string referer_;
    std::vector<std::pair<std::string, std::string>> headers_;
    std::string attribution_;
    std::string terms_;
    bool insecure_ = false;
};

}  // namespace tessellon
