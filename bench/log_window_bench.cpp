// Sends 10,000,000 log lines through the real main window on the offscreen
// platform and through the core's log with a save every kLinesPerSave lines,
// as a fast source's download does. Reports the time, the cost of a line
// that comes alone (one pass of the event loop, repaint included) on an empty
// log and on a full one, the mean save time around the first million and the
// last of the ten million lines, and the peak memory.
// Usage: bench_log_window SCRATCH_FOLDER

#include <sys/resource.h>

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <string>

#include "control/task_log.h"
#include "desktop.h"
#include "main_window.h"
#include "platform/files.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kLines = 10'000'000;
// Lines that arrive between two passes of the event loop.
constexpr int kLinesPerPass = 64;
constexpr int kProbeLines = 1'000;
// A fast source gives some thousands of lines between two timer saves.
constexpr int kLinesPerSave = 10'000;
// The saves averaged before each reported mark.
constexpr int kSavesMeasured = 20;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

std::string Line(int n) {
    char text[64];
    std::snprintf(text, sizeof text, "T%d:seq=%d,yn_%d_%d_13.png OK", n % 8 + 1, n, 6600 + n % 97,
                  3100 + n % 89);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_log_window SCRATCH_FOLDER\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    tessellon::QtDesktop desktop;
    tessellon::DownloadSettings settings;
    settings.ConfigFileName = std::string(argv[1]) + "/config.ini";
    settings.ProgramFolder = std::string(argv[1]) + "/";
    tessellon::TForm1 window(desktop, settings);
    window.show();
    QApplication::processEvents();

    const std::string logFile = std::string(argv[1]) + "/bench_log.txt";
    const std::vector<std::string> head = {"Project: bench.tsln", "", "Start downloading..."};
    tessellon::WriteLinesAtomic(logFile, head);
    tessellon::TaskLog log;
    window.LogReplaced(log.Open(logFile, head));

    double saveSeconds = 0;
    int saves = 0;
    const auto add = [&](int n) {
        const std::string line = Line(n);
        log.Add(line);
        window.LogLineAdded(line);
        if ((n + 1) % kLinesPerSave == 0) {
            const auto start = Clock::now();
            log.Save();
            saveSeconds += Seconds(Clock::now() - start);
            ++saves;
        }
    };
    // The mean save time of the saves since the last call.
    const auto meanSave = [&] {
        const double mean = saves > 0 ? saveSeconds / saves * 1e3 : 0;
        saveSeconds = 0;
        saves = 0;
        return mean;
    };

    // One line per pass, as the workers' calls come at their own pace.
    const auto lineAlone = [&](int first) {
        const auto start = Clock::now();
        for (int n = first; n < first + kProbeLines; ++n) {
            add(n);
            QApplication::processEvents();
        }
        return Seconds(Clock::now() - start) / kProbeLines * 1e6;
    };
    const double firstMicros = lineAlone(0);

    const int measureFrom = kLinesPerSave * kSavesMeasured;
    double saveAtMillionMs = 0;
    const auto start = Clock::now();
    for (int n = kProbeLines; n < kLines; ++n) {
        if (n == 1'000'000 - measureFrom || n == kLines - measureFrom) {
            meanSave();
        }
        add(n);
        if (n % kLinesPerPass == 0) {
            QApplication::processEvents();
        }
        if (n == 1'000'000 - 1) {
            saveAtMillionMs = meanSave();
        }
    }
    QApplication::processEvents();
    const double total = Seconds(Clock::now() - start);
    const double saveAtEndMs = meanSave();
    const double lastMicros = lineAlone(kLines);
    log.Save();

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf(
        "lines=%d seconds=%.1f line_alone_on_empty_log_us=%.0f line_alone_on_full_log_us=%.0f "
        "save_ms_at_1M=%.3f save_ms_at_10M=%.3f log_file_mib=%.0f peak_rss_mib=%.0f\n",
        kLines + kProbeLines, total, firstMicros, lastMicros, saveAtMillionMs, saveAtEndMs,
        static_cast<double>(tessellon::MarkOfFile(logFile).Size) / (1024.0 * 1024.0),
        static_cast<double>(usage.ru_maxrss) / 1024.0);
    return 0;
}
