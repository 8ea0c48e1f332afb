#pragma once
// Which way round a ring runs, in degrees as they are (x east, y north).

#include <cstddef>

#include "geo/geo_shape.h"

namespace tessellon {

// Twice the ring's area in square degrees: positive when it runs
// counter-clockwise.
inline double TwiceSignedArea(const GeoRing& ring) {
    double sum = 0;
    for (std::size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++) {
        sum += (ring[j].Longitude - ring[i].Longitude) * (ring[j].Latitude + ring[i].Latitude);
    }
    return sum;
}

}  // namespace tessellon
