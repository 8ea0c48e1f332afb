#include "cli_front_end.h"

#include "platform/terminal.h"

namespace tessellon::cli {

ConsoleFrontEnd::ConsoleFrontEnd(StartAnswers answers)
    : answers_(answers),
      terminal_(StandardErrorIsTerminal()),
      started_(std::chrono::steady_clock::now()) {}

void ConsoleFrontEnd::ClearProgress() {
    if (progressShown_) {
        std::fputs("\r\033[K", stderr);
        progressShown_ = false;
    }
}

void ConsoleFrontEnd::ShowMessage(const std::string& text) {
    ClearProgress();
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", text.c_str());
}

bool ConsoleFrontEnd::Confirm(StartQuestion question, const std::string& text) {
    const bool yes =
        question == StartQuestion::ReplaceOtherTask ? answers_.ReplaceOtherTask : answers_.HugeTask;
    if (!yes) {
        ShowMessage(text);
    }
    return yes;
}

void ConsoleFrontEnd::LogReplaced(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        LogLineAdded(line);
    }
}

void ConsoleFrontEnd::LogLineAdded(const std::string& line) {
    ClearProgress();
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    if (terminal_) {
        std::fflush(stdout);
    }
}

void ConsoleFrontEnd::ShowProgress(const DownloadProgress& progress) {
    if (!terminal_) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (doneAtStart_ < 0) {
        doneAtStart_ = progress.Done;
        started_ = now;
    }
    if (progressShown_ && now - lastDrawn_ < std::chrono::milliseconds(250)) {
        return;
    }
    lastDrawn_ = now;
    const double seconds = std::chrono::duration<double>(now - started_).count();
    const double rate =
        seconds > 0 ? static_cast<double>(progress.Done - doneAtStart_) / seconds : 0;
    std::string eta = "--:--:--";
    if (rate > 0) {
        const auto left =
            static_cast<long long>(static_cast<double>(progress.Total - progress.Done) / rate);
        char text[32];
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", left / 3600, left / 60 % 60,
                      left % 60);
        eta = text;
    }
    std::fprintf(stderr, "\r\033[K%lld/%lld tiles, %lld failed, %.1f tiles/s, ETA %s",
                 static_cast<long long>(progress.Done), static_cast<long long>(progress.Total),
                 static_cast<long long>(progress.Failed), rate, eta.c_str());
    std::fflush(stderr);
    progressShown_ = true;
}

}  // namespace tessellon::cli
