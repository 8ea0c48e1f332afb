#include "control/map_area.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <vector>

#include "control/degrees_converter.h"
#include "platform/numbers.h"
#include "platform/text_format.h"
#include "task/md_task.h"

namespace tessellon {

namespace {

// The ranges a start takes.
constexpr double kMaxLongitude = 180;
constexpr double kMaxLatitude = 85;

std::string BoundText(double value, double limit) {
    const double rounded = std::round(std::clamp(value, -limit, limit) * 1e6) / 1e6;
    // Rounding may leave -0, which would read "-0".
    return FormatGeneral(rounded == 0 ? 0.0 : rounded);
}

// The whole of `text` as a decimal number.
std::optional<double> ParseDecimal(const std::string& text) {
    double value = 0;
    const char* const end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end) {
        return std::nullopt;
    }
    return value;
}

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    for (const char c : text) {
        // The marks of degrees, minutes and seconds part words as blanks do.
        if (std::isspace(static_cast<unsigned char>(c)) || c == '\'' || c == '"' ||
            static_cast<unsigned char>(c) >= 0x80) {
            if (!word.empty()) {
                words.push_back(std::move(word));
                word.clear();
            }
            continue;
        }
        word += c;
    }
    if (!word.empty()) {
        words.push_back(std::move(word));
    }
    return words;
}

// One coordinate: a decimal number, or degrees, minutes and seconds; then an
// optional hemisphere letter, one of `positive` or `negative`.
std::optional<double> ReadPlaceCoordinate(const std::string& text, char positive, char negative) {
    std::vector<std::string> words = Words(text);
    double sign = 1;
    if (!words.empty()) {
        std::string& last = words.back();
        const char letter =
            static_cast<char>(std::toupper(static_cast<unsigned char>(last.back())));
        if (letter == positive || letter == negative) {
            sign = letter == negative ? -1 : 1;
            last.pop_back();
            if (last.empty()) {
                words.pop_back();
            }
        }
    }
    std::optional<double> value;
    if (words.size() == 1) {
        value = ParseDecimal(words[0]);
    } else if (words.size() == 3) {
        if (const auto converted = ConvertDegreesMinutesSeconds(words[0], words[1], words[2])) {
            value = ReadCoordinate(*converted);
        }
    }
    if (!value || !std::isfinite(*value)) {
        return std::nullopt;
    }
    return sign * *value;
}

}  // namespace

std::optional<GeoRect> AreaOfFields(const TaskFields& fields) {
    const GeoRect area{ReadCoordinate(fields.LeftLongitude), ReadCoordinate(fields.RightLongitude),
                       ReadCoordinate(fields.TopLatitude), ReadCoordinate(fields.BottomLatitude)};
    TaskParameters bounds;
    bounds.LeftLongitude = area.Left;
    bounds.RightLongitude = area.Right;
    bounds.TopLatitude = area.Top;
    bounds.BottomLatitude = area.Bottom;
    if (CheckBounds(bounds)) {
        return std::nullopt;
    }
    return area;
}

void WriteAreaToFields(const GeoRect& area, TaskFields& fields) {
    fields.LeftLongitude = BoundText(std::min(area.Left, area.Right), kMaxLongitude);
    fields.RightLongitude = BoundText(std::max(area.Left, area.Right), kMaxLongitude);
    fields.TopLatitude = BoundText(std::max(area.Top, area.Bottom), kMaxLatitude);
    fields.BottomLatitude = BoundText(std::min(area.Top, area.Bottom), kMaxLatitude);
}

std::optional<GeoPoint> ParseGoTo(const std::string& text) {
    const std::size_t comma = text.find(',');
    if (comma == std::string::npos || text.find(',', comma + 1) != std::string::npos) {
        return std::nullopt;
    }
    const auto latitude = ReadPlaceCoordinate(text.substr(0, comma), 'N', 'S');
    const auto longitude = ReadPlaceCoordinate(text.substr(comma + 1), 'E', 'W');
    if (!latitude || !longitude || std::abs(*latitude) > kMaxLatitude ||
        std::abs(*longitude) > kMaxLongitude) {
        return std::nullopt;
    }
    return GeoPoint{*longitude, *latitude};
}

std::optional<TaskEstimate> EstimateFieldsTask(const TaskFields& fields) {
    TaskParameters params;
    if (ReadZooms(fields, params) || ReadArea(fields, params)) {
        return std::nullopt;
    }
    return EstimateTask(CoverOfTask(params).Count(), WorkersOf(fields.Source),
                        PauseAfterTile(fields.Source));
}

std::string EstimateText(const TaskEstimate& estimate) {
    return std::to_string(estimate.Tiles) + (estimate.Tiles == 1 ? " tile" : " tiles") +
           ", about " + DurationText(estimate.Duration) + " at the service's pace, about " +
           SizeText(estimate.Kibibytes) + " on disk";
}

}  // namespace tessellon
