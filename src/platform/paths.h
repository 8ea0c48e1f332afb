#pragma once
// Path texts. The platform separator "/" stands wherever the task files and
// windows speak of a path separator.

#include <string>
#include <string_view>

namespace tessellon {

inline constexpr char kPathSeparator = '/';

// Folder part of a path, up to and including its last separator ("" if none).
std::string ExtractFilePath(std::string_view path);
// File-name part: what follows the last separator.
std::string ExtractFileName(std::string_view path);
// The extension with its dot: from the last "." of the file-name part on, ""
// when the file name has no dot.
std::string ExtractFileExt(std::string_view path);
// The path without its extension.
std::string RemoveFileExt(std::string_view path);
// `path` with a separator appended unless it ends in one already.
std::string IncludeTrailingSeparator(std::string_view path);

// The user's home folder ($HOME, else the password database, else "/").
std::string HomeFolder();

// `path` as an absolute, normalised path: "~" and "~/..." stand for the home
// folder, a relative path is taken from the current folder, and "." and ".."
// parts are resolved by the text alone (a symbolic link is not followed). A
// trailing separator stays; an empty path stays empty: it names no folder.
std::string AbsolutePath(std::string_view path);

// The folder Linux keeps a user's settings in: $XDG_CONFIG_HOME when it is an
// absolute path, else ~/.config; ending in "/".
std::string UserConfigFolder();
// The folder Linux keeps a user's caches in: $XDG_CACHE_HOME when it is an
// absolute path, else ~/.cache; ending in "/".
std::string UserCacheFolder();

}  // namespace tessellon
