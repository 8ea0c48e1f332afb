#include "request_log.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace tessellon::tileserver {

RequestLog::RequestLog(const std::string& destination) {
    if (destination == "-") {
        file_ = stderr;
    } else if (!destination.empty()) {
        file_ = std::fopen(destination.c_str(), "a");
        if (file_ == nullptr) {
            throw std::runtime_error("cannot open the log file \"" + destination +
                                     "\": " + std::strerror(errno));
        }
        ownsFile_ = true;
    }
}

RequestLog::~RequestLog() {
    if (ownsFile_) {
        std::fclose(file_);
    }
}

void RequestLog::Write(unsigned long long connection, std::string_view method,
                       std::string_view target, std::string_view result) {
    if (file_ == nullptr) {
        return;
    }
    const std::string line = std::to_string(connection) + " " + std::string(method) + " " +
                             std::string(target) + " " + std::string(result) + "\n";
    std::lock_guard lock(mutex_);
    std::fwrite(line.data(), 1, line.size(), file_);
    std::fflush(file_);
}

}  // namespace tessellon::tileserver
