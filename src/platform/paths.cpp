#include "platform/paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

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

std::string CurrentFolder() {
    char* cwd = ::getcwd(nullptr, 0);
    std::string folder = cwd != nullptr ? cwd : "/";
    std::free(cwd);
    return folder;
}

// The parts between separators of an absolute path, with "." and ".."
// applied; ".." at the root stays at the root.
std::vector<std::string_view> NormalParts(std::string_view path) {
    std::vector<std::string_view> parts;
    while (!path.empty()) {
        const std::size_t slash = path.find(kPathSeparator);
        const std::string_view part = path.substr(0, slash);
        path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
        if (part == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
    }
    return parts;
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

std::string AbsolutePath(std::string_view path) {
    if (path.empty()) {
        return {};
    }
    std::string full;
    if (path == "~" || path.starts_with("~/")) {
        full = HomeFolder() + kPathSeparator + std::string(path.substr(1));
    } else if (path.front() == kPathSeparator) {
        full = path;
    } else {
        full = CurrentFolder() + kPathSeparator + std::string(path);
    }
    std::string result;
    for (const std::string_view part : NormalParts(full)) {
        result += kPathSeparator;
        result += part;
    }
    if (result.empty() || path.back() == kPathSeparator) {
        result += kPathSeparator;
    }
    return result;
}

namespace {

// An XDG base folder: the variable when it holds an absolute path, else the
// folder under the home folder.
std::string XdgFolder(const char* variable, const char* underHome) {
    if (const char* folder = std::getenv(variable);
        folder != nullptr && folder[0] == kPathSeparator) {
        return IncludeTrailingSeparator(folder);
    }
    return IncludeTrailingSeparator(HomeFolder()) + underHome;
}

}  // namespace

std::string UserConfigFolder() {
    return XdgFolder("XDG_CONFIG_HOME", ".config/");
}

std::string UserCacheFolder() {
    return XdgFolder("XDG_CACHE_HOME", ".cache/");
}

}  // namespace tessellon
