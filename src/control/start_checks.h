#pragma once
// The checks of a download start, in their fixed order with their fixed
// messages, turning the main window's field texts into the parameters of a
// task. The save folder is made absolute (see AbsolutePath) and created on the
// way (one level), and stays even when a later check fails.

#include <memory>
#include <optional>
#include <string>

#include "control/configuration.h"
#include "control/task_fields.h"
#include "task/task_parameters.h"

namespace tessellon {

struct StartCheckResult {
    // Set when the start is refused: the message to show.
    std::optional<std::string> Message;
    // Otherwise the filled parameters, ContinueTask included.
    std::unique_ptr<TaskParameters> Params;
};

StartCheckResult CheckStartInput(const TaskFields& fields, const Configuration& config);

// The task name with ".tsln" appended unless its extension is exactly that.
std::string CompleteTaskName(const std::string& typed);

}  // namespace tessellon
