#include "cli_front_end.h"

#include <algorithm>

#include "platform/terminal.h"

namespace tessellon::cli {

ConsoleFrontEnd::ConsoleFrontEnd(StartAnswers answers, bool quiet)
    : answers_(answers),
      quiet_(quiet),
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
    const bool replace = question == StartQuestion::ReplaceOtherTask;
    if (replace ? answers_.ReplaceOtherTask : answers_.HugeTask) {
        return true;
    }
    if (!terminal_ || !StandardInputIsTerminal()) {
        ShowMessage(text + (replace ? " Run again with --replace to replace it."
                                    : " Run again with --yes to start it."));
        return false;
    }
    ClearProgress();
    std::fflush(stdout);
    std::fprintf(stderr, "%s [y/N] ", text.c_str());
    std::fflush(stderr);
    char answer[64];
    if (std::fgets(answer, sizeof answer, stdin) == nullptr) {
        std::fputc('\n', stderr);
        return false;
    }
    const char* first = answer;
    while (*first == ' ' || *first == '\t') {
        ++first;
    }
    return *first == 'y' || *first == 'Y';
}

void ConsoleFrontEnd::LogReplaced(const std::vector<std::string>& lines) {
    LogOpened(lines, lines.size());
}

void ConsoleFrontEnd::LogOpened(const std::vector<std::string>& lines, std::size_t added) {
    for (std::size_t i = lines.size() - std::min(added, lines.size()); i < lines.size(); ++i) {
        LogLineAdded(lines[i]);
    }
}

void ConsoleFrontEnd::LogLineAdded(const std::string& line) {
    if (quiet_) {
        return;
    }
    ClearProgress();
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    if (terminal_) {
        std::fflush(stdout);
    }
}

void ConsoleFrontEnd::ShowProgress(const DownloadProgress& progress) {
    if (!terminal_ || quiet_) {
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
