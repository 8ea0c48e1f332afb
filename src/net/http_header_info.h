#pragma once
// The header fields of one direction of an HTTP exchange: what a caller sets
// for its requests, and what the client fills in from a reply.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "net/http_header_list.h"
#include "net/internet_date.h"

namespace tessellon {

inline constexpr const char* kDefaultUserAgent = "Mozilla/3.0 (compatible; Tessellon)";

class THttpHeaderInfo {
public:
    std::string Accept = "text/html, */*";
    std::string AcceptCharSet;
    std::string AcceptEncoding;
    std::string AcceptLanguage;
    // Written verbatim; the keep-or-close decision never looks at it.
    std::string Connection;
    std::string ContentEncoding;
    std::string ContentLanguage;
    std::string ContentType;
    std::string ContentVersion;
    // 0 also means unknown.
    std::int32_t ContentLength = 0;
    std::uint32_t ContentRangeStart = 0;
    std::uint32_t ContentRangeEnd = 0;
    TDateTime Date = 0;
    TDateTime Expires = 0;
    TDateTime LastModified = 0;
    // Reply: Last-Modified in seconds since 1970 UTC, none when absent or
    // unreadable. Request: sent as If-Modified-Since when set.
    std::optional<std::int64_t> LastModifiedUnix;
    // Reply: the ETag as sent (a weak one keeps its "W/"). Request: sent as
    // If-None-Match when not empty.
    std::string ETag;
    // Request: lines appended verbatim. Reply: every line not taken into a
    // field above.
    THttpHeaderList ExtraHeaders;
    std::string From;
    std::string Referer;
    std::string Location;
    std::string Server;
    std::string Username;
    std::string Password;
    std::string WWWAuthenticate;
    std::string ProxyAuthenticate;
    // A non-empty ProxyServer sends every request through that proxy.
    std::string ProxyServer;
    std::string ProxyUsername;
    std::string ProxyPassword;
    int ProxyPort = 0;
    std::string UserAgent = kDefaultUserAgent;

    // Appends the request header lines, each ended by CR LF, in their fixed
    // order: Accept, Accept-Charset, Accept-Encoding, Accept-Language, From,
    // Referer, User-Agent, Connection, Content-Version, Content-Encoding,
    // Content-Language, Content-Type, Content-Length, Range, Authorization,
    // Proxy-Authorization, If-None-Match (ETag), If-Modified-Since
    // (LastModifiedUnix, when a header can carry it), then ExtraHeaders; each
    // only when set. The text
    // goes straight into the request, which is sent in one piece. A request
    // inside a tunnel through the proxy carries no Proxy-Authorization: the
    // tunnel's CONNECT did.
    void AppendRequestHeaders(std::string& request, bool insideTunnel = false) const;
    // Whether the request asks "changed since?": it sends If-None-Match or
    // If-Modified-Since, so that a 304 answers it.
    bool IsConditional() const;
    // The Proxy-Authorization line, when a proxy and its user are set.
    void AppendProxyCredentials(std::string& request) const;
    // Takes the reply's named fields out of `headers` (the first line of each
    // name) into the fields above and copies the remaining lines into
    // ExtraHeaders. A Content-Range start or end that is not a number raises
    // EConvertError.
    void ProcessReplyHeaders(THttpHeaderList& headers);
};

// RFC 2045 Base64 on one line.
std::string Base64Encode(std::string_view bytes);

}  // namespace tessellon
