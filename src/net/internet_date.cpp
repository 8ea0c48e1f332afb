#include "net/internet_date.h"

#include <array>
#include <cmath>
#include <ctime>
#include <span>
#include <string>

#include "net/net_errors.h"
#include "net/net_text.h"
#include "platform/local_time.h"
#include "platform/numbers.h"

namespace tessellon {

namespace {

constexpr double kSecondsPerDay = 86400.0;
// 1970-01-01 as a day number counted from 1899-12-30.
constexpr long kUnixEpochDay = 25569;

// Days from 1970-01-01 to a proleptic Gregorian date.
long DaysFromCivil(long year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const long era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<long>(dayOfEra) - 719468;
}

struct CivilDate {
    long Year;
    unsigned Month;
    unsigned Day;
};

// The proleptic Gregorian date `days` after 1970-01-01: DaysFromCivil undone.
CivilDate CivilFromDays(std::int64_t days) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned shifted = (5 * dayOfYear + 2) / 153;  // March is 0
    const unsigned month = shifted < 10 ? shifted + 3 : shifted - 9;
    const long year = static_cast<long>(yearOfEra + era * 400) + (month <= 2 ? 1 : 0);
    return {year, month, dayOfYear - (153 * shifted + 2) / 5 + 1};
}

// The four-digit years a request header can carry, from 0001-01-01 to
// 9999-12-31, in seconds since 1970; the first is a whole day's.
constexpr std::int64_t kFirstCarried = -62135596800;
constexpr std::int64_t kEndCarried = 253402300800;

// A date has at most six parts: weekday, day, month, year, time and zone.
constexpr std::size_t kMostDateParts = 6;

// The parts of a date, in place.
struct DateParts {
    std::array<std::string_view, kMostDateParts> Part;
    std::size_t Count = 0;
};

// The parts of `text`; none when it has more than a date has.
std::optional<DateParts> Tokens(std::string_view text) {
    DateParts parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        // A "-" separates the parts of "06-Nov-94" but starts a zone offset.
        const bool separator = i == text.size() || text[i] == ' ' || text[i] == '\t' ||
                               text[i] == ',' || (text[i] == '-' && i > start);
        if (!separator) {
            continue;
        }
        if (i > start) {
            if (parts.Count == kMostDateParts) {
                return std::nullopt;
            }
            parts.Part[parts.Count++] = text.substr(start, i - start);
        }
        start = i + 1;
    }
    return parts;
}

int MonthNumber(std::string_view name) {
    static constexpr std::string_view kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                                   "jul", "aug", "sep", "oct", "nov", "dec"};
    for (int i = 0; i < 12; ++i) {
        if (name.size() >= 3 && SameText(name.substr(0, 3), kMonths[i])) {
            return i + 1;
        }
    }
    return 0;
}

std::optional<unsigned> Number(std::string_view text, unsigned maximum) {
    const std::optional<std::uint64_t> value = ParseInteger<std::uint64_t>(text);
    if (!value || *value > maximum) {
        return std::nullopt;
    }
    return static_cast<unsigned>(*value);
}

// Seconds of "hh:mm:ss".
std::optional<long> TimeOfDay(std::string_view text) {
    const std::size_t first = text.find(':');
    const std::size_t second = text.find(':', first == std::string_view::npos ? 0 : first + 1);
    if (first == std::string_view::npos || second == std::string_view::npos) {
        return std::nullopt;
    }
    const auto hours = Number(text.substr(0, first), 23);
    const auto minutes = Number(text.substr(first + 1, second - first - 1), 59);
    const auto seconds = Number(text.substr(second + 1), 60);
    if (!hours || !minutes || !seconds) {
        return std::nullopt;
    }
    return static_cast<long>(*hours * 3600 + *minutes * 60 + *seconds);
}

// Seconds east of UTC of "+hhmm" or "-hhmm"; a zone name is UTC.
std::optional<long> ZoneOffset(std::string_view text) {
    if (text.size() == 5 && (text[0] == '+' || text[0] == '-')) {
        const auto hours = Number(text.substr(1, 2), 99);
        const auto minutes = Number(text.substr(3, 2), 59);
        if (!hours || !minutes) {
            return std::nullopt;
        }
        const long offset = static_cast<long>(*hours * 3600 + *minutes * 60);
        return text[0] == '-' ? -offset : offset;
    }
    for (const char c : text) {
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) {
            return std::nullopt;
        }
    }
    return 0;
}

}  // namespace

std::optional<TDateTime> ParseInternetDate(std::string_view text) {
    const std::optional<DateParts> parts = Tokens(text);
    if (!parts) {
        return std::nullopt;
    }
    const std::span<const std::string_view> tokens(parts->Part.data(), parts->Count);
    std::size_t at = 0;
    if (at < tokens.size() && (tokens[at][0] < '0' || tokens[at][0] > '9')) {
        ++at;  // the weekday
    }
    if (tokens.size() < at + 3) {
        return std::nullopt;
    }
    const auto day = Number(tokens[at], 31);
    const int month = MonthNumber(tokens[at + 1]);
    auto year = Number(tokens[at + 2], 9999);
    if (!day || *day == 0 || month == 0 || !year) {
        return std::nullopt;
    }
    if (tokens[at + 2].size() <= 2) {
        *year += *year < 80 ? 2000 : 1900;
    }
    at += 3;
    long seconds = 0;
    if (at < tokens.size()) {
        const auto time = TimeOfDay(tokens[at]);
        if (!time) {
            return std::nullopt;
        }
        seconds = *time;
        ++at;
    }
    if (at < tokens.size()) {
        const auto offset = ZoneOffset(tokens[at]);
        if (!offset) {
            return std::nullopt;
        }
        seconds -= *offset;
        ++at;
    }
    if (at != tokens.size()) {
        return std::nullopt;
    }
    const long days = DaysFromCivil(*year, static_cast<unsigned>(month), *day) + kUnixEpochDay;
    return static_cast<double>(days) + static_cast<double>(seconds) / kSecondsPerDay;
}

TDateTime UtcToLocal(TDateTime utc) {
    const auto instant = static_cast<std::time_t>(DateTimeToUnix(utc));
    std::tm local{};
    if (!LocalCalendarTime(instant, local)) {
        throw EFailedToRetrieveTimeZoneInfo();
    }
    const long days = DaysFromCivil(local.tm_year + 1900L, static_cast<unsigned>(local.tm_mon + 1),
                                    static_cast<unsigned>(local.tm_mday)) +
                      kUnixEpochDay;
    const long seconds = local.tm_hour * 3600L + local.tm_min * 60L + local.tm_sec;
    return static_cast<double>(days) + static_cast<double>(seconds) / kSecondsPerDay;
}

std::int64_t DateTimeToUnix(TDateTime date) {
    return std::llround((date - kUnixEpochDay) * kSecondsPerDay);
}

bool CarriesAsInternetDate(std::int64_t seconds) {
    return seconds >= kFirstCarried && seconds < kEndCarried;
}

std::string UnixToInternetDate(std::int64_t seconds) {
    // Names of our own: the user's locale must not reach the wire.
    static constexpr std::string_view kDays[] = {"Thu", "Fri", "Sat", "Sun", "Mon", "Tue", "Wed"};
    static constexpr std::string_view kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    if (!CarriesAsInternetDate(seconds)) {
        return {};
    }
    // Floor division: an instant before 1970 still has its time of day.
    const std::int64_t days = (seconds - kFirstCarried) / 86400 + kFirstCarried / 86400;
    const std::int64_t time = seconds - days * 86400;
    const CivilDate date = CivilFromDays(days);
    // 1970-01-01 was a Thursday.
    const std::string_view weekday = kDays[((days % 7) + 7) % 7];
    std::string text;
    text.reserve(29);
    const auto two = [&text](std::int64_t value) {
        text += static_cast<char>('0' + value / 10);
        text += static_cast<char>('0' + value % 10);
    };
    text.append(weekday).append(", ");
    two(date.Day);
    text.append(" ").append(kMonths[date.Month - 1]).append(" ");
    two(date.Year / 100);
    two(date.Year % 100);
    text += ' ';
    two(time / 3600);
    text += ':';
    two(time / 60 % 60);
    text += ':';
    two(time % 60);
    text += " GMT";
    return text;
}

}  // namespace tessellon
