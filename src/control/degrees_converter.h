#pragma once
// Degrees, minutes and seconds to decimal degrees, as the converter window
// does it: single-precision result; the sign of the degrees is the whole
// angle's (-10 30 0 is -10.5).

#include <optional>
#include <string>

#include "geo/coordinate_text.h"

namespace tessellon {

inline constexpr const char* kConverterInputError = "Input Error.";

// The result in the general format, or nothing when the degrees or minutes
// are not whole numbers or the seconds are out of single-precision range
// (the window then shows kConverterInputError and keeps its result field).
std::optional<std::string> ConvertDegreesMinutesSeconds(const std::string& degrees,
                                                        const std::string& minutes,
                                                        const std::string& seconds);

// The converter window's hemisphere choice: N and E keep the value, S and
// W make the whole angle negative.
enum class Hemisphere { North, South, East, West };

inline constexpr const char* kSignAndHemisphereError =
    "Give either a minus sign or S or W, not both.";

CoordinateAxis AxisOf(Hemisphere hemisphere);

// ConvertDegreesMinutesSeconds in the hemisphere; `error` says why when
// there is no result (kConverterInputError, or kSignAndHemisphereError for
// a minus with S or W).
std::optional<std::string> ConvertInHemisphere(const std::string& degrees,
                                               const std::string& minutes,
                                               const std::string& seconds, Hemisphere hemisphere,
                                               std::string& error);

// Why a converted value cannot go into the main window's field `label`
// ("Left Longitude", "Top Latitude", ...) of `axis`: beyond -180..180 or
// -85..85, as a start would say it; none when it can.
std::optional<std::string> UseAsRefusal(const std::string& degrees, CoordinateAxis axis,
                                        const std::string& label);

}  // namespace tessellon
