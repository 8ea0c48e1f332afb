#include "task/url_template.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

#include "geo/web_mercator.h"

namespace tessellon {

namespace {

struct PlaceholderName {
    std::string_view Name;
    TilePlaceholder Placeholder;
};

constexpr std::array<PlaceholderName, 7> kPlaceholders{{
    {"x", TilePlaceholder::X},
    {"y", TilePlaceholder::Y},
    {"z", TilePlaceholder::Z},
    {"-y", TilePlaceholder::TmsY},
    {"q", TilePlaceholder::Quadkey},
    {"s", TilePlaceholder::Subdomain},
    {"bbox", TilePlaceholder::Bbox},
}};

template <typename Number>
void AppendNumber(std::string& out, Number value) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

// As "%.6f" prints it, without the C library's locale. A bound in
// micrometres is below 2^45, so the product carries an error of at most
// 2^-9 and rounds as the exact value does unless it lies next to a half:
// only those few take the slower exact formatting.
void AppendMetres(std::string& out, double value) {
    const double micrometres = std::fabs(value) * 1e6;
    const double fraction = micrometres - std::floor(micrometres);
    if (micrometres >= 0x1p45 || std::fabs(fraction - 0.5) < 0.01) {
        char digits[48];
        const auto result =
            std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, 6);
        out.append(digits, result.ptr);
        return;
    }
    const auto whole = static_cast<std::uint64_t>(std::llround(micrometres));
    if (std::signbit(value)) {
        out += '-';
    }
    AppendNumber(out, whole / 1000000);
    char decimals[7] = {'.'};
    std::uint64_t rest = whole % 1000000;
    for (int i = 6; i > 0; --i) {
        decimals[i] = static_cast<char>('0' + rest % 10);
        rest /= 10;
    }
    out.append(decimals, sizeof decimals);
}

void AppendBbox(std::string& out, std::int32_t x, std::int32_t y, int zoom) {
    const MercatorBounds bounds = TileMercatorBounds(x, y, zoom);
    AppendMetres(out, bounds.MinX);
    out += ',';
    AppendMetres(out, bounds.MinY);
    out += ',';
    AppendMetres(out, bounds.MaxX);
    out += ',';
    AppendMetres(out, bounds.MaxY);
}

void AppendQuadkey(std::string& out, std::int32_t x, std::int32_t y, int zoom) {
    const auto column = static_cast<std::uint32_t>(x);
    const auto row = static_cast<std::uint32_t>(y);
    for (int level = zoom; level > 0; --level) {
        const std::uint32_t bit = 1U << (level - 1);
        out += static_cast<char>('0' + ((column & bit) != 0 ? 1 : 0) + ((row & bit) != 0 ? 2 : 0));
    }
}

}  // namespace

UrlTemplate::UrlTemplate(std::string text) : text_(std::move(text)) {
    std::size_t position = 0;
    while (position < text_.size()) {
        const std::size_t open = std::min(text_.find('{', position), text_.size());
        if (open > position) {
            pieces_.push_back({true, TilePlaceholder::X, static_cast<std::uint32_t>(position),
                               static_cast<std::uint32_t>(open - position)});
        }
        if (open == text_.size()) {
            break;
        }
        const std::size_t close = text_.find('}', open);
        if (close == std::string::npos) {
            throw ETileSourceError("a \"{\" without \"}\"");
        }
        const std::string_view name = std::string_view(text_).substr(open + 1, close - open - 1);
        const auto* known = std::find_if(kPlaceholders.begin(), kPlaceholders.end(),
                                         [&](const auto& entry) { return entry.Name == name; });
        if (known == kPlaceholders.end()) {
            throw ETileSourceError("unknown placeholder {" + std::string(name) + "}");
        }
        pieces_.push_back({false, known->Placeholder, 0, 0});
        position = close + 1;
    }
}

bool UrlTemplate::Uses(TilePlaceholder placeholder) const {
    return std::any_of(pieces_.begin(), pieces_.end(), [&](const Piece& piece) {
        return !piece.Literal && piece.Placeholder == placeholder;
    });
}

void UrlTemplate::AppendUrl(std::string& out, std::int32_t x, std::int32_t y, int zoom,
                            std::span<const std::string> subdomains, int zoomOffset) const {
    for (const Piece& piece : pieces_) {
        if (piece.Literal) {
            out.append(text_, piece.Offset, piece.Length);
            continue;
        }
        switch (piece.Placeholder) {
            case TilePlaceholder::X:
                AppendNumber(out, x);
                break;
            case TilePlaceholder::Y:
                AppendNumber(out, y);
                break;
            case TilePlaceholder::Z:
                AppendNumber(out, zoom + zoomOffset);
                break;
            case TilePlaceholder::TmsY:
                AppendNumber(out, (std::int64_t{1} << zoom) - 1 - y);
                break;
            case TilePlaceholder::Quadkey:
                AppendQuadkey(out, x, y, zoom);
                break;
            case TilePlaceholder::Subdomain:
                if (!subdomains.empty()) {
                    const auto count = static_cast<std::int64_t>(subdomains.size());
                    const std::int64_t sum = std::int64_t{x} + y;
                    out += subdomains[static_cast<std::size_t>((sum % count + count) % count)];
                }
                break;
            case TilePlaceholder::Bbox:
                AppendBbox(out, x, y, zoom);
                break;
        }
    }
}

std::string UrlTemplate::Url(std::int32_t x, std::int32_t y, int zoom,
                             std::span<const std::string> subdomains, int zoomOffset) const {
    std::string url;
    url.reserve(text_.size() + 64);
    AppendUrl(url, x, y, zoom, subdomains, zoomOffset);
    return url;
}

}  // namespace tessellon
