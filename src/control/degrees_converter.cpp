#include "control/degrees_converter.h"

#include <cmath>
#include <cstdint>

#include "platform/numbers.h"
#include "platform/text_format.h"

namespace tessellon {

std::optional<std::string> ConvertDegreesMinutesSeconds(const std::string& degrees,
                                                        const std::string& minutes,
                                                        const std::string& seconds) {
    std::int32_t d = 0;
    std::int32_t m = 0;
    if (!ParseWholeNumber(degrees, d) || !ParseWholeNumber(minutes, m)) {
        return std::nullopt;
    }
    const auto s = static_cast<float>(ParseLeadingDecimal(seconds));
    if (!std::isfinite(s)) {
        return std::nullopt;
    }
    constexpr long double kOneOver60 = 1.0L / 60.0L;
    constexpr long double kOneOver3600 = 1.0L / 3600.0L;
    // The sign is the whole angle's: -10 30 is -10.5, as -10 and a half.
    const std::size_t first = degrees.find_first_not_of(" \t");
    const long double sign = first != std::string::npos && degrees[first] == '-' ? -1 : 1;
    const auto result =
        static_cast<float>(sign * (std::abs(d) + m * kOneOver60 + s * kOneOver3600));
    return FormatGeneral(result);
}

CoordinateAxis AxisOf(Hemisphere hemisphere) {
    return hemisphere == Hemisphere::North || hemisphere == Hemisphere::South
               ? CoordinateAxis::Latitude
               : CoordinateAxis::Longitude;
}

std::optional<std::string> ConvertInHemisphere(const std::string& degrees,
                                               const std::string& minutes,
                                               const std::string& seconds, Hemisphere hemisphere,
                                               std::string& error) {
    const bool negative = hemisphere == Hemisphere::South || hemisphere == Hemisphere::West;
    const std::size_t first = degrees.find_first_not_of(" \t");
    const bool signed_ = first != std::string::npos && degrees[first] == '-';
    if (negative && signed_) {
        error = kSignAndHemisphereError;
        return std::nullopt;
    }
    // The converter makes the sign the whole angle's.
    const auto result = ConvertDegreesMinutesSeconds(
        negative && first != std::string::npos ? "-" + degrees.substr(first) : degrees, minutes,
        seconds);
    if (!result) {
        error = kConverterInputError;
    }
    return result;
}

std::optional<std::string> UseAsRefusal(const std::string& degrees, CoordinateAxis axis,
                                        const std::string& label) {
    // The limits a start holds the fields to: Web Mercator ends short of the
    // poles.
    const int limit = axis == CoordinateAxis::Latitude ? 85 : 180;
    const auto value = ParseCoordinate(degrees, axis);
    if (value && std::abs(*value) <= limit) {
        return std::nullopt;
    }
    const std::string range = std::to_string(limit);
    return label + " should be between -" + range + " and " + range + ".";
}

}  // namespace tessellon
