#include "control/next_steps.h"

namespace tessellon {

const char* NextStepCaption(NextStep step) {
    switch (step) {
        case NextStep::OpenFolder:
            return "Open folder";
        case NextStep::View:
            return "View";
        case NextStep::Combine:
            return "Combine";
        case NextStep::Export:
            return "Export";
        case NextStep::RetryFailed:
            return kRetryFailedChoice;
    }
    return "";
}

std::string WindowClosingText(const RunEnding& ending) {
    return ending.Stopped ? ending.Text + "\n" + kStartContinuesLine : ending.Text;
}

}  // namespace tessellon
