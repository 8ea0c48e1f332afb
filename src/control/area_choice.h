#pragma once
// The main window's area beyond the four coordinate fields: a shape from a
// file with its buffer, a polygon drawn on the map and kept as such a file,
// what the map shows of the fields' area at one zoom, and the two zoom
// fields that make a task of one zoom or of several.

#include <optional>
#include <string>
#include <vector>

#include "control/task_fields.h"
#include "geo/geo_shape.h"
#include "task/tile_cover.h"

namespace tessellon {

// The file a polygon drawn for the fields' task is kept in: NAME_drawn.geojson
// (NAME the task name without ".tsln") in the save folder, or in the user's
// settings folder while no save folder is typed.
std::string DrawnAreaFileName(const TaskFields& fields);

// Writes the polygon whose corners were clicked in turn to `path` as GeoJSON
// (EPSG:4326), making its folder when missing. A corner clicked
// twice in a row counts once. Returns the message when the corners make no
// area (fewer than three distinct corners, all on one line) or the file
// cannot be written or read back as an area; no file is left then.
std::optional<std::string> WriteDrawnArea(const std::vector<GeoPoint>& corners,
                                          const std::string& path);

// The fields' area as the map shows it: the shape of the area file (none for
// the rectangle of the four fields) and the tiles of its cover at one zoom.
struct ShownArea {
    std::optional<GeoShape> Shape;
    // The least rectangle holding the area.
    GeoRect Bounds;
    TileCover Tiles;
};

// The area at `zoom`; nothing while the fields make no area a start takes,
// with the reason in `problem` when a shape's file or buffer is refused (a
// rectangle being typed gives no reason, as the fields tell it).
std::optional<ShownArea> ShowFieldsArea(const TaskFields& fields, int zoom, std::string& problem);

// Before a start: the message when the area is to be a shape (`shapeChosen`)
// and the fields name no file for it; nothing otherwise.
std::optional<std::string> CheckAreaChoice(bool shapeChosen, const TaskFields& fields);

// The highest zoom after the lowest moved from `from` to `newFrom`, the
// highest having been `to`: a task of one zoom stays one, and the highest
// never falls below the lowest.
int ZoomToAfter(int from, int newFrom, int to);

// The zoom fields' texts for the two zoom controls: the highest is left
// empty when it equals the lowest, so a task of one zoom is today's.
std::string ZoomToText(int from, int to);

}  // namespace tessellon
