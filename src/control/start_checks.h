#pragma once
// The checks of a download start, in their fixed order with their fixed
// messages, turning the main window's field texts into the parameters of a
// task, and the questions a start asks before it writes anything. The save
// folder is made absolute (see AbsolutePath) and created on the way (one
// level), and stays even when a later check fails.

#include <chrono>
#include <cstdint>
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
    // A project file of that name in that folder describes another task:
    // starting would replace it.
    bool ReplacesOtherTask = false;
};

StartCheckResult CheckStartInput(const TaskFields& fields, const Configuration& config);

// The task name with ".tsln" appended unless its extension is exactly that.
std::string CompleteTaskName(const std::string& typed);

// Asked before a start replaces the project of another task.
std::string ReplaceTaskQuestion(const std::string& taskName);

// Tasks of more tiles than this ask before they start.
inline constexpr std::int64_t kHugeTaskTiles = 100000;

// The question for a task of `tiles` tiles fetched by `workers` workers that
// each pause `pauseAfterTile` after a tile; nothing when the task is not
// huge. The time counts the pauses alone, the size 15 KiB a tile.
std::optional<std::string> HugeTaskQuestion(std::int64_t tiles, std::int32_t workers,
                                            std::chrono::milliseconds pauseAfterTile);

}  // namespace tessellon
