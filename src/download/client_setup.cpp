#include "download/client_setup.h"

#include <cstdint>

#include "platform/numbers.h"

namespace tessellon {

std::optional<std::string> UseProxy(THttpClient& http, const ProxyTexts& proxy) {
    std::int32_t port = 0;
    if (!ParseWholeNumber(proxy.Port, port)) {
        return "'" + proxy.Port + "' is not a valid integer value";
    }
    http.Request.ProxyServer = proxy.Server;
    http.Request.ProxyPort = port;
    http.Request.ProxyUsername = proxy.Username;
    http.Request.ProxyPassword = proxy.Password;
    return std::nullopt;
}

void UseSource(THttpClient& http, const TileSource& source) {
    http.Request.UserAgent = source.UserAgent();
    http.Request.Referer = source.Referer();
    for (const auto& [name, value] : source.Headers()) {
        http.Request.ExtraHeaders.Add(name + ": " + value);
    }
    http.InsecureTls = source.Insecure();
}

std::optional<std::string> SetUpTileClient(THttpClient& http, const TileClientSettings& settings) {
    http.TimeLimits = settings.TimeLimits;
    http.ReplyLimits.MaxBodySize = settings.MaxTileBytes;
    http.HandleRedirects = settings.FollowRedirects;
    if (settings.Proxy) {
        if (auto error = UseProxy(http, *settings.Proxy)) {
            return error;
        }
    }
    if (settings.Source) {
        UseSource(http, *settings.Source);
    }
    return std::nullopt;
}

}  // namespace tessellon
