#pragma once
// The request side of the server's HTTP/1.1: the request line and the few
// header fields that decide framing and keep-alive. Lenient where clients
// differ harmlessly (LF-only line ends, absolute targets as proxies send
// them), strict where a mistake would desynchronise the connection.

#include <cstddef>
#include <string>
#include <string_view>

namespace tessellon::tileserver {

struct HttpRequest {
    std::string method;
    std::string target;  // as sent
    std::string path;    // of the target, "http://host" removed from an absolute target
    std::string query;   // after the first "?", "" when there is none
    bool keepAlive = true;
    std::size_t bodyLength = 0;  // request bodies are read and dropped
    std::string ifNoneMatch;     // as sent, "" when absent
};

enum class RequestHeadResult {
    Ok,
    Malformed,    // answer 400 and close
    ChunkedBody,  // a request body without a length: answer 411 and close
};

// `head` is everything before the blank line that ends the request head.
RequestHeadResult ParseRequestHead(std::string_view head, HttpRequest& request);

}  // namespace tessellon::tileserver
