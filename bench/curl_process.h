#pragma once
// Runs the curl command-line tool, the peer of the download benchmarks, as
// a child process and measures it: the wall time from its start to its end
// and the CPU time it used, as wait4 reports it.

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace tessellon::bench {

struct CurlRun {
    double Seconds = 0;
    double CpuSeconds = 0;
};

// `args` follow "curl"; raises when curl cannot start or fails.
inline CurlRun RunCurl(std::vector<std::string> args) {
    args.insert(args.begin(), "curl");
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    if (posix_spawnp(&pid, "curl", nullptr, nullptr, argv.data(), environ) != 0) {
        throw std::runtime_error("cannot start curl");
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    CurlRun run;
    run.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error("curl failed");
    }
    run.CpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return run;
}

}  // namespace tessellon::bench
