#pragma once
// The console side of a download: log lines to standard output as they reach
// the log, messages to standard error, and on a terminal a progress line.

#include <chrono>
#include <cstdio>

#include "control/download_control.h"
#include "download/redownload.h"

namespace tessellon::cli {

// The questions a start may ask, answered beforehand on the command line.
struct StartAnswers {
    bool ReplaceOtherTask = false;  // --replace
    bool HugeTask = false;          // --yes
};

class ConsoleFrontEnd : public DownloadFrontEnd, public RedownloadOutput {
public:
    explicit ConsoleFrontEnd(StartAnswers answers = {});

    void ShowMessage(const std::string& text) override;
    // Yes when the command line answered the question so; otherwise the
    // question goes to standard error and the start ends.
    bool Confirm(StartQuestion question, const std::string& text) override;
    void LogReplaced(const std::vector<std::string>& lines) override;
    void LogLineAdded(const std::string& line) override;
    void FailedReplaced(const std::vector<std::string>&) override {}
    void FailedLineAdded(const std::string&) override {}
    void StateChanged() override {}

    void AddLine(const std::string& line) override { LogLineAdded(line); }

    // Redraws the progress line, at most a few times a second.
    void ShowProgress(const DownloadProgress& progress);

private:
    void ClearProgress();

    StartAnswers answers_;
    bool progressShown_ = false;
    bool terminal_;
    std::chrono::steady_clock::time_point started_;
    std::chrono::steady_clock::time_point lastDrawn_;
    std::int64_t doneAtStart_ = -1;
};

}  // namespace tessellon::cli
