#include "platform/local_time.h"

namespace tessellon {

bool LocalCalendarTime(std::time_t instant, std::tm& local) {
    // The reentrant form: workers convert dates while the main thread does.
    return ::localtime_r(&instant, &local) != nullptr;
}

}  // namespace tessellon
