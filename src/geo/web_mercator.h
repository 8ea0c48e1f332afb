#pragma once
// Metres of the spherical (web) Mercator projection, EPSG:3857: the plane
// the tile grid is cut from. x runs east from longitude 0, y north from the
// equator; the grid is the square of side 2 * kHalfWorldMetres centred on
// (0, 0). Pure functions, callable from any thread.

#include <cstdint>
#include <string_view>

namespace tessellon {

// The sphere's radius: WGS 84's semi-major axis.
inline constexpr double kEarthRadiusMetres = 6378137.0;
// Half the grid's side: pi * kEarthRadiusMetres.
inline constexpr double kHalfWorldMetres = 20037508.342789244;

double LongitudeToMercatorX(double longitude);
double LatitudeToMercatorY(double latitude);
double MercatorXToLongitude(double x);
double MercatorYToLatitude(double y);

// How many projected metres one metre on the ground spans at `latitude`:
// 1 / cos(latitude). The projection is conformal, so the same in every
// direction.
double MercatorScaleAt(double latitude);

// A tile's bounds in projected metres.
struct MercatorBounds {
    double MinX = 0;
    double MinY = 0;
    double MaxX = 0;
    double MaxY = 0;
};

// The side of a tile at `zoom` in projected metres.
double MercatorTileSide(int zoom);

// Tile (x, y) at `zoom`, rows counted from the north.
MercatorBounds TileMercatorBounds(std::int64_t x, std::int64_t y, int zoom);

// Pixels of the grid: at `zoom` the world is WorldPixels(zoom) pixels
// square, kTilePixels a tile, counted from its north-west corner. A pixel
// position is an edge between pixels; a fraction lies inside one.
inline constexpr int kTilePixels = 256;

double WorldPixels(int zoom);
// The side of a pixel at `zoom` in projected metres, the same on both axes.
double MercatorPixelSize(int zoom);

// Where a point lies on the grid at `zoom`, in pixels with their fraction.
double LongitudeToPixelX(double longitude, int zoom);
double LatitudeToPixelY(double latitude, int zoom);

// Projected metres and grid pixels at `zoom`, both ways.
double PixelXToMercatorX(double x, int zoom);
double PixelYToMercatorY(double y, int zoom);
double MercatorXToPixelX(double x, int zoom);
double MercatorYToPixelY(double y, int zoom);

// EPSG:3857 as the WKT a .prj file and a GeoPackage hold. In the header, so
// that a program naming it links nothing that writes images.
inline constexpr std::string_view kPseudoMercatorWkt =
    R"(PROJCS["WGS 84 / Pseudo-Mercator",GEOGCS["WGS 84",DATUM["WGS_1984",)"
    R"(SPHEROID["WGS 84",6378137,298.257223563,AUTHORITY["EPSG","7030"]],)"
    R"(AUTHORITY["EPSG","6326"]],PRIMEM["Greenwich",0,AUTHORITY["EPSG","8901"]],)"
    R"(UNIT["degree",0.0174532925199433,AUTHORITY["EPSG","9122"]],AUTHORITY["EPSG","4326"]],)"
    R"(PROJECTION["Mercator_1SP"],PARAMETER["central_meridian",0],PARAMETER["scale_factor",1],)"
    R"(PARAMETER["false_easting",0],PARAMETER["false_northing",0],)"
    R"(UNIT["metre",1,AUTHORITY["EPSG","9001"]],AXIS["Easting",EAST],AXIS["Northing",NORTH],)"
    R"(EXTENSION["PROJ4","+proj=merc +a=6378137 +b=6378137 +lat_ts=0 +lon_0=0 +x_0=0 +y_0=0 )"
    R"(+k=1 +units=m +nadgrids=@null +wktext +no_defs"],AUTHORITY["EPSG","3857"]])";

}  // namespace tessellon
