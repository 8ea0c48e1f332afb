#include "download_harness.h"

#include <algorithm>
#include <stdexcept>

#include "platform/files.h"
#include "platform/ini_file.h"
#include "sample_fields.h"

namespace tessellon::test {

using namespace std::chrono_literals;

tileserver::TileServerOptions ServerOptions() {
    tileserver::TileServerOptions options;
    options.port = 0;
    return options;
}

tileserver::TileServerOptions WithFault(const std::string& name) {
    tileserver::TileServerOptions options = ServerOptions();
    tileserver::FaultChoice fault;
    std::string error;
    if (!tileserver::ParseFault(name, fault, error)) {
        throw std::invalid_argument(error);
    }
    options.fault = fault;
    return options;
}

tileserver::TileServerOptions FailingFirst(int requests) {
    tileserver::TileServerOptions options = ServerOptions();
    tileserver::FaultChoice fault;
    std::string error;
    if (!tileserver::ParseFault("status-500", fault, error)) {
        throw std::invalid_argument(error);
    }
    options.faultSequence.assign(static_cast<std::size_t>(requests), fault);
    return options;
}

std::string SampleTileImage(int x, int y) {
    return tileserver::EncodeSyntheticTile({tileserver::TileLayer::Map, x, y, 13});
}

tileserver::TileServerOptions ServingSampleTiles(const TempDir& root,
                                                 const std::set<std::pair<int, int>>& missing) {
    for (int x = 6742; x <= 6747; ++x) {
        for (int y = 3101; y <= 3107; ++y) {
            if (missing.count({x, y}) == 0) {
                WriteFileAtomic(
                    root.File("tl_" + std::to_string(x) + "_" + std::to_string(y) + "_13.png"),
                    SampleTileImage(x, y));
            }
        }
    }
    tileserver::TileServerOptions options = ServerOptions();
    options.root = root.Path();
    return options;
}

DownloadHarness::DownloadHarness(tileserver::TileServerOptions options, Pacing pace)
    : server(std::move(options)), configFile(dir.File("config.ini")) {
    server.Start();
    UseHost("127.0.0.1:" + std::to_string(server.Port()));
    DownloadSettings settings;
    settings.ConfigFileName = configFile;
    settings.ProgramFolder = ProgramFolder();
    settings.Pace = pace;
    settings.TimeLimits.Connect = 2s;
    settings.TimeLimits.Idle = 2s;
    settings.TimeLimits.Request = 5s;
    control = std::make_unique<DownloadControl>(settings, frontEnd, sync);
    loop = std::make_unique<RunLoop>(*control, sync, kPaceScale);
}

void DownloadHarness::UseHost(const std::string& host) {
    IniFile config(configFile);
    config.WriteString("TileService", "MapHost", host);
    config.WriteString("TileService", "SatelliteHost", host);
}

TaskFields DownloadHarness::SampleFields() const {
    return SampleTaskFields(dir.Path() + "maps");
}

TaskFields DownloadHarness::OneTileFields() const {
    TaskFields fields = SampleFields();
    fields.RightLongitude = fields.LeftLongitude;
    fields.BottomLatitude = fields.TopLatitude;
    return fields;
}

TaskFields DownloadHarness::SourceFields(const SourceKeys& keys, const std::string& scheme) const {
    SourceKeys all = {
        {"Url", scheme + "://127.0.0.1:" + std::to_string(server.Port()) + "/{z}/{x}/{y}.png"}};
    all.insert(all.end(), keys.begin(), keys.end());
    TaskFields fields = SampleFields();
    fields.Source = TileSource::Read("Local", all, "1");
    return fields;
}

bool DownloadHarness::Download(const TaskFields& fields, std::chrono::milliseconds limit) {
    if (!control->Start(fields)) {
        return false;
    }
    return RunToEnd(limit);
}

bool DownloadHarness::RunToEnd(std::chrono::milliseconds limit) {
    return loop->RunUntil(std::chrono::steady_clock::now() + limit);
}

void DownloadHarness::RunFor(std::chrono::milliseconds duration) {
    loop->RunUntil(std::chrono::steady_clock::now() + duration);
}

int CountContaining(const std::vector<std::string>& lines, const std::string& part) {
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find(part) != std::string::npos;
    }));
}

}  // namespace tessellon::test
