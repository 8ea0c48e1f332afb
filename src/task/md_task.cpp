#include "task/md_task.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "geo/tile_math.h"
#include "platform/files.h"
#include "platform/ini_file.h"
#include "platform/paths.h"
#include "platform/text_format.h"

namespace tessellon {

ETooManyTilesError::ETooManyTilesError()
    : std::runtime_error(
          "Too many images in this area. Choose a smaller area or a lower zoom level.") {}

MDTask::MDTask(const TaskParameters* params, MessageSink& messages) : Params(params) {
    const TaskParameters& p = *Params;
    MinX = LongitudeToTileX(p.LeftLongitude, p.Zoom);
    MaxX = LongitudeToTileX(p.RightLongitude, p.Zoom);
    const std::int32_t yTop = LatitudeToTileY(p.TopLatitude, p.Zoom);
    const std::int32_t yBottom = LatitudeToTileY(p.BottomLatitude, p.Zoom);

    DownloadLeftLongitude = TileXToLongitude(MinX, p.Zoom);
    DownloadRightLongitude = TileXToLongitude(static_cast<double>(MaxX) + 1, p.Zoom);
    DownloadTopLatitude = TileYToLatitude(yTop, p.Zoom);
    DownloadBottomLatitude = TileYToLatitude(static_cast<double>(yBottom) + 1, p.Zoom);

    MinY = std::min(yTop, yBottom);
    MaxY = std::max(yTop, yBottom);

    TotalCount =
        (static_cast<std::int64_t>(MaxX) - MinX + 1) * (static_cast<std::int64_t>(MaxY) - MinY + 1);
    if (TotalCount > kMaxTileCount) {
        throw ETooManyTilesError();
    }

    const std::string base = RemoveFileExt(p.TaskName);
    LogFileName = p.SavePath + base + "_log.txt";
    FailedFileName = p.SavePath + base + "_failed.ftl";
    ListFileName = p.SavePath + base + "_list.txt";
    ImageFolder = p.SavePath + base + kPathSeparator;

    if (!DirectoryExists(ImageFolder) && !CreateDirectoryOneLevel(ImageFolder)) {
        const std::string message = "Create directory " + ImageFolder + " Failed.";
        messages.ShowMessage(message);
        throw ECreateTaskError(message);
    }

    if (p.ContinueTask) {
        ReadSavedPositions();
    }
}

void MDTask::ReadSavedPositions() {
    const IniFile project(ProjectFileName());
    for (std::int32_t i = 0; i < Params->ThreadCount && i < kThreadSlots; ++i) {
        SavedX[static_cast<std::size_t>(i)] =
            project.ReadInteger("THREADS", ThreadSlotKey(i + 1, 'X'), 0);
        SavedY[static_cast<std::size_t>(i)] =
            project.ReadInteger("THREADS", ThreadSlotKey(i + 1, 'Y'), 0);
    }
}

std::int64_t MDTask::ResumeNumber(std::int32_t index) const {
    const std::int32_t x = SavedX[static_cast<std::size_t>(index)];
    const std::int32_t y = SavedY[static_cast<std::size_t>(index)];
    if (x == 0 || y == 0) {
        return 0;
    }
    const std::int64_t rows = static_cast<std::int64_t>(MaxY) - MinY + 1;
    return (static_cast<std::int64_t>(x) - MinX) * rows + (y - MinY) + 1;
}

std::string ThreadSlotKey(std::int32_t slot, char axis) {
    std::string key = "T";
    key += std::to_string(slot);
    key += axis;
    return key;
}

namespace {

// What differs between the two layers of the tile service.
struct Layer {
    const char* prefix;
    const char* extension;
    const char* pathAndQuery;
};

constexpr Layer kMapLayer{"yn", "png", "/hx/tl?v=4.3&r=1&"};
constexpr Layer kSatelliteLayer{"ys", "jpg", "/ae/ximg?v=1.9&t=a&s=256&r=1&"};
// A map type that cannot arise: no URL, no prefix, no extension.
constexpr Layer kNoLayer{"", "", ""};

const Layer& LayerOf(std::int32_t mapsType) {
    switch (mapsType) {
        case kMapsTypeMap:
            return kMapLayer;
        case kMapsTypeSatellite:
            return kSatelliteLayer;
        default:
            return kNoLayer;
    }
}

}  // namespace

std::string MDTask::GetTileUrl(std::int32_t x, std::int32_t y) const {
    const Layer& layer = LayerOf(Params->MapsType);
    if (*layer.pathAndQuery == '\0') {
        return "";
    }
    const std::string& host =
        Params->MapsType == kMapsTypeMap ? Params->MapHost : Params->SatelliteHost;
    // The server counts rows from the equator northwards and its zoom levels
    // one higher.
    const double serverRow = std::ldexp(1.0, Params->Zoom - 1) - y - 1;
    return "http://" + host + layer.pathAndQuery + "x=" + std::to_string(x) +
           "&y=" + FormatGeneral(serverRow) + "&z=" + std::to_string(Params->Zoom + 1);
}

std::string MDTask::TilePrefix() const {
    return LayerOf(Params->MapsType).prefix;
}

std::string MDTask::GetTileExtension() const {
    return LayerOf(Params->MapsType).extension;
}

std::string MDTask::GetTileFileName(std::int32_t x, std::int32_t y) const {
    return TilePrefix() + "_" + std::to_string(x) + "_" + std::to_string(y) + "_" +
           std::to_string(Params->Zoom) + "." + GetTileExtension();
}

std::string MDTask::GetTilePath(std::int32_t x, std::int32_t y) const {
    return ImageFolder + GetTileFileName(x, y);
}

}  // namespace tessellon
