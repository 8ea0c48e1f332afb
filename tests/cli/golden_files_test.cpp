// Tasks of one rectangle at one zoom write exactly the files they always
// wrote: the project file, the tile list, the failed-tile list and the log of
// three tasks (the map layer, the satellite layer and a tile source) compared
// with files kept from an earlier version of the program. The folder, the
// server's address and the times are masked; the workers' log lines are
// compared as a set, since the workers race each other.

#include <algorithm>
#include <string_view>

#include "cli_fixture.h"

namespace tessellon {
namespace {

// `text` with each run that begins with `label`, and goes on with the
// characters `inRun` takes (one at least), replaced by `mask`.
void MaskRuns(std::string& text, std::string_view label, bool (*inRun)(char),
              std::string_view mask) {
    for (std::size_t at = text.find(label); at != std::string::npos; at = text.find(label, at)) {
        std::size_t end = at + label.size();
        while (end < text.size() && inRun(text[end])) {
            ++end;
        }
        if (end == at + label.size()) {
            at = end;
            continue;
        }
        text.replace(at, end - at, mask);
        at += mask.size();
    }
}

std::string Masked(std::string text, const std::string& folder) {
    for (std::size_t at = text.find(folder); at != std::string::npos; at = text.find(folder, at)) {
        text.replace(at, folder.size(), "@DIR@/");
    }
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    const auto inLine = [](char c) { return c != '\r' && c != '\n'; };
    MaskRuns(text, "127.0.0.1:", digit, "@HOST@");
    for (const std::string_view label : {"Now time is:", "Now time:"}) {
        MaskRuns(text, label, inLine, std::string(label) + "@TIME@");
    }
    return text;
}

// The log's head in order, then its other lines sorted.
std::pair<std::string, std::vector<std::string>> LogParts(const std::string& log) {
    const std::string end = "~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~\r\n";
    const std::size_t headEnd = log.find(end);
    EXPECT_NE(headEnd, std::string::npos);
    std::vector<std::string> rest = SplitTextLines(log.substr(headEnd + end.size()));
    std::sort(rest.begin(), rest.end());
    return {log.substr(0, headEnd), rest};
}

class GoldenFiles : public Cli {
protected:
    void ExpectFilesAsKept(const std::string& task, const std::string& errFile) {
        SCOPED_TRACE(task);
        const std::string folder = dir.File("maps") + "/";
        const std::string kept = TESSELLON_GOLDEN_DIR "/";
        for (const char* suffix : {".tsln", "_list.txt", "_failed.ftl"}) {
            EXPECT_EQ(Masked(ReadFileBytes(folder + task + suffix), folder),
                      ReadFileBytes(kept + task + suffix))
                << suffix;
        }
        EXPECT_EQ(LogParts(Masked(ReadFileBytes(folder + task + "_log.txt"), folder)),
                  LogParts(ReadFileBytes(kept + task + "_log.txt")));
        EXPECT_EQ(ReadFileBytes(dir.File(errFile)), ReadFileBytes(kept + task + ".err"));
    }
};

TEST_F(GoldenFiles, OneRectangleAtOneZoomWritesTheFilesItAlwaysWrote) {
    StartServer();
    const std::string host = "127.0.0.1:" + std::to_string(server->Port());
    WriteFileAtomic(dir.File("sources.ini"),
                    "[Topo]\nUrl=http://" + host + "/{z}/{x}/{y}.png\nWorkers=3\nPauseMs=0\n");
    const std::vector<std::string> common = {"--path", dir.File("maps"), "--config",
                                             dir.File("config.ini")};
    const auto run = [&](std::vector<std::string> args, const std::string& errFile) {
        args.insert(args.end(), common.begin(), common.end());
        const Outcome outcome = Execute(args);
        EXPECT_EQ(outcome.status, 0) << outcome.err;
        WriteFileAtomic(dir.File(errFile), outcome.err);
    };
    run({"download", "--name", "beijing.tsln", "--type", "map", "--left", "116.3", "--right",
         "116.5", "--top", "40", "--bottom", "39.8", "--zoom", "13"},
        "beijing.err");
    run({"download", "--name", "sat", "--type", "satellite", "--left", "-0.2", "--right", "0.1",
         "--top", "51.6", "--bottom", "51.4", "--zoom", "12"},
        "sat.err");
    run({"download", "--name", "topo", "--source", "Topo", "--sources", dir.File("sources.ini"),
         "--left", "170", "--right", "179.5", "--top", "10", "--bottom", "-5", "--zoom", "7"},
        "topo.err");
    ExpectFilesAsKept("beijing", "beijing.err");
    ExpectFilesAsKept("sat", "sat.err");
    ExpectFilesAsKept("topo", "topo.err");
}

}  // namespace
}  // namespace tessellon
