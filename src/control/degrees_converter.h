#pragma once
// Degrees, minutes and seconds to decimal degrees, as the converter window
// does it: single-precision result; the sign of the degrees is the whole
// angle's (-10 30 0 is -10.5).

#include <optional>
#include <string>

namespace tessellon {

inline constexpr const char* kConverterInputError = "Input Error.";

// The result in the general format, or nothing when the degrees or minutes
// are not whole numbers or the seconds are out of single-precision range
// (the window then shows kConverterInputError and keeps its result field).
std::optional<std::string> ConvertDegreesMinutesSeconds(const std::string& degrees,
                                                        const std::string& minutes,
                                                        const std::string& seconds);

}  // namespace tessellon
