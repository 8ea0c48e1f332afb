#pragma once
// Coordinates as people write them, read the same way in every coordinate
// field, every coordinate of the command line and the map's "Go to":
// decimal degrees ("-122.4194", "48,8566" with a decimal comma), degrees and
// minutes, or degrees, minutes and seconds, parted by blanks or the marks
// ° ' " (and º ′ ″), with a sign before the value or a hemisphere letter
// before or after it ("122 25 10 W", "N 37° 46′"). The sign or the letter
// applies to the whole value: "-122 25" is -122.4167. A text is read whole
// or not at all: "122 25 W" is never 122.

#include <optional>
#include <string_view>

namespace tessellon {

enum class CoordinateAxis { Longitude, Latitude };

// The coordinate in decimal degrees; its range is the caller's to check.
// Nothing for any other text, a part of one included: minutes or seconds of
// 60 or more, degrees with a fraction before minutes (or minutes before
// seconds), a hemisphere letter of the other axis (N or S in a longitude),
// both a sign and a letter, an empty text.
std::optional<double> ParseCoordinate(std::string_view text, CoordinateAxis axis);

}  // namespace tessellon
