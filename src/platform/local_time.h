#pragma once
// The user's local calendar: the one place that asks the system for the time
// zone, so the rest of the code converts instants with the C++ library alone.

#include <ctime>

namespace tessellon {

// `instant` as the local date and time of the user's time zone. False, with
// `local` unspecified, when the system cannot tell.
[[nodiscard]] bool LocalCalendarTime(std::time_t instant, std::tm& local);

}  // namespace tessellon
