#include "platform/text_format.h"

#include <langinfo.h>
#include <locale.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/local_time.h"

namespace tessellon {

namespace {

constexpr int kSignificantDigits = 15;

// A locale object for one category as the environment chooses it, falling
// back to "C". The caller owns it.
locale_t UserLocale(int categoryMask) {
    locale_t locale = ::newlocale(categoryMask, "", static_cast<locale_t>(nullptr));
    if (locale == static_cast<locale_t>(nullptr)) {
        locale = ::newlocale(categoryMask, "C", static_cast<locale_t>(nullptr));
    }
    return locale;
}

}  // namespace

char UserDecimalSeparator() {
    static const char separator = [] {
        const locale_t locale = UserLocale(LC_NUMERIC_MASK);
        const char* radix = ::nl_langinfo_l(RADIXCHAR, locale);
        // A multi-byte separator cannot stand in single-byte text.
        const char result =
            (radix != nullptr && radix[0] != '\0' && radix[1] == '\0') ? radix[0] : '.';
        ::freelocale(locale);
        return result;
    }();
    return separator;
}

std::string FormatGeneral(double value) {
    return FormatGeneral(value, UserDecimalSeparator());
}

std::string FormatGeneral(double value, char decimalSeparator) {
    if (std::isnan(value)) {
        return "NAN";
    }
    if (std::isinf(value)) {
        return value > 0 ? "INF" : "-INF";
    }
    if (value == 0) {
        return "0";
    }
    // Rounded correctly to 15 significant digits: d.dddddddddddddde±XX. The
    // charconv functions ignore the process locale, which a GUI toolkit may
    // have set to the user's.
    char scientific[32];
    const auto end = std::to_chars(scientific, scientific + sizeof scientific - 1, value,
                                   std::chars_format::scientific, kSignificantDigits - 1)
                         .ptr;
    *end = '\0';
    const char* p = scientific;
    std::string result;
    if (*p == '-') {
        result += '-';
        ++p;
    }
    std::string digits;
    for (; *p != 'e'; ++p) {
        if (*p != '.') {
            digits += *p;
        }
    }
    const int exponent = std::atoi(p + 1);
    while (digits.size() > 1 && digits.back() == '0') {
        digits.pop_back();
    }

    if (exponent >= -5 && exponent < kSignificantDigits) {
        if (exponent < 0) {
            result += '0';
            result += decimalSeparator;
            result.append(static_cast<std::size_t>(-exponent - 1), '0');
            result += digits;
        } else {
            const auto integerDigits = static_cast<std::size_t>(exponent + 1);
            if (digits.size() <= integerDigits) {
                result += digits;
                result.append(integerDigits - digits.size(), '0');
            } else {
                result += digits.substr(0, integerDigits);
                result += decimalSeparator;
                result += digits.substr(integerDigits);
            }
        }
        return result;
    }
    result += digits[0];
    if (digits.size() > 1) {
        result += decimalSeparator;
        result += digits.substr(1);
    }
    result += 'E';
    result += std::to_string(exponent);
    return result;
}

std::string FormatFixed20_14(double value) {
    std::string text;
    AppendFixed20_14(text, value);
    return text;
}

void AppendFixed20_14(std::string& text, double value) {
    constexpr std::size_t kWidth = 20;
    char digits[352];  // the widest double in fixed notation with 14 decimals fits
    const std::size_t n = static_cast<std::size_t>(
        std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, 14).ptr -
        digits);
    if (n < kWidth) {
        text.append(kWidth - n, ' ');
    }
    text.append(digits, n);
}

std::string LocalDateTimeText() {
    // Kept for the life of the process: the environment's choice does not
    // change while we run.
    static const locale_t locale = UserLocale(LC_TIME_MASK);
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    // A clock the calendar cannot hold leaves the zero date.
    (void)LocalCalendarTime(now, local);
    char text[128];
    const std::size_t n = ::strftime_l(text, sizeof text, "%x %X", &local, locale);
    return std::string(text, n);
}

std::string GroupedNumber(std::int64_t value) {
    const std::string digits = std::to_string(value < 0 ? -value : value);
    std::string text = value < 0 ? "-" : "";
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            text += ',';
        }
        text += digits[i];
    }
    return text;
}

}  // namespace tessellon
