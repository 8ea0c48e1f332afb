#pragma once
// Generated area files for the benchmarks: a long GPS track and a country's
// outline, the same bytes on every run.

#include <string>

namespace tessellon::bench {

// A walk of `kilometres` from the Alps north-east, a point every 20 m as a
// GPS logs it, as a GPX file.
std::string TrackGpx(double kilometres);

// A country's outline of `count` points about 300 km across, wavy at every
// scale down to a few hundred metres, as a GeoJSON Polygon.
std::string OutlineGeoJson(int count);

}  // namespace tessellon::bench
