#include "net/http_header_info.h"

#include "net/net_errors.h"
#include "net/net_text.h"

namespace tessellon {

namespace {

void AddIfSet(THttpHeaderList& headers, const char* name, const std::string& value) {
    if (!value.empty()) {
        headers.Add(name + value);
    }
}

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
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const auto n = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i]) << 16 |
                                                  static_cast<unsigned char>(bytes[i + 1]) << 8 |
                                                  static_cast<unsigned char>(bytes[i + 2]));
        out += kAlphabet[n >> 18];
        out += kAlphabet[(n >> 12) & 63];
        out += kAlphabet[(n >> 6) & 63];
        out += kAlphabet[n & 63];
    }
    const std::size_t rest = bytes.size() - i;
    if (rest > 0) {
        std::uint32_t n = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i]) << 16);
        if (rest == 2) {
            n |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1]) << 8);
        }
        out += kAlphabet[n >> 18];
        out += kAlphabet[(n >> 12) & 63];
        out += rest == 2 ? kAlphabet[(n >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

void THttpHeaderInfo::ComposeRequestHeaders(THttpHeaderList& headers) const {
    AddIfSet(headers, "Accept: ", Accept);
    AddIfSet(headers, "Accept-Charset: ", AcceptCharSet);
    AddIfSet(headers, "Accept-Encoding: ", AcceptEncoding);
    AddIfSet(headers, "Accept-Language: ", AcceptLanguage);
    AddIfSet(headers, "From: ", From);
    AddIfSet(headers, "Referer: ", Referer);
    AddIfSet(headers, "User-Agent: ", UserAgent);
    AddIfSet(headers, "Connection: ", Connection);
    AddIfSet(headers, "Content-Version: ", ContentVersion);
    AddIfSet(headers, "Content-Encoding: ", ContentEncoding);
    AddIfSet(headers, "Content-Language: ", ContentLanguage);
    AddIfSet(headers, "Content-Type: ", ContentType);
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
