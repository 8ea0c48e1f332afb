#pragma once
// Reply texts and outcome capture shared by the HTTP client tests.

#include <functional>
#include <string>

#include "net/http_client.h"
#include "net/net_errors.h"

namespace tessellon::test {

// "HTTP/1.1 " + status, a Content-Length for `body`, `headers` (each ended by
// CR LF), an empty line and the body.
inline std::string HttpReply(const std::string& body, const std::string& headers = "",
                             const std::string& status = "200 OK") {
    return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" +
           headers + "\r\n" + body;
}

// What a call ended with: "body:" + the body, or the exception's class and
// message ("socket:", "closed:", "protocol:", "convert:", "invalid:", "other:").
inline std::string Outcome(const std::function<void(TNetBuffer&)>& call) {
    TNetBuffer body;
    try {
        call(body);
        return "body:" + std::string(body.View());
    } catch (const EConnClosedGracefully& error) {
        return std::string("closed:") + error.what();
    } catch (const ESocketError& error) {
        return std::string("socket:") + error.what();
    } catch (const EProtocolReplyError& error) {
        return "protocol:" + std::to_string(error.ReplyCode()) + ":" + error.what();
    } catch (const EConvertError& error) {
        return std::string("convert:") + error.what();
    } catch (const EInvalidReply& error) {
        return std::string("invalid:") + error.what();
    } catch (const ENetException& error) {
        return std::string("other:") + error.what();
    }
}

inline std::string Get(THttpClient& http, const std::string& url) {
    return Outcome([&](TNetBuffer& body) { http.GetUrl(url, body); });
}

}  // namespace tessellon::test
