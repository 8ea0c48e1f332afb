#pragma once
// The console side of a download: log lines to standard output as they reach
// the log, messages to standard error, and on a terminal a progress line.

#include <algorithm>
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
    // `quiet`: no log lines and no progress line, only the messages.
    explicit ConsoleFrontEnd(StartAnswers answers = {}, bool quiet = false);

    void ShowMessage(const std::string& text) override;
    // Yes when the command line answered the question so. Otherwise, on a
    // terminal, the question is asked there ("[y/N]"); elsewhere it goes to
    // standard error with the option that answers it, and the start ends.
    bool Confirm(StartQuestion question, const std::string& text) override;
    void LogReplaced(const std::vector<std::string>& lines) override;
    // Prints only the lines this start added: a continued task's earlier
    // log stays in its file.
    void LogOpened(const std::vector<std::string>& lines, std::size_t added) override;
    // Only what this start wrote is printed; a refresh's start reads no log.
    std::size_t LogLinesWanted(std::size_t added) const override {
        return std::min(added, kLogWindowLines);
    }
    void LogLineAdded(const std::string& line) override;
    void FailedReplaced(const std::vector<std::string>&) override {}
    void FailedLineAdded(const std::string&) override {}
    void StateChanged() override {}

    void AddLine(const std::string& line) override { LogLineAdded(line); }

    // Redraws the progress line, at most a few times a second.
    void ShowProgress(const DownloadProgress& progress);
    // Takes the progress line away, so that what follows starts a clean line.
    void ClearProgress();

private:
    StartAnswers answers_;
    bool quiet_;
    bool progressShown_ = false;
    bool terminal_;
    std::chrono::steady_clock::time_point started_;
    std::chrono::steady_clock::time_point lastDrawn_;
    std::int64_t doneAtStart_ = -1;
};

}  // namespace tessellon::cli
