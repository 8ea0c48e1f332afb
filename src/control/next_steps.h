#pragma once
// What the main window offers once a download has ended: the closing box's
// buttons and the row under the log (open the task's folder, view it,
// combine it, export it, fetch its failed tiles again), what the box adds
// when the user stopped the run, and the question asked when the window is
// closed while a download runs.

#include <optional>
#include <string>
#include <vector>

namespace tessellon {

enum class NextStep { OpenFolder, View, Combine, Export, RetryFailed };

// The button's caption: "Open folder", "View", "Combine", "Export" or
// kRetryFailedChoice.
const char* NextStepCaption(NextStep step);

// The end of a run as the closing box tells it.
struct RunEnding {
    // The box's text: "Task stoped!" and the ending line.
    std::string Text;
    // In the order the buttons stand.
    std::vector<NextStep> Steps;
    // The user stopped the run, which Start continues.
    bool Stopped = false;
};

inline constexpr const char* kRetryFailedChoice = "Retry failed tiles";
inline constexpr const char* kStartContinuesLine = "Start continues the task where it stopped.";

// The closing box's text in the window, whose Start button continues a
// stopped task.
std::string WindowClosingText(const RunEnding& ending);

// Closing the window while a download runs.
inline constexpr const char* kCloseWhileRunningQuestion =
    "A download is running. Stop it and close the window? What was downloaded is kept, and "
    "Start continues the task later.";
inline constexpr const char* kStopAndCloseChoice = "Stop and close";
inline constexpr const char* kKeepDownloadingChoice = "Keep downloading";

}  // namespace tessellon
