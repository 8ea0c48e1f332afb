#pragma once
// Number and date texts as the task files and the log write them.

#include <cstdint>
#include <string>

namespace tessellon {

// The general format: up to 15 significant digits, trailing zeros and a
// trailing decimal point dropped; fixed notation for 0 and for magnitudes
// from 0.00001 with at most 15 digits before the point, otherwise scientific
// with "E" and an exponent without leading zeros (1E-6, -2.5E20). The decimal
// separator is the user's (LC_NUMERIC), "." by default.
std::string FormatGeneral(double value);
// Same, with an explicit decimal separator.
std::string FormatGeneral(double value, char decimalSeparator);

// "%20.14f": 14 digits after a ".", right-aligned in 20 characters.
std::string FormatFixed20_14(double value);
void AppendFixed20_14(std::string& text, double value);

// The current local date and time: the user's short date (LC_TIME %x), one
// blank, and the time (%X).
std::string LocalDateTimeText();

// The user's decimal separator from LC_NUMERIC, read without changing the
// process locale (so strtod keeps reading ".").
char UserDecimalSeparator();

// A count with its thousands grouped by commas: "1,584".
std::string GroupedNumber(std::int64_t value);

}  // namespace tessellon
