#include "task/md_task.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "geo/tile_math.h"
#include "platform/files.h"
#include "platform/numbers.h"
#include "platform/paths.h"
#include "platform/text_format.h"
#include "task/tile_layer.h"

namespace tessellon {

ETooManyTilesError::ETooManyTilesError()
    : std::runtime_error(
          "Too many images in this area. Choose a smaller area or a lower zoom level.") {}

EStartCancelled::EStartCancelled() : std::runtime_error("Start cancelled.") {}

TileCover CoverOfTask(const TaskParameters& p) {
    if (p.Shape) {
        return TileCover::OfShape(p.Shape->Area, p.Zoom, p.LastZoom());
    }
    return TileCover::OfRectangle(
        {p.LeftLongitude, p.RightLongitude, p.TopLatitude, p.BottomLatitude}, p.Zoom, p.LastZoom());
}

MDTask::MDTask(const TaskParameters* params, MessageSink& messages)
    : Params(params), Cover(CoverOfTask(*params)) {
    const TaskParameters& p = *Params;
    const TileRange range = Cover.RangeAt(Cover.MinZoom());
    MinX = range.MinX;
    MinY = range.MinY;
    MaxX = range.MaxX;
    MaxY = range.MaxY;
    // The start's checks keep the top at or north of the bottom.
    const GeoRect edges = TileRangeEdges(range, Cover.MinZoom());
    DownloadLeftLongitude = edges.Left;
    DownloadRightLongitude = edges.Right;
    DownloadTopLatitude = edges.Top;
    DownloadBottomLatitude = edges.Bottom;

    TotalCount = Cover.Count();
    if (TotalCount > kMaxTileCount) {
        throw ETooManyTilesError();
    }

    const std::string base = RemoveFileExt(p.TaskName);
    LogFileName = p.SavePath + base + std::string(kLogFileSuffix);
    FailedFileName = p.SavePath + base + std::string(kFailedFileSuffix);
    ListFileName = p.SavePath + base + std::string(kListFileSuffix);
    AreaFileName = p.SavePath + base + std::string(kAreaFileSuffix);
    ImageFolder = p.SavePath + base + kPathSeparator;

    if (!DirectoryExists(ImageFolder)) {
        if (!CreateDirectoryOneLevel(ImageFolder)) {
            const std::string message = "Create directory " + ImageFolder + " Failed.";
            messages.ShowMessage(message);
            throw ECreateTaskError(message);
        }
        madeImageFolder_ = true;
    }

    if (p.ContinueTask) {
        ReadSavedPositions();
    }
}

void MDTask::RemoveMadeImageFolder() const {
    if (madeImageFolder_) {
        RemoveEmptyDirectory(ImageFolder);
    }
}

void MDTask::ReadSavedPositions() {
    std::optional<ProjectContents> project;
    try {
        project = Project().Read();
    } catch (const EFileError&) {
        // Checked a moment ago by the start; a file gone since starts every
        // worker from the beginning.
        return;
    }
    for (std::int32_t i = 0; i < Params->ThreadCount && i < kThreadSlots; ++i) {
        const auto slot = static_cast<std::size_t>(i);
        SavedX[slot] = project->Slot(i + 1, 'X');
        SavedY[slot] = project->Slot(i + 1, 'Y');
        SavedZ[slot] = project->Slot(i + 1, 'Z');
    }
}

std::int64_t MDTask::ResumeNumber(std::int32_t index) const {
    const auto slot = static_cast<std::size_t>(index);
    const std::int32_t x = SavedX[slot];
    const std::int32_t y = SavedY[slot];
    if (!Cover.IsSingleRectangle()) {
        // Whole positions (see the saving of positions): the zoom tells.
        return SavedZ[slot] == 0 ? 0 : Cover.SeqOf({SavedZ[slot], x, y});
    }
    if (x == 0 || y == 0) {
        return 0;
    }
    return Cover.SeqOf({Cover.MinZoom(), x, y});
}

namespace {

// Every source's tiles share one prefix, so tools that read a task folder
// need not know the source.
constexpr const char* kSourceFilePrefix = "tl";

// A map type that no layer has cannot arise from a start; it gives no URL, no
// prefix and no extension.
const TileLayer* LayerOf(const TaskParameters& params) {
    return FindTileLayer(&TileLayer::MapsType, params.MapsType);
}

// Takes the number before `end` off the front of `text`; nothing when it is
// not all decimal digits or does not fit.
template <typename Integer>
std::optional<Integer> TakeNumber(std::string_view& text, char end) {
    const std::size_t stop = text.find(end);
    if (stop == std::string_view::npos || stop == 0 ||
        !std::all_of(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(stop),
                     [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    const std::optional<Integer> value = ParseInteger<Integer>(text.substr(0, stop));
    text.remove_prefix(stop + 1);
    return value;
}

}  // namespace

std::string TileNaming::FileName(std::int32_t x, std::int32_t y, int zoom) const {
    std::string name = Prefix;
    name += '_';
    name += std::to_string(x);
    name += '_';
    name += std::to_string(y);
    name += '_';
    name += std::to_string(zoom);
    name += '.';
    name += Extension;
    return name;
}

TileNaming TileNamingOf(std::int32_t mapsType, const std::optional<TileSource>& source) {
    if (source) {
        return {kSourceFilePrefix, source->Format()};
    }
    const TileLayer* layer = FindTileLayer(&TileLayer::MapsType, mapsType);
    if (layer == nullptr) {
        return {};
    }
    return {std::string(layer->FilePrefix), std::string(layer->Extension)};
}

std::optional<TileFileName> ParseTileFileName(std::string_view fileName) {
    const std::size_t underscore = fileName.find('_');
    if (underscore == std::string_view::npos) {
        return std::nullopt;
    }
    TileFileName parts;
    parts.Prefix = fileName.substr(0, underscore);
    std::string_view rest = fileName.substr(underscore + 1);
    const std::optional<std::int32_t> x = TakeNumber<std::int32_t>(rest, '_');
    const std::optional<std::int32_t> y = x ? TakeNumber<std::int32_t>(rest, '_') : std::nullopt;
    const std::optional<int> zoom = y ? TakeNumber<int>(rest, '.') : std::nullopt;
    if (!zoom) {
        return std::nullopt;
    }
    parts.X = *x;
    parts.Y = *y;
    parts.Zoom = *zoom;
    parts.Extension = rest;
    return parts;
}

bool IsTileFileName(std::string_view fileName) {
    const std::optional<TileFileName> parts = ParseTileFileName(fileName);
    if (!parts) {
        return false;
    }
    if (parts->Prefix == kSourceFilePrefix) {
        return IsSourceFormat(parts->Extension);
    }
    const TileLayer* layer = FindTileLayer(&TileLayer::FilePrefix, parts->Prefix);
    return layer != nullptr && layer->Extension == parts->Extension;
}

std::string LayerTileUrl(const TileLayer& layer, std::string_view host, std::int32_t x,
                         std::int32_t y, int zoom) {
    // The server counts rows from the equator northwards and its zoom levels
    // one higher.
    const double serverRow = std::ldexp(1.0, zoom - 1) - y - 1;
    std::string url = "http://";
    url += host;
    url += layer.PathAndQuery;
    url += "x=" + std::to_string(x);
    url += "&y=" + FormatGeneral(serverRow);
    url += "&z=" + std::to_string(zoom + 1);
    return url;
}

std::string MDTask::GetTileUrl(const TileId& tile) const {
    if (Params->Source) {
        return Params->Source->TileUrl(tile.X, tile.Y, tile.Zoom);
    }
    const TileLayer* layer = LayerOf(*Params);
    if (layer == nullptr) {
        return "";
    }
    return LayerTileUrl(*layer, Params->*layer->Host, tile.X, tile.Y, tile.Zoom);
}

std::size_t LongestTaskFileName(const std::string& taskName, bool shaped) {
    const std::size_t base = RemoveFileExt(taskName).size();
    return std::max({taskName.size(), base + kLogFileSuffix.size(), base + kFailedFileSuffix.size(),
                     base + kListFileSuffix.size(), shaped ? base + kAreaFileSuffix.size() : 0});
}

std::string MDTask::GetTileFileName(const TileId& tile) const {
    return Naming().FileName(tile.X, tile.Y, tile.Zoom);
}

std::string MDTask::GetTilePath(const TileId& tile) const {
    return ImageFolder + GetTileFileName(tile);
}

}  // namespace tessellon
