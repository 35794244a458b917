// Starts the time service (its test build) on a free loopback port for the length of one test.
// SPDX-License-Identifier: MIT
#pragma once

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace dadaviru::test {

class Zeitdienst {
public:
    explicit Zeitdienst(std::vector<std::string> optionen) {
        std::vector<std::string> argumente{ZEITDIENST_PFAD, "--port", "0", "--end-after", "120"};
        argumente.insert(argumente.end(), optionen.begin(), optionen.end());
        std::vector<char*> argv;
        for (auto& a : argumente)
            argv.push_back(a.data());
        argv.push_back(nullptr);

        int rohr[2];
        if (pipe(rohr) != 0) throw std::runtime_error("pipe");
        posix_spawn_file_actions_t aktionen;
        posix_spawn_file_actions_init(&aktionen);
        posix_spawn_file_actions_adddup2(&aktionen, rohr[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&aktionen, rohr[0]);
        const int fehler = posix_spawn(&pid_, argv[0], &aktionen, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&aktionen);
        close(rohr[1]);
        if (fehler != 0) {
            close(rohr[0]);
            throw std::runtime_error("zeitdienst did not start");
        }
        // "zeitdienst: listening on 127.0.0.1:PORT"
        std::string zeile;
        pollfd p{rohr[0], POLLIN, 0};
        char c = 0;
        while (zeile.size() < 200 && poll(&p, 1, 10'000) == 1 && read(rohr[0], &c, 1) == 1 && c != '\n')
            zeile += c;
        close(rohr[0]);
        const auto doppelpunkt = zeile.rfind(':');
        if (doppelpunkt == std::string::npos) throw std::runtime_error("zeitdienst said: " + zeile);
        port_ = std::stoi(zeile.substr(doppelpunkt + 1));
    }
    ~Zeitdienst() {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    Zeitdienst(const Zeitdienst&) = delete;
    Zeitdienst& operator=(const Zeitdienst&) = delete;

    std::string url(const std::string& pfad = "/zeit.php") const {
        return "http://127.0.0.1:" + std::to_string(port_) + pfad;
    }

private:
    pid_t pid_ = -1;
    int port_ = 0;
};

}  // namespace dadaviru::test
