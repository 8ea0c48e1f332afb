#pragma once
// tessellon-tileserver in a process of its own, so a benchmark measures only
// the downloading side. Started on a free port; stopped when the object goes.

#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace tessellon::bench {

class ServerProcess {
public:
    ServerProcess(const std::string& binFolder, std::vector<std::string> options) {
        std::vector<std::string> args = {binFolder + "/tessellon-tileserver", "--port", "0"};
        args.insert(args.end(), options.begin(), options.end());
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        int out[2];
        if (::pipe(out) != 0) {
            throw std::runtime_error("pipe");
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        if (spawned != 0) {
            ::close(out[0]);
            throw std::runtime_error("cannot start " + args[0]);
        }
        // The first line names the bound port.
        char first[64] = {};
        const ssize_t n = ::read(out[0], first, sizeof first - 1);
        ::close(out[0]);
        const std::string line(first, n > 0 ? static_cast<std::size_t>(n) : 0);
        const std::size_t digits = line.find_first_of("0123456789");
        port_ = digits == std::string::npos ? 0 : std::stoi(line.substr(digits));
    }

    ~ServerProcess() {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }

    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    int Port() const { return port_; }
    std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }

private:
    pid_t pid_ = -1;
    int port_ = 0;
};

// User and system time of this process so far, in seconds.
inline double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace tessellon::bench
