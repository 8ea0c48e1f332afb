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

}  // namespace tessellon
