// tessellon-tileserver: a local tile service for tests, demos and benchmarks.

#include <csignal>
#include <cstdio>
#include <exception>
#include <string_view>
#include <vector>

#include "command_line.h"

int main(int argc, char** argv) {
    using namespace tessellon::tileserver;
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const CommandLine command = ParseCommandLine(args);
    if (!command.error.empty()) {
        std::fprintf(stderr, "tessellon-tileserver: %s\nTry \"tessellon-tileserver --help\".\n",
                     command.error.c_str());
        return 2;
    }
    if (command.help) {
        std::fputs(HelpText().c_str(), stdout);
        return 0;
    }
    // Blocked before any thread starts, so only sigwait below receives them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    try {
        TileServer server(command.options);
        server.Start();
        std::printf("%d\ntessellon-tileserver: serving on %s://%s:%d/ (Ctrl-C stops)\n",
                    server.Port(), server.ServesHttps() ? "https" : "http",
                    command.options.bindAddress.c_str(), server.Port());
        std::fflush(stdout);
        int signal = 0;
        sigwait(&stopSignals, &signal);
        server.Stop();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tessellon-tileserver: %s\n", e.what());
        return 1;
    }
    return 0;
}
