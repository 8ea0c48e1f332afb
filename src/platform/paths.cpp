#include "platform/paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace tessellon {

namespace {

std::size_t FileNameStart(std::string_view path) {
    const std::size_t slash = path.rfind(kPathSeparator);
    return slash == std::string_view::npos ? 0 : slash + 1;
}

std::size_t ExtensionStart(std::string_view path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || dot < FileNameStart(path)) {
        return path.size();
    }
    return dot;
}

}  // namespace

std::string ExtractFilePath(std::string_view path) {
    return std::string(path.substr(0, FileNameStart(path)));
}

std::string ExtractFileName(std::string_view path) {
    return std::string(path.substr(FileNameStart(path)));
}

std::string ExtractFileExt(std::string_view path) {
    return std::string(path.substr(ExtensionStart(path)));
}

std::string RemoveFileExt(std::string_view path) {
    return std::string(path.substr(0, ExtensionStart(path)));
}

std::string IncludeTrailingSeparator(std::string_view path) {
    std::string result(path);
    if (result.empty() || result.back() != kPathSeparator) {
        result += kPathSeparator;
    }
    return result;
}

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return home;
    }
    if (const passwd* entry = ::getpwuid(::getuid());
        entry != nullptr && entry->pw_dir != nullptr) {
        return entry->pw_dir;
    }
    return "/";
}

}  // namespace tessellon
