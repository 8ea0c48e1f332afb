#pragma once
// One line a request, for tests and demos to read while the server runs:
//   <connection> <method> <target> <status>        e.g. 3 GET /hx/tl?v=4.3&r=1&x=1&y=0&z=2 200
//   <connection> <method> <target> fault=<fault>   e.g. 3 GET /ae/ximg?...&fault=reset fault=reset
// Connections are numbered from 1 in the order they were accepted. Each line
// is flushed as soon as it is written, before the reply goes out.

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

namespace tessellon::tileserver {

class RequestLog {
public:
    // "" logs nothing, "-" writes to stderr, anything else is a file the log
    // is appended to. Throws std::runtime_error when the file cannot be opened.
    explicit RequestLog(const std::string& destination);
    ~RequestLog();
    RequestLog(const RequestLog&) = delete;
    RequestLog& operator=(const RequestLog&) = delete;

    void Write(unsigned long long connection, std::string_view method, std::string_view target,
               std::string_view result);

private:
    std::mutex mutex_;
    std::FILE* file_ = nullptr;
    bool ownsFile_ = false;
};

}  // namespace tessellon::tileserver
