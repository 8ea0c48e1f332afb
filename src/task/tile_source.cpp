#include "task/tile_source.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>

#include "platform/ini_file.h"
#include "task/source_key_rules.h"

namespace tessellon {

namespace {

constexpr std::array<std::string_view, 4> kFormats{"png", "jpg", "webp", "pbf"};

std::string Lowercase(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

// The format a URL's path names by its extension ("jpeg" is "jpg"), else png.
std::string FormatOfUrl(std::string_view url) {
    url = url.substr(0, url.find_first_of("?#"));
    url = url.substr(url.rfind('/') + 1);
    const std::size_t dot = url.rfind('.');
    if (dot == std::string_view::npos) {
        return "png";
    }
    std::string extension = Lowercase(url.substr(dot + 1));
    if (extension == "jpeg") {
        extension = "jpg";
    }
    return IsSourceFormat(extension) ? extension : "png";
}

// A character of a header name (an HTTP token).
bool IsTokenCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 ||
           std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool IsHostCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '.';
}

std::string_view Trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The entries between separators, blanks around them removed; empty ones
// are skipped.
std::vector<std::string> SplitTrimmed(std::string_view text, char separator) {
    std::vector<std::string> entries;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find(separator, start), text.size());
        if (const std::string_view entry = Trim(text.substr(start, end - start)); !entry.empty()) {
            entries.emplace_back(entry);
        }
        start = end + 1;
    }
    return entries;
}

template <typename Item, typename Format>
std::string Join(const std::vector<Item>& items, std::string_view separator, Format format) {
    std::string text;
    for (const Item& item : items) {
        if (!text.empty()) {
            text += separator;
        }
        text += format(item);
    }
    return text;
}

// The keys of one source, read by the INI rules, with the source's name on
// every complaint.
class SectionReader {
public:
    SectionReader(const std::string& name, const SourceKeys& keys) : name_(name), keys_(keys) {}

    // "" for a key that is missing.
    const std::string& Text(std::string_view key) const {
        static const std::string kMissing;
        const auto found = std::find_if(keys_.begin(), keys_.end(), [&](const auto& entry) {
            return SameIniName(entry.first, key);
        });
        return found == keys_.end() ? kMissing : found->second;
    }

    int Integer(const SourceKeyRule& rule) const {
        const std::string& text = Text(rule.Name);
        int value = rule.Default;
        if (!text.empty() &&
            (!ParseProfileInteger(text, value) || value < rule.Min || value > rule.Max)) {
            const std::string range =
                rule.Max - rule.Min == 1
                    ? std::to_string(rule.Min) + " or " + std::to_string(rule.Max)
                    : std::to_string(rule.Min) + ".." + std::to_string(rule.Max);
            Fail(std::string(rule.Name) + " must be " + range + ".");
        }
        return value;
    }

    // Every key is one the source knows, and no value holds a control
    // character (some of them become request header lines). Keys that begin
    // like a comment line are left alone.
    void CheckKeys() const {
        for (const auto& entry : keys_) {
            const std::string& key = entry.first;
            const std::string& value = entry.second;
            if (key.starts_with(';') || key.starts_with('#')) {
                continue;
            }
            // The name is the section's, not one of its keys.
            const SourceKeyRule* rule = FindSourceKey(key);
            if (rule == nullptr || rule == &SourceKey("Name")) {
                Fail("unknown key " + key + ".");
            }
            if (std::any_of(value.begin(), value.end(), [](char c) {
                    return (static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f;
                })) {
                Fail(key + " holds a control character.");
            }
        }
    }

    [[noreturn]] void Fail(const std::string& what) const {
        throw ETileSourceError("Source '" + name_ + "': " + what);
    }

private:
    const std::string& name_;
    const SourceKeys& keys_;
};

UrlTemplate ReadUrl(const SectionReader& section, const std::string& name) {
    const std::string& text = section.Text(SourceKey("Url").Name);
    if (text.empty()) {
        throw ETileSourceError("Source '" + name + "' has no Url.");
    }
    std::optional<UrlTemplate> url;
    try {
        url.emplace(text);
    } catch (const ETileSourceError& error) {
        section.Fail(std::string(error.what()) + " in Url.");
    }
    const std::string scheme = Lowercase(text.substr(0, text.find("://") + 3));
    if (scheme != "http://" && scheme != "https://") {
        section.Fail("Url must begin with http:// or https://.");
    }
    const bool xyz = url->Uses(TilePlaceholder::X) && url->Uses(TilePlaceholder::Z) &&
                     (url->Uses(TilePlaceholder::Y) || url->Uses(TilePlaceholder::TmsY));
    if (!xyz && !url->Uses(TilePlaceholder::Quadkey) && !url->Uses(TilePlaceholder::Bbox)) {
        section.Fail("Url needs {x}, {y} or {-y}, and {z}, or else {q} or {bbox}.");
    }
    return std::move(*url);
}

// "abc" is three subdomains, "a,b,c" too; with commas a subdomain may be a
// longer name. Empty entries between commas are skipped.
std::vector<std::string> ReadSubdomains(const SectionReader& section) {
    const std::string& text = section.Text(SourceKey("Subdomains").Name);
    std::vector<std::string> subdomains;
    if (text.find(',') == std::string::npos) {
        for (const char c : text) {
            subdomains.emplace_back(1, c);
        }
    } else {
        subdomains = SplitTrimmed(text, ',');
    }
    for (const std::string& subdomain : subdomains) {
        if (!std::all_of(subdomain.begin(), subdomain.end(), IsHostCharacter)) {
            section.Fail("Subdomains must be letters such as abc or names such as a,b,c.");
        }
    }
    return subdomains;
}

std::vector<std::pair<std::string, std::string>> ReadHeaders(const SectionReader& section) {
    std::vector<std::pair<std::string, std::string>> headers;
    for (const std::string& entry : SplitTrimmed(section.Text(SourceKey("Headers").Name), '|')) {
        const std::size_t colon = entry.find(':');
        const std::string headerName = entry.substr(0, colon);
        if (colon == std::string_view::npos || headerName.empty() ||
            !std::all_of(headerName.begin(), headerName.end(), IsTokenCharacter)) {
            section.Fail("Headers must be Name: value pairs separated by |.");
        }
        headers.emplace_back(headerName, Trim(std::string_view(entry).substr(colon + 1)));
    }
    return headers;
}

}  // namespace

bool IsSourceFormat(std::string_view text) {
    return std::find(kFormats.begin(), kFormats.end(), text) != kFormats.end();
}

TileSource TileSource::Read(std::string name, const SourceKeys& keys, std::string_view version) {
    if (name.empty()) {
        throw ETileSourceError("A source without a name (\"[]\") cannot be chosen.");
    }
    const SectionReader section(name, keys);
    section.CheckKeys();
    TileSource source(name, ReadUrl(section, name));
    source.subdomains_ = ReadSubdomains(section);
    if (source.url_.Uses(TilePlaceholder::Subdomain) && source.subdomains_.empty()) {
        section.Fail("Url has {s} but there are no Subdomains.");
    }
    source.format_ = Lowercase(section.Text(SourceKey("Format").Name));
    if (source.format_.empty()) {
        source.format_ = FormatOfUrl(source.url_.Text());
    } else if (!IsSourceFormat(source.format_)) {
        section.Fail("Format must be png, jpg, webp or pbf.");
    }
    source.minZoom_ = section.Integer(SourceKey("MinZoom"));
    source.maxZoom_ = section.Integer(SourceKey("MaxZoom"));
    if (source.minZoom_ > source.maxZoom_) {
        section.Fail("MinZoom must not be above MaxZoom.");
    }
    source.workers_ = section.Integer(SourceKey("Workers"));
    source.pauseMs_ = section.Integer(SourceKey("PauseMs"));
    source.userAgent_ = section.Text(SourceKey("UserAgent").Name);
    if (source.userAgent_.empty()) {
        source.userAgent_ = "Tessellon/" + std::string(version);
    }
    source.referer_ = section.Text(SourceKey("Referer").Name);
    source.headers_ = ReadHeaders(section);
    source.attribution_ = section.Text(SourceKey("Attribution").Name);
    source.insecure_ = section.Integer(SourceKey("Insecure")) == 1;
    return source;
}

TileSource TileSource::FromKeys(const SourceKeys& keys, std::string_view version) {
    SourceKeys rest;
    std::string name;
    for (const auto& entry : keys) {
        if (SameIniName(entry.first, SourceKey("Name").Name)) {
            name = entry.second;
        } else {
            rest.push_back(entry);
        }
    }
    return Read(std::move(name), rest, version);
}

SourceKeys TileSource::Keys() const {
    std::string subdomains = Join(subdomains_, ",", [](const std::string& s) { return s; });
    // One longer name alone would read back as one subdomain per letter.
    if (subdomains_.size() == 1 && subdomains.size() > 1) {
        subdomains += ',';
    }
    const auto header = [](const auto& entry) { return entry.first + ": " + entry.second; };
    return {
        {std::string(SourceKey("Name").Name), name_},
        {std::string(SourceKey("Url").Name), url_.Text()},
        {std::string(SourceKey("Subdomains").Name), subdomains},
        {std::string(SourceKey("Format").Name), format_},
        {std::string(SourceKey("MinZoom").Name), std::to_string(minZoom_)},
        {std::string(SourceKey("MaxZoom").Name), std::to_string(maxZoom_)},
        {std::string(SourceKey("Workers").Name), std::to_string(workers_)},
        {std::string(SourceKey("PauseMs").Name), std::to_string(pauseMs_)},
        {std::string(SourceKey("UserAgent").Name), userAgent_},
        {std::string(SourceKey("Referer").Name), referer_},
        {std::string(SourceKey("Headers").Name), Join(headers_, "|", header)},
        {std::string(SourceKey("Attribution").Name), attribution_},
        {std::string(SourceKey("Insecure").Name), insecure_ ? "1" : "0"},
    };
}

}  // namespace tessellon
