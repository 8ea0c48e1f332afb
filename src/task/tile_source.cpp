#include "task/tile_source.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>

#include "platform/ini_file.h"
#include "platform/shown_text.h"
#include "task/source_key_rules.h"

namespace tessellon {

namespace {

constexpr std::array<std::string_view, 4> kFormats{"png", "jpg", "webp", "pbf"};

// Parts of header names that mark a credential ("auth" covers Authorization
// and Proxy-Authorization).
constexpr std::array<std::string_view, 6> kSecretHeaderWords{"auth",  "cookie", "key",
                                                             "token", "secret", "session"};

// Headers the client writes itself: a second one would make the request
// ambiguous, or break its framing.
constexpr std::array<std::string_view, 4> kClientHeaders{"Host", "Content-Length",
                                                         "Transfer-Encoding", "Connection"};

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
        throw ETileSourceError("Source '" + ShowControlCharacters(name_) + "': " + what);
    }

private:
    const std::string& name_;
    const SourceKeys& keys_;
};

// The host and port of a template: what TUri will take them for, so what it
// cannot take is refused here, where the source is named.
void CheckAuthority(const SectionReader& section, std::string_view url) {
    std::string_view authority = url.substr(url.find("://") + 3);
    authority = authority.substr(0, authority.find_first_of("/?#"));
    if (authority.find('@') != std::string_view::npos) {
        section.Fail(
            "Url must not hold a user name or password (user:password@); put credentials in "
            "Headers, such as Authorization: Basic ....");
    }
    if (authority.starts_with('[')) {
        section.Fail("Url names an IPv6 address, which the program cannot reach; use a host name.");
    }
    const std::size_t colon = authority.find(':');
    const std::string_view host = authority.substr(0, colon);
    const std::string_view hostLetters = Trim(host);
    if (hostLetters.empty() || hostLetters.size() != host.size()) {
        section.Fail("Url has no host.");
    }
    if (colon == std::string_view::npos) {
        return;
    }
    const std::string_view port = authority.substr(colon + 1);
    int number = 0;
    if (port.empty() || port.size() > 5 ||
        !std::all_of(port.begin(), port.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }) ||
        (number = std::stoi(std::string(port))) < 1 || number > 65535) {
        section.Fail("Url's port must be a number 1..65535.");
    }
}

UrlTemplate ReadUrl(const SectionReader& section, const std::string& name) {
    const std::string& text = section.Text(SourceKey("Url").Name);
    if (text.empty()) {
        throw ETileSourceError("Source '" + ShowControlCharacters(name) + "' has no Url.");
    }
    // A blank would end the request line early.
    if (text.find_first_of(" \t") != std::string::npos) {
        section.Fail("Url must not hold a blank; write one as %20.");
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
    CheckAuthority(section, text);
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
        for (const std::string_view own : kClientHeaders) {
            if (SameIniName(headerName, own)) {
                section.Fail("Headers cannot set " + std::string(own) +
                             ": the program sends it itself.");
            }
        }
        headers.emplace_back(headerName, Trim(std::string_view(entry).substr(colon + 1)));
    }
    return headers;
}

}  // namespace

bool IsSourceFormat(std::string_view text) {
    return std::find(kFormats.begin(), kFormats.end(), text) != kFormats.end();
}

bool IsSecretHeader(std::string_view name) {
    const std::string lower = Lowercase(name);
    return std::any_of(
        kSecretHeaderWords.begin(), kSecretHeaderWords.end(),
        [&](std::string_view word) { return lower.find(word) != std::string::npos; });
}

std::string ShownHeader(const std::string& name, const std::string& value) {
    return name + ": " + (IsSecretHeader(name) ? kSecretMask : value);
}

std::string InsecureSourceLine(const TileSource& source) {
    return "Warning: source '" + ShowControlCharacters(source.Name()) +
           "' has Insecure=1: its server's certificate is not checked, so anyone on the way "
           "can read and change its tiles.";
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
    source.zoomOffset_ = section.Integer(SourceKey("ZoomOffset"));
    if (source.minZoom_ + source.zoomOffset_ < 0) {
        section.Fail("MinZoom plus ZoomOffset must not be below 0.");
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
    source.terms_ = section.Text(SourceKey("Terms").Name);
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
    const SourceKeys all{
        {std::string(SourceKey("Name").Name), name_},
        {std::string(SourceKey("Url").Name), url_.Text()},
        {std::string(SourceKey("Subdomains").Name), subdomains},
        {std::string(SourceKey("Format").Name), format_},
        {std::string(SourceKey("MinZoom").Name), std::to_string(minZoom_)},
        {std::string(SourceKey("MaxZoom").Name), std::to_string(maxZoom_)},
        {std::string(SourceKey("ZoomOffset").Name), std::to_string(zoomOffset_)},
        {std::string(SourceKey("Workers").Name), std::to_string(workers_)},
        {std::string(SourceKey("PauseMs").Name), std::to_string(pauseMs_)},
        {std::string(SourceKey("UserAgent").Name), userAgent_},
        {std::string(SourceKey("Referer").Name), referer_},
        {std::string(SourceKey("Headers").Name), Join(headers_, "|", header)},
        {std::string(SourceKey("Attribution").Name), attribution_},
        {std::string(SourceKey("Terms").Name), terms_},
        {std::string(SourceKey("Insecure").Name), insecure_ ? "1" : "0"},
    };
    SourceKeys keys;
    for (const auto& [key, value] : all) {
        const SourceKeyRule& rule = *FindSourceKey(key);
        const bool atDefault = rule.Kind == SourceKeyKind::Text
                                   ? value.empty()
                                   : value == std::to_string(rule.Default);
        if (!rule.Optional || !atDefault) {
            keys.emplace_back(key, value);
        }
    }
    return keys;
}

}  // namespace tessellon
