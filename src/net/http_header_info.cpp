#include "net/http_header_info.h"

#include <algorithm>
#include <utility>

#include "net/net_errors.h"
#include "net/net_text.h"

namespace tessellon {

namespace {

// Takes the value of the first line of `name` out of `headers`.
std::string TakeValue(THttpHeaderList& headers, const std::string& name) {
    std::string value = headers.ValueOf(name);
    headers.Delete(name);
    return value;
}

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

void THttpHeaderInfo::ComposeRequestHeaders(THttpHeaderList& headers) const {
    // The text fields come first, in this order.
    static const std::pair<const char*, std::string THttpHeaderInfo::*> kTextLines[] = {
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
            headers.Add(name + this->*field);
        }
    }
    if (ContentLength != 0) {
        headers.Add("Content-Length: " + std::to_string(ContentLength));
    }
    if (ContentRangeStart != 0 || ContentRangeEnd != 0) {
        std::string range = "Range: bytes=" + std::to_string(ContentRangeStart) + "-";
        if (ContentRangeEnd != 0) {
            range += std::to_string(ContentRangeEnd);
        }
        headers.Add(range);
    }
    if (!Username.empty()) {
        headers.Add("Authorization: Basic " + Base64Encode(Username + ":" + Password));
    }
    if (!ProxyServer.empty() && !ProxyUsername.empty()) {
        headers.Add("Proxy-Authorization: Basic " +
                    Base64Encode(ProxyUsername + ":" + ProxyPassword));
    }
    headers.AddAll(ExtraHeaders);
}

void THttpHeaderInfo::ProcessReplyHeaders(THttpHeaderList& headers) {
    ExtraHeaders.Clear();
    Location = TakeValue(headers, "Location");
    Server = TakeValue(headers, "Server");
    Connection = TakeValue(headers, "Connection");
    ContentVersion = TakeValue(headers, "Content-Version");
    WWWAuthenticate = TakeValue(headers, "WWW-Authenticate");
    ContentEncoding = TakeValue(headers, "Content-Encoding");
    ContentLanguage = TakeValue(headers, "Content-Language");
    ContentType = TakeValue(headers, "Content-Type");
    ContentLength = ParseInt32(Trim(TakeValue(headers, "Content-Length"))).value_or(0);
    ContentRangeStart = 0;
    ContentRangeEnd = 0;
    if (headers.Has("Content-Range")) {
        const std::string range = TakeValue(headers, "Content-Range");
        const std::size_t blank = range.find(' ');
        const std::string span =
            blank == std::string::npos ? std::string() : range.substr(blank + 1);
        const std::size_t dash = span.find('-');
        ContentRangeStart = RangeNumber(span.substr(0, dash));
        const std::string rest = dash == std::string::npos ? std::string() : span.substr(dash + 1);
        ContentRangeEnd = RangeNumber(rest.substr(0, rest.find('/')));
    }
    Date = InternetDateToLocal(TakeValue(headers, "Date"));
    LastModified = InternetDateToLocal(TakeValue(headers, "Last-Modified"));
    Expires = InternetDateToLocal(TakeValue(headers, "Expires"));
    ProxyAuthenticate = TakeValue(headers, "Proxy-Authenticate");
    ExtraHeaders.AddAll(headers);
}

}  // namespace tessellon
