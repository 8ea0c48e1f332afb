#include "net/http_header_info.h"

#include <algorithm>
#include <utility>

#include "net/net_errors.h"
#include "net/net_text.h"

namespace tessellon {

namespace {

std::uint32_t RangeNumber(const std::string& text) {
    const std::optional<std::int32_t> value = ParseInt32(text);
    if (!value) {
        throw EConvertError(text);
    }
    return static_cast<std::uint32_t>(*value);
}

}  // namespace

std::string Base64Encode(std::string_view bytes) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t count = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 3; ++k) {
            group = group << 8 | (k < count ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        }
        // `count` bytes fill count + 1 characters; "=" pads the group to four.
        for (std::size_t k = 0; k < 4; ++k) {
            out += k <= count ? kAlphabet[(group >> (18 - 6 * k)) & 63] : '=';
        }
    }
    return out;
}

void THttpHeaderInfo::AppendRequestHeaders(std::string& request, bool insideTunnel) const {
    const auto line = [&request](std::string_view name, std::string_view value) {
        request.append(name).append(value).append("\r\n");
    };
    // The text fields come first, in this order.
    static const std::pair<std::string_view, std::string THttpHeaderInfo::*> kTextLines[] = {
        {"Accept: ", &THttpHeaderInfo::Accept},
        {"Accept-Charset: ", &THttpHeaderInfo::AcceptCharSet},
        {"Accept-Encoding: ", &THttpHeaderInfo::AcceptEncoding},
        {"Accept-Language: ", &THttpHeaderInfo::AcceptLanguage},
        {"From: ", &THttpHeaderInfo::From},
        {"Referer: ", &THttpHeaderInfo::Referer},
        {"User-Agent: ", &THttpHeaderInfo::UserAgent},
        {"Connection: ", &THttpHeaderInfo::Connection},
        {"Content-Version: ", &THttpHeaderInfo::ContentVersion},
        {"Content-Encoding: ", &THttpHeaderInfo::ContentEncoding},
        {"Content-Language: ", &THttpHeaderInfo::ContentLanguage},
        {"Content-Type: ", &THttpHeaderInfo::ContentType},
    };
    for (const auto& [name, field] : kTextLines) {
        if (!(this->*field).empty()) {
            line(name, this->*field);
        }
    }
    if (ContentLength != 0) {
        line("Content-Length: ", std::to_string(ContentLength));
    }
    if (ContentRangeStart != 0 || ContentRangeEnd != 0) {
        std::string range = std::to_string(ContentRangeStart) + "-";
        if (ContentRangeEnd != 0) {
            range += std::to_string(ContentRangeEnd);
        }
        line("Range: bytes=", range);
    }
    if (!Username.empty()) {
        line("Authorization: Basic ", Base64Encode(Username + ":" + Password));
    }
    if (!insideTunnel) {
        AppendProxyCredentials(request);
    }
    if (!ETag.empty()) {
        line("If-None-Match: ", ETag);
    }
    // A date the header cannot carry is left out.
    if (LastModifiedUnix && CarriesAsInternetDate(*LastModifiedUnix)) {
        line("If-Modified-Since: ", UnixToInternetDate(*LastModifiedUnix));
    }
    for (const std::string& extra : ExtraHeaders.Lines()) {
        line({}, extra);
    }
}

bool THttpHeaderInfo::IsConditional() const {
    return !ETag.empty() || (LastModifiedUnix && CarriesAsInternetDate(*LastModifiedUnix));
}

void THttpHeaderInfo::AppendProxyCredentials(std::string& request) const {
    if (!ProxyServer.empty() && !ProxyUsername.empty()) {
        request.append("Proxy-Authorization: Basic ")
            .append(Base64Encode(ProxyUsername + ":" + ProxyPassword))
            .append("\r\n");
    }
}

void THttpHeaderInfo::ProcessReplyHeaders(THttpHeaderList& headers) {
    enum Field {
        kLocation,
        kServer,
        kConnection,
        kContentVersion,
        kWWWAuthenticate,
        kContentEncoding,
        kContentLanguage,
        kContentType,
        kContentLength,
        kContentRange,
        kDate,
        kLastModified,
        kExpires,
        kProxyAuthenticate,
        kETag,
        kFieldCount
    };
    static constexpr std::string_view kNames[kFieldCount] = {"Location",
                                                             "Server",
                                                             "Connection",
                                                             "Content-Version",
                                                             "WWW-Authenticate",
                                                             "Content-Encoding",
                                                             "Content-Language",
                                                             "Content-Type",
                                                             "Content-Length",
                                                             "Content-Range",
                                                             "Date",
                                                             "Last-Modified",
                                                             "Expires",
                                                             "Proxy-Authenticate",
                                                             "ETag"};
    std::optional<std::string> values[kFieldCount];
    headers.TakeFirstValues(kNames, values);
    const auto text = [&values](Field field) {
        return values[field] ? std::move(*values[field]) : std::string();
    };

    ExtraHeaders.Clear();
    Location = text(kLocation);
    Server = text(kServer);
    Connection = text(kConnection);
    ContentVersion = text(kContentVersion);
    WWWAuthenticate = text(kWWWAuthenticate);
    ContentEncoding = text(kContentEncoding);
    ContentLanguage = text(kContentLanguage);
    ContentType = text(kContentType);
    ContentLength = ParseInt32(Trim(text(kContentLength))).value_or(0);
    ContentRangeStart = 0;
    ContentRangeEnd = 0;
    if (values[kContentRange]) {
        const std::string range = text(kContentRange);
        const std::size_t blank = range.find(' ');
        const std::string span =
            blank == std::string::npos ? std::string() : range.substr(blank + 1);
        const std::size_t dash = span.find('-');
        ContentRangeStart = RangeNumber(span.substr(0, dash));
        const std::string rest = dash == std::string::npos ? std::string() : span.substr(dash + 1);
        ContentRangeEnd = RangeNumber(rest.substr(0, rest.find('/')));
    }
    // Each date is read once. Most replies carry few of the dates, and an
    // absent or unreadable one is converted like the date 0: that conversion
    // is made once.
    std::optional<TDateTime> absent;
    const auto local = [&absent](const std::optional<TDateTime>& utc) {
        if (utc) {
            return UtcToLocal(*utc);
        }
        if (!absent) {
            absent = UtcToLocal(0.0);
        }
        return *absent;
    };
    const auto read = [&values](Field field) {
        return values[field] ? ParseInternetDate(*values[field]) : std::nullopt;
    };
    Date = local(read(kDate));
    const std::optional<TDateTime> lastModified = read(kLastModified);
    LastModified = local(lastModified);
    LastModifiedUnix = lastModified ? std::optional(DateTimeToUnix(*lastModified)) : std::nullopt;
    Expires = local(read(kExpires));
    ProxyAuthenticate = text(kProxyAuthenticate);
    ETag = Trim(text(kETag));
    ExtraHeaders.AddAll(headers);
}

}  // namespace tessellon
