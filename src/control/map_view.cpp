#include "control/map_view.h"

#include <algorithm>

namespace tessellon {

MapFrame FrameArea(const GeoRect& area, int width, int height, int minZoom, int maxZoom,
                   int tileSize) {
    int zoom = minZoom;
    for (int next = minZoom + 1; next <= maxZoom; ++next) {
        const double areaWidth =
            (LongitudeToTileXExact(area.Right, next) - LongitudeToTileXExact(area.Left, next)) *
            tileSize;
        const double areaHeight =
            (LatitudeToTileYExact(area.Bottom, next) - LatitudeToTileYExact(area.Top, next)) *
            tileSize;
        if (areaWidth > width * kFitShare || areaHeight > height * kFitShare) {
            break;
        }
        zoom = next;
    }
    const double middleRow =
        (LatitudeToTileYExact(area.Top, zoom) + LatitudeToTileYExact(area.Bottom, zoom)) / 2;
    return {zoom, {(area.Left + area.Right) / 2, TileYToLatitude(middleRow, zoom)}};
}

int GoToZoom(int current, int minZoom, int maxZoom) {
    if (current >= kGoToZoom) {
        return std::clamp(current, minZoom, maxZoom);
    }
    return std::clamp(kGoToZoom, minZoom, maxZoom);
}

}  // namespace tessellon
