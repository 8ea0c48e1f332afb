#pragma once
// Where the map window looks: the zoom it opens the world at, and the zoom
// and centre that show the task's area whole. Which service it shows, and
// the zooms it may step through, are the MapService's.

#include "control/map_area.h"

namespace tessellon {

// The zoom a map with no area opens at: the whole world, large enough to
// find a continent on.
inline constexpr int kWorldZoom = 2;
// The part of the map an area opened on fills at most, each way.
inline constexpr double kFitShare = 0.8;

// The zoom "Go to" shows a place at when the map is further out: a town
// and the roads around it, a walk's worth of land.
inline constexpr int kGoToZoom = 12;

// The zoom after "Go to" from `current`: kGoToZoom within minZoom..maxZoom
// when the map is further out, else `current`, which the user chose.
int GoToZoom(int current, int minZoom, int maxZoom);

struct MapFrame {
    int Zoom = 0;
    GeoPoint Centre;
};

// How a map `width` x `height` pixels large, of tiles `tileSize` pixels a
// side, shows `area` whole: the largest zoom of minZoom..maxZoom at which the
// area spans at most kFitShare of the map each way (minZoom when none does),
// centred on the middle of the area as the map draws it (the middle of its
// rows, not the mean of its latitudes).
MapFrame FrameArea(const GeoRect& area, int width, int height, int minZoom, int maxZoom,
                   int tileSize);

}  // namespace tessellon
