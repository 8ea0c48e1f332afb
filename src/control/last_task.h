#pragma once
// The task the main window showed last, kept in the configuration's
// [LastTask] section when a download starts and when the window closes, and
// offered again at the next start of the program: its name, the layer or
// source, the area, the zooms and the save folder.

#include <optional>
#include <string>

#include "control/configuration.h"
#include "control/task_fields.h"

namespace tessellon {

inline constexpr const char* kLastTaskSection = "LastTask";

struct RememberedTask {
    // Source is never set here: a source is kept by its name, which the
    // window looks for in its list (the sources file may have changed).
    TaskFields Fields;
    std::string SourceName;
    // The area was the shape of Fields.AreaFile rather than the rectangle.
    bool Shape = false;
};

// Writes the fields to `config` in one rewrite. Raises EIniFileException
// when the file cannot be written.
void RememberTask(const Configuration& config, const TaskFields& fields, bool shape);

// What RememberTask wrote; none when the section is missing. A zoom outside
// kMinZoom..kMaxZoom gives the default, a highest zoom below the lowest (or
// unreadable) none, a maps-type choice that names no choice the satellite
// layer's: a hand-edited file never yields a window a start would refuse
// for a reason the user cannot see.
std::optional<RememberedTask> RecallTask(const Configuration& config);

}  // namespace tessellon
