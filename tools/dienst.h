// The time service's HTTP server: options, listening socket, the event loops and every bound on clients.
// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace zeitdienst {

struct Einstellungen {
    std::string adresse = "127.0.0.1";
    long port = 8123;
    std::string zone;  // empty: the process's own (TZ, else the machine's)
    bool sofort = false;
    std::string protokoll;  // access log: a file, "-" for stdout, empty for none
    long verbindungen_hoechstens = 16384;
    long kopf_frist_ms = 5000;
    long kopf_hoechstens = 8192;
    long faeden = 0;  // 0: one per core
};

// Runs the whole program: reads the options, serves until told to stop, and returns the exit status.
int hauptprogramm(int argc, char** argv);

}  // namespace zeitdienst
