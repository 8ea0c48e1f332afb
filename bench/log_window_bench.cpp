// Appends 1,000,000 log lines to the real main window on the offscreen
// platform and reports the time, the cost of a line that comes alone (one
// pass of the event loop, repaint included) on an empty log and on a log of
// a million lines, and the peak memory.
// Usage: bench_log_window SCRATCH_FOLDER

#include <sys/resource.h>

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <string>

#include "desktop.h"
#include "main_window.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kLines = 1'000'000;
// Lines that arrive between two passes of the event loop.
constexpr int kLinesPerPass = 64;
constexpr int kProbeLines = 1'000;

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

    // One line per pass, as the workers' calls come at their own pace.
    const auto lineAlone = [&window](int first) {
        const auto start = Clock::now();
        for (int n = first; n < first + kProbeLines; ++n) {
            window.LogLineAdded(Line(n));
            QApplication::processEvents();
        }
        return Seconds(Clock::now() - start) / kProbeLines * 1e6;
    };
    const double firstMicros = lineAlone(0);

    const auto start = Clock::now();
    for (int n = kProbeLines; n < kLines; ++n) {
        window.LogLineAdded(Line(n));
        if (n % kLinesPerPass == 0) {
            QApplication::processEvents();
        }
    }
    QApplication::processEvents();
    const double total = Seconds(Clock::now() - start);
    const double lastMicros = lineAlone(kLines);

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf(
        "lines=%d seconds=%.1f line_alone_on_empty_log_us=%.0f line_alone_on_full_log_us=%.0f "
        "peak_rss_mib=%.0f\n",
        kLines + kProbeLines, total, firstMicros, lastMicros,
        static_cast<double>(usage.ru_maxrss) / 1024.0);
    return 0;
}
