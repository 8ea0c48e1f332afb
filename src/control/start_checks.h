#pragma once
// The checks of a download start, in their fixed order with their fixed
// messages, turning the main window's field texts into the parameters of a
// task, and the questions a start asks before it writes anything. The save
// folder is made absolute (see AbsolutePath) and created on the way: by the
// window one level, which stays even when a later check fails; by the command
// line with every missing parent, taken back when the start is refused.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "control/configuration.h"
#include "control/task_fields.h"
#include "download/pacing.h"
#include "geo/coordinate_text.h"
#include "task/task_parameters.h"

namespace tessellon {

// How a start makes a save folder that does not exist.
enum class SaveFolderMaking {
    // The last level only; "Create directory X Failed." when that fails.
    OneLevel,
    // Every missing level, the message adding the system's reason; the
    // folders made are listed so a refused start can take them back.
    WholePath,
};

// Removes, when it ends, the folders of `folders` that are still empty, the
// deepest first: a refused start leaves no empty folder behind. Keep() once
// the start has gone through.
class FolderTakeBack {
public:
    explicit FolderTakeBack(std::vector<std::string> folders = {}) : folders_(std::move(folders)) {}
    ~FolderTakeBack();
    FolderTakeBack(const FolderTakeBack&) = delete;
    FolderTakeBack& operator=(const FolderTakeBack&) = delete;
    void Keep() { folders_.clear(); }

private:
    std::vector<std::string> folders_;
};

struct StartCheckResult {
    // Set when the start is refused: the message to show.
    std::optional<std::string> Message;
    // Otherwise the filled parameters, ContinueTask included.
    std::unique_ptr<TaskParameters> Params;
    // A project file of that name in that folder describes another task:
    // starting would replace it.
    bool ReplacesOtherTask = false;
    // With SaveFolderMaking::WholePath, the folders this check made, the
    // outermost first (a refused check has taken them back already).
    std::vector<std::string> MadeFolders{};
};

StartCheckResult CheckStartInput(const TaskFields& fields, const Configuration& config,
                                 SaveFolderMaking making = SaveFolderMaking::OneLevel);

// The zoom fields into `params` (Zoom, ZoomTo); the message when a zoom is
// out of range, the highest below the lowest, or outside the source's zooms.
std::optional<std::string> ReadZooms(const TaskFields& fields, TaskParameters& params);

// The area of the fields into `params`: the shape of the area file, its
// bounding rectangle as the bounds, or else the four coordinate fields; the
// message when the file, the buffer or a bound is refused.
std::optional<std::string> ReadArea(const TaskFields& fields, TaskParameters& params);

// A typed coordinate, in any form ParseCoordinate reads. Any other text
// gives NaN, which fails every range check, so the field's own range message
// refuses it rather than taking a part of it or 0.
double ReadCoordinate(const std::string& text, CoordinateAxis axis);

// The message for the first bound out of its range, or for left east of
// right or top south of bottom; nothing when the bounds make an area.
std::optional<std::string> CheckBounds(const TaskParameters& p);

// The task name with ".tsln" appended unless its extension is exactly that.
std::string CompleteTaskName(const std::string& typed);

// Asked before a start replaces the project of another task.
std::string ReplaceTaskQuestion(const std::string& taskName);

// Tasks of more tiles than this ask before they start.
inline constexpr std::int64_t kHugeTaskTiles = 100000;

// What a task costs: the time its pauses alone take and its size on disk,
// 15 KiB a tile.
struct TaskEstimate {
    std::int64_t Tiles = 0;
    std::chrono::seconds Duration{0};
    std::int64_t Kibibytes = 0;
};

// A task of `tiles` tiles fetched by `workers` workers that each pause
// `pauseAfterTile` after a tile.
TaskEstimate EstimateTask(std::int64_t tiles, std::int32_t workers,
                          std::chrono::milliseconds pauseAfterTile);

// The workers of a task of `source`, or of a built-in layer when none.
std::int32_t WorkersOf(const std::optional<TileSource>& source);
// The pause after a tile of such a task at `pace`: a source's own pause,
// scaled like every other pause, so a shrunk test pace shrinks it too.
std::chrono::milliseconds PauseAfterTile(const std::optional<TileSource>& source,
                                         const Pacing& pace = {});
// Every pause of such a task at `pace`: the pause after a tile as above, and
// the workers of a source without a pause start together, with no offsets
// between them (nothing would keep them apart after the first tile anyway).
// The built-in layers and the sources with a pause keep `pace` otherwise.
Pacing TaskPacing(const std::optional<TileSource>& source, const Pacing& pace);

// "25 seconds" below half a minute; then minutes, hours and minutes, or days
// and hours.
std::string DurationText(std::chrono::seconds duration);
// "630 KiB" below a MiB; then MiB, GiB or TiB with one decimal.
std::string SizeText(std::int64_t kibibytes);

// The question before a task of more than kHugeTaskTiles tiles; nothing for a
// smaller one.
std::optional<std::string> HugeTaskQuestion(const TaskEstimate& estimate);

}  // namespace tessellon
