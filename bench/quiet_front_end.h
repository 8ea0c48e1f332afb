#pragma once
// A download front end for the benchmarks: it shows nothing and says yes to
// every question, so a run goes straight through.

#include <string>
#include <vector>

#include "control/download_control.h"

namespace tessellon::bench {

class QuietFrontEnd : public DownloadFrontEnd {
public:
    void ShowMessage(const std::string&) override {}
    bool Confirm(StartQuestion, const std::string&) override { return true; }
    void LogReplaced(const std::vector<std::string>&) override {}
    void LogLineAdded(const std::string&) override {}
    void FailedReplaced(const std::vector<std::string>&) override {}
    void FailedLineAdded(const std::string&) override {}
    void StateChanged() override {}
};

}  // namespace tessellon::bench
