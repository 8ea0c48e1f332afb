#include "output/tile_set.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <span>
#include <system_error>
#include <tuple>

#include "download/image_kind.h"
#include "net/net_limits.h"
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

const std::optional<GeoShape>& TileSet::Shape() const {
    static const std::optional<GeoShape> none;
    return none;
}

std::vector<int> TaskTileSet::Zooms() const {
    std::vector<int> zooms;
    for (int zoom = reader_.Cover().MinZoom(); zoom <= reader_.Cover().MaxZoom(); ++zoom) {
        zooms.push_back(zoom);
    }
    return zooms;
}

TileRange TaskTileSet::Bounds(int zoom) const {
    return reader_.Cover().HasZoom(zoom) ? reader_.Cover().RangeAt(zoom) : TileRange{};
}

TileState TaskTileSet::Read(int zoom, std::int32_t x, std::int32_t y, std::string& bytes) const {
    if (!Holds(zoom, x, y)) {
        bytes.clear();
        return TileState::Missing;
    }
    return reader_.Read({zoom, x, y}, bytes);
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
            (std::int64_t{tile->Y} >> tile->Zoom) != 0 ||
            it->symlink_status(error).type() != std::filesystem::file_type::regular) {
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

TileRange FolderTileSet::Bounds(int zoom) const {
    const Level* level = LevelAt(zoom);
    return level == nullptr ? TileRange{} : level->Bounds;
}

TileState FolderTileSet::Read(int zoom, std::int32_t x, std::int32_t y, std::string& bytes) const {
    bytes.clear();
    const Level* level = LevelAt(zoom);
    if (level == nullptr || !level->Bounds.Contains(x, y)) {
        return TileState::Missing;
    }
    std::string refusal;
    const std::string path =
        folder_ + TileNaming{level->Prefix, level->Extension}.FileName(x, y, zoom);
    return ReadUntrustedFile(path, kDefaultMaxTileBytes, bytes, refusal) == UntrustedRead::Read
               ? TileState::Present
               : TileState::Missing;
}

void ContainerTileSet::KeepLevels(const std::vector<std::pair<int, TileRange>>& levels,
                                  std::string_view title, const std::string& path) {
    for (const auto& [zoom, range] : levels) {
        if (zoom < 0 || zoom > kDeepestZoom) {
            continue;
        }
        const std::int32_t last = static_cast<std::int32_t>((std::int64_t{1} << zoom) - 1);
        const TileRange bounds{std::max(range.MinX, 0), std::max(range.MinY, 0),
                               std::min(range.MaxX, last), std::min(range.MaxY, last)};
        if (bounds.MinX <= bounds.MaxX && bounds.MinY <= bounds.MaxY) {
            levels_.emplace_back(zoom, bounds);
        }
    }
    if (levels_.empty()) {
        throw ETileSetError("The " + std::string(title) + " file " + path + " holds no tiles.");
    }
}

std::vector<int> ContainerTileSet::Zooms() const {
    std::vector<int> zooms;
    for (const auto& level : levels_) {
        zooms.push_back(level.first);
    }
    return zooms;
}

TileRange ContainerTileSet::Bounds(int zoom) const {
    for (const auto& [levelZoom, bounds] : levels_) {
        if (levelZoom == zoom) {
            return bounds;
        }
    }
    return {};
}

TileState ContainerTileSet::Answer(std::optional<std::string> tile, std::string& bytes) {
    bytes = tile ? std::move(*tile) : std::string();
    return tile ? TileState::Present : TileState::Missing;
}

SqliteContainerTileSet::SqliteContainerTileSet(const std::string& path) : reader_(path) {
    std::vector<std::pair<int, TileRange>> levels;
    for (const int zoom : reader_.Zooms()) {
        if (zoom >= 0 && zoom <= kDeepestZoom) {
            levels.emplace_back(zoom, reader_.Range(zoom));
        }
    }
    KeepLevels(levels, RowOf(reader_.Format()).Title, path);
}

TileState SqliteContainerTileSet::Read(int zoom, std::int32_t x, std::int32_t y,
                                       std::string& bytes) const {
    std::optional<std::string> tile;
    try {
        tile = reader_.Tile(zoom, x, y);
    } catch (const ETileContainerError&) {
        // A row the file's limits refuse, or a file locked meanwhile: the
        // tile cannot be shown, and the others may.
    }
    return Answer(std::move(tile), bytes);
}

PmtilesTileSet::PmtilesTileSet(const std::string& path) : reader_(path) {
    // The header's bounds at E7 precision; a hair inside them, so that an
    // edge on a tile's edge takes no column or row past it.
    constexpr double kInside = 1e-7;
    const GeoRect& area = reader_.Bounds();
    const GeoRect inside{area.Left + kInside, area.Right - kInside, area.Top - kInside,
                         area.Bottom + kInside};
    std::vector<std::pair<int, TileRange>> levels;
    for (int zoom = reader_.MinZoom(); zoom <= reader_.MaxZoom(); ++zoom) {
        levels.emplace_back(zoom, CoveringTiles(inside, zoom));
    }
    KeepLevels(levels, RowOf(ContainerFormat::Pmtiles).Title, path);
}

TileState PmtilesTileSet::Read(int zoom, std::int32_t x, std::int32_t y, std::string& bytes) const {
    return Answer(Bounds(zoom).Contains(x, y) ? reader_.Tile({zoom, x, y}) : std::nullopt, bytes);
}

namespace {

// The first bytes of the file, fewer for a shorter one.
std::string FileStart(const std::string& path) {
    std::string start(16, '\0');
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return {};
    }
    start.resize(std::fread(start.data(), 1, start.size(), file));
    std::fclose(file);
    return start;
}

bool IsImage(const std::string& path, std::string_view start) {
    return ImageFormatOfPath(path) || DetectImageKind(start) != ImageKind::None ||
           start.starts_with("II*\0") || start.starts_with(std::string_view("MM\0*", 4)) ||
           start.starts_with("BM");
}

}  // namespace

std::string ViewerRefusalOfImage(const std::string& path) {
    std::string text = path +
                       " is an image. The Map Viewer shows tile tasks (.tsln), folders of "
                       "tiles and tile containers: ";
    const std::span<const FormatRow> rows = ContainerFormatRows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        text += i == 0 ? "" : i + 1 == rows.size() ? " and " : ", ";
        text.append(rows[i].Title).append(" (").append(rows[i].Extensions).append(")");
    }
    return text + ". Open the task the image was made from to see its tiles.";
}

std::unique_ptr<TileSet> OpenTileSet(const std::string& path, const std::string& blankFolder) {
    if (DirectoryExists(path)) {
        return std::make_unique<FolderTileSet>(path);
    }
    if (!FileExists(path)) {
        throw ETileSetError(path + " does not exist.");
    }
    // A FIFO or a device would hold the look at its first bytes forever.
    if (!RegularFileSize(path)) {
        throw ETileSetError(path + " is not a file of tiles: not a regular file.");
    }
    const std::string start = FileStart(path);
    const std::optional<ContainerFormat> named = ContainerFormatOfPath(path);
    if (start.starts_with("PMTiles") || named == ContainerFormat::Pmtiles) {
        return std::make_unique<PmtilesTileSet>(path);
    }
    if (start == std::string_view("SQLite format 3\0", 16) || named) {
        return std::make_unique<SqliteContainerTileSet>(path);
    }
    if (IsImage(path, start)) {
        throw ETileSetError(ViewerRefusalOfImage(path));
    }
    return std::make_unique<TaskTileSet>(path, blankFolder);
}

}  // namespace tessellon
