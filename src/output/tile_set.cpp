#include "output/tile_set.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <system_error>
#include <tuple>

#include "platform/files.h"
#include "platform/paths.h"
#include "task/md_task.h"

namespace tessellon {

namespace {

// The deepest zoom a tile name may carry: the tile math stops there.
constexpr int kDeepestZoom = 30;

}  // namespace

TaskTileSet::TaskTileSet(const std::string& projectPath, const std::string& blankFolder)
    : reader_(projectPath, blankFolder) {}

TileBounds TaskTileSet::Bounds(int /*zoom*/) const {
    return {reader_.MinX(), reader_.MinY(), reader_.MaxX(), reader_.MaxY()};
}

TileState TaskTileSet::Read(int zoom, std::int32_t x, std::int32_t y, std::string& bytes) const {
    if (zoom != reader_.Zoom() || !Bounds(zoom).Contains(x, y)) {
        bytes.clear();
        return TileState::Missing;
    }
    return reader_.Read(x, y, bytes);
}

FolderTileSet::FolderTileSet(const std::string& folder)
    : folder_(IncludeTrailingSeparator(folder)) {
    if (!DirectoryExists(folder_)) {
        throw ETileSetError("The folder " + folder_ + " does not exist.");
    }
    // Every layer of every zoom, by zoom, prefix and extension.
    std::map<std::tuple<int, std::string, std::string>, Level> layers;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder_, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        const std::optional<TileFileName> tile = ParseTileFileName(name);
        if (!tile || tile->Zoom < 0 || tile->Zoom > kDeepestZoom || tile->X < 0 || tile->Y < 0 ||
            (std::int64_t{tile->X} >> tile->Zoom) != 0 ||
            (std::int64_t{tile->Y} >> tile->Zoom) != 0 || !it->is_regular_file(error)) {
            continue;
        }
        Level& level =
            layers[{tile->Zoom, std::string(tile->Prefix), std::string(tile->Extension)}];
        if (level.Count == 0) {
            level.Bounds = {tile->X, tile->Y, tile->X, tile->Y};
            level.Prefix = tile->Prefix;
            level.Extension = tile->Extension;
        } else {
            level.Bounds.MinX = std::min(level.Bounds.MinX, tile->X);
            level.Bounds.MinY = std::min(level.Bounds.MinY, tile->Y);
            level.Bounds.MaxX = std::max(level.Bounds.MaxX, tile->X);
            level.Bounds.MaxY = std::max(level.Bounds.MaxY, tile->Y);
        }
        ++level.Count;
    }
    for (auto& [key, level] : layers) {
        const int zoom = std::get<0>(key);
        if (levels_.empty() || levels_.back().first != zoom) {
            levels_.emplace_back(zoom, level);
        } else if (level.Count > levels_.back().second.Count) {
            levels_.back().second = level;
        }
    }
    if (levels_.empty()) {
        throw ETileSetError("The folder " + folder_ + " holds no tile files.");
    }
    // Ascending zooms: on equal counts the later, deeper one wins.
    std::int64_t most = 0;
    for (const auto& [zoom, level] : levels_) {
        if (level.Count >= most) {
            most = level.Count;
            firstZoom_ = zoom;
        }
    }
}

std::vector<int> FolderTileSet::Zooms() const {
    std::vector<int> zooms;
    for (const auto& level : levels_) {
        zooms.push_back(level.first);
    }
    return zooms;
}

const FolderTileSet::Level* FolderTileSet::LevelAt(int zoom) const {
    const auto found = std::find_if(levels_.begin(), levels_.end(),
                                    [zoom](const auto& level) { return level.first == zoom; });
    return found == levels_.end() ? nullptr : &found->second;
}

TileBounds FolderTileSet::Bounds(int zoom) const {
    const Level* level = LevelAt(zoom);
    return level == nullptr ? TileBounds{} : level->Bounds;
}

TileState FolderTileSet::Read(int zoom, std::int32_t x, std::int32_t y, std::string& bytes) const {
    bytes.clear();
    const Level* level = LevelAt(zoom);
    if (level == nullptr || !level->Bounds.Contains(x, y)) {
        return TileState::Missing;
    }
    try {
        bytes = ReadFileBytes(folder_ +
                              TileNaming{level->Prefix, level->Extension}.FileName(x, y, zoom));
    } catch (const EFileError&) {
        return TileState::Missing;
    }
    return TileState::Present;
}

std::unique_ptr<TileSet> OpenTileSet(const std::string& path, const std::string& blankFolder) {
    if (DirectoryExists(path)) {
        return std::make_unique<FolderTileSet>(path);
    }
    if (!FileExists(path)) {
        throw ETileSetError(path + " does not exist.");
    }
    return std::make_unique<TaskTileSet>(path, blankFolder);
}

}  // namespace tessellon
