#pragma once
// tessellon-cli as a user runs it: a child process against a tile server in
// the test's process, with its exit status, standard output and standard
// error.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "download_harness.h"
#include "platform/files.h"
#include "platform/ini_file.h"
#include "platform/paths.h"
#include "temp_dir.h"

extern char** environ;

namespace tessellon {

// A terminal for the programs a test starts: the test types their input
// beforehand and reads what they showed once they have ended. The test
// holds the terminal's own side open too, so nothing shown is lost when the
// program ends.
class PseudoTerminal {
public:
    PseudoTerminal() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        EXPECT_GE(master_, 0);
        EXPECT_EQ(::grantpt(master_), 0);
        EXPECT_EQ(::unlockpt(master_), 0);
        path_ = ::ptsname(master_);
        side_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY);
        EXPECT_GE(side_, 0);
    }
    ~PseudoTerminal() {
        ::close(side_);
        ::close(master_);
    }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    const std::string& Path() const { return path_; }
    void Type(const std::string& text) const {
        EXPECT_EQ(::write(master_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    // What was shown since the last call.
    std::string Shown() const {
        std::string shown;
        char bytes[4096];
        for (;;) {
            pollfd ready{master_, POLLIN, 0};
            if (::poll(&ready, 1, 50) <= 0) {
                return shown;
            }
            const ssize_t got = ::read(master_, bytes, sizeof bytes);
            if (got <= 0) {
                return shown;
            }
            shown.append(bytes, static_cast<std::size_t>(got));
        }
    }

private:
    int master_ = -1;
    int side_ = -1;
    std::string path_;
};

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

class Cli : public ::testing::Test {
protected:
    // The settings file the runs name must exist; StartServer fills it.
    Cli() { WriteFileAtomic(dir.File("config.ini"), ""); }

    void StartServer(tileserver::TileServerOptions options = test::ServerOptions()) {
        server = std::make_unique<tileserver::TileServer>(std::move(options));
        server->Start();
        IniFile config(dir.File("config.ini"));
        const std::string host = "127.0.0.1:" + std::to_string(server->Port());
        config.WriteString("TileService", "MapHost", host);
        config.WriteString("TileService", "SatelliteHost", host);
    }

    // Starts the program; Wait() collects it.
    pid_t Spawn(const std::vector<std::string>& args, const std::string& paceMs = "2") {
        std::vector<std::string> argv = {ProgramFolder() + "tessellon-cli"};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> cargv;
        for (std::string& a : argv) {
            cargv.push_back(a.data());
        }
        cargv.push_back(nullptr);
        std::vector<std::string> env = {"TESSELLON_PACE_MS=" + paceMs, "HOME=" + dir.Path(),
                                        "PATH=/usr/bin:/bin"};
        env.insert(env.end(), environment.begin(), environment.end());
        std::vector<char*> cenv;
        for (std::string& e : env) {
            cenv.push_back(e.data());
        }
        cenv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (!workingFolder.empty()) {
            posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());
        }
        posix_spawn_file_actions_addopen(&actions, 1, dir.File("out.txt").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (terminal.empty()) {
            posix_spawn_file_actions_addopen(&actions, 2, dir.File("err.txt").c_str(),
                                             O_WRONLY | O_CREAT | O_TRUNC, 0644);
        } else {
            WriteFileAtomic(dir.File("err.txt"), "");
            posix_spawn_file_actions_addopen(&actions, 0, terminal.c_str(), O_RDWR, 0);
            posix_spawn_file_actions_addopen(&actions, 2, terminal.c_str(), O_RDWR, 0);
        }
        pid_t pid = -1;
        EXPECT_EQ(posix_spawn(&pid, cargv[0], &actions, nullptr, cargv.data(), cenv.data()), 0);
        posix_spawn_file_actions_destroy(&actions);
        return pid;
    }

    Outcome Wait(pid_t pid) {
        Outcome run;
        int status = 0;
        ::waitpid(pid, &status, 0);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        run.out = ReadFileBytes(dir.File("out.txt"));
        run.err = ReadFileBytes(dir.File("err.txt"));
        return run;
    }

    Outcome Execute(const std::vector<std::string>& args) { return Wait(Spawn(args)); }

    // More variables for the runs, as NAME=VALUE.
    std::vector<std::string> environment;

    std::vector<std::string> DownloadArgs(const std::string& left = "116.3",
                                          const std::string& name = "area.tsln") {
        return {"download",
                "--name",
                name,
                "--type",
                "map",
                "--left",
                left,
                "--right",
                "116.5",
                "--top",
                "40",
                "--bottom",
                "39.8",
                "--zoom",
                "13",
                "--path",
                dir.File("maps"),
                "--config",
                dir.File("config.ini")};
    }

    // The download of DownloadArgs with `choice` (--source NAME, --url
    // TEMPLATE, ...) in place of --type map.
    std::vector<std::string> SourceArgs(const std::string& name,
                                        const std::vector<std::string>& choice) {
        std::vector<std::string> args = DownloadArgs("116.3", name);
        const auto type = std::find(args.begin(), args.end(), "--type");
        args.erase(type, type + 2);
        args.insert(args.end(), choice.begin(), choice.end());
        return args;
    }

    std::string ServerUrl(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(server->Port()) + path;
    }

    std::vector<std::string> TileFiles(const std::string& task = "area",
                                       const std::string& prefix = "yn") {
        std::vector<std::string> names;
        for (int x = 6742; x <= 6747; ++x) {
            for (int y = 3101; y <= 3107; ++y) {
                names.push_back(dir.File("maps/" + task + "/" + prefix + "_" + std::to_string(x) +
                                         "_" + std::to_string(y) + "_13.png"));
            }
        }
        return names;
    }

    test::TempDir dir;
    std::unique_ptr<tileserver::TileServer> server;
    // The current folder of the programs started; empty: this process's.
    std::string workingFolder;
    // The terminal of their standard input and error (see PseudoTerminal);
    // empty: no input, and standard error to a file.
    std::string terminal;
};

}  // namespace tessellon
