#pragma once
// Runs a program as a child process and measures it: the wall time from its
// start to its end, and the CPU time and peak memory it used, as wait4
// reports them. The peers of the benchmarks (curl, ImageMagick) and our own
// programs run this way.

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace tessellon::bench {

struct ChildRun {
    double Seconds = 0;
    double CpuSeconds = 0;
    double PeakMiB = 0;
};

// `args` start with the program, found on PATH unless a path; raises when it
// cannot start or fails. With `discardOutput`, its standard output and error
// go to /dev/null, as a script that runs it quietly would have it.
inline ChildRun RunChild(std::vector<std::string> args, bool discardOutput = false) {
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (discardOutput) {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    }
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        throw std::runtime_error("cannot start " + args[0]);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    ChildRun run;
    run.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error(args[0] + " failed");
    }
    run.CpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.PeakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    return run;
}

// `args` follow "curl".
inline ChildRun RunCurl(std::vector<std::string> args) {
    args.insert(args.begin(), "curl");
    return RunChild(std::move(args));
}

}  // namespace tessellon::bench
