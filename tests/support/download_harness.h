#pragma once
// A download against a tile server running in this process: a temporary
// folder, a configuration that points at the server, a control with short
// pauses, a front end that records everything, and the command line's loop,
// which drives the timer and serves the workers' calls.

#include <chrono>
#include <deque>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "control/download_control.h"
#include "control/run_loop.h"
#include "platform/queue_synchronizer.h"
#include "temp_dir.h"
#include "tile_server.h"

namespace tessellon::test {

class RecordingFrontEnd : public DownloadFrontEnd {
public:
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void LogReplaced(const std::vector<std::string>& lines) override { log = lines; }
    void LogLineAdded(const std::string& line) override { log.push_back(line); }
    void FailedReplaced(const std::vector<std::string>& lines) override { failed = lines; }
    void FailedLineAdded(const std::string& line) override { failed.push_back(line); }
    void StateChanged() override { ++stateChanges; }
    // The closing box's offer is a message too, answered from retryAnswers.
    bool OfferRetryFailed(const std::string& text) override {
        messages.push_back(text);
        offers.push_back(text);
        const bool yes = !retryAnswers.empty() && retryAnswers.front();
        if (!retryAnswers.empty()) {
            retryAnswers.pop_front();
        }
        return yes;
    }
    // Every closing box, with its steps; answered as the base class does.
    std::optional<NextStep> OfferNextSteps(const RunEnding& ending) override {
        endings.push_back(ending);
        return DownloadFrontEnd::OfferNextSteps(ending);
    }
    bool Confirm(StartQuestion, const std::string& text) override {
        questions.push_back(text);
        const bool yes = !confirmAnswers.empty() && confirmAnswers.front();
        if (!confirmAnswers.empty()) {
            confirmAnswers.pop_front();
        }
        return yes;
    }

    std::vector<std::string> messages;
    std::vector<std::string> questions;
    // Answers for the next questions, in order; none left means No.
    std::deque<bool> confirmAnswers;
    std::vector<std::string> log;
    std::vector<std::string> failed;
    int stateChanges = 0;
    std::vector<std::string> offers;
    // Answers for the next offers to retry failed tiles; none left means OK.
    std::deque<bool> retryAnswers;
    std::vector<RunEnding> endings;
};

// The pace scale of tests: pauses short enough for tests in the program's
// ratios, and the timer's tick.
inline constexpr std::chrono::milliseconds kPaceScale{5};

// A server with these options (port 0), the program folder of this test.
tileserver::TileServerOptions ServerOptions();
// A server whose first `requests` requests get "500 Internal Server Error":
// three of them fail a tile, which then stays blank and listed.
tileserver::TileServerOptions FailingFirst(int requests);
// The synthetic map tile of the sample area's tile (x, y) at zoom 13.
std::string SampleTileImage(int x, int y);
// A server of the sample area's 42 tiles as files in `root`
// ("tl_X_Y_13.png"), but for the tiles `missing`, which it answers 404.
tileserver::TileServerOptions ServingSampleTiles(const TempDir& root,
                                                 const std::set<std::pair<int, int>>& missing = {});
// The same with the fault of that name (std::invalid_argument when none has it).
tileserver::TileServerOptions WithFault(const std::string& name);

class DownloadHarness {
public:
    explicit DownloadHarness(tileserver::TileServerOptions options = ServerOptions(),
                             Pacing pace = Pacing(kPaceScale));

    // The sample area (116.3..116.5 east, 39.8..40.0 north, zoom 13, map
    // layer, 42 tiles) saved into this harness's folder.
    TaskFields SampleFields() const;
    // A one-tile task.
    TaskFields OneTileFields() const;
    // The sample area from the source "Local" at this harness's server's
    // template path /{z}/{x}/{y}.png over `scheme`, with these keys beside
    // its Url.
    TaskFields SourceFields(const SourceKeys& keys, const std::string& scheme = "http") const;
    // Points the map and satellite hosts at another address.
    void UseHost(const std::string& host);

    // Presses Start and drives timer and calls until the download has
    // finished. False when it has not within `limit`.
    bool Download(const TaskFields& fields,
                  std::chrono::milliseconds limit = std::chrono::seconds(30));
    // Drives timer and calls until the download has finished.
    bool RunToEnd(std::chrono::milliseconds limit = std::chrono::seconds(30));
    // Drives them for a while, or until the download has finished.
    void RunFor(std::chrono::milliseconds duration);

    TempDir dir;
    tileserver::TileServer server;
    std::string configFile;
    QueueSynchronizer sync;
    RecordingFrontEnd frontEnd;
    std::unique_ptr<DownloadControl> control;
    // The loop tessellon-cli runs, ticking at kPaceScale.
    std::unique_ptr<RunLoop> loop;
};

// How many lines of `lines` contain `part`.
int CountContaining(const std::vector<std::string>& lines, const std::string& part);

}  // namespace tessellon::test
