// The time service's HTTP server: options, listening socket, the event loops and every bound on clients.
// zeitdienst is its public face; pruefdienst adds the fault modes the tests need.
// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
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

    // Fault modes, only in pruefdienst.
    std::string port_datei;
    long ende_nach_s = 0;  // 0: until SIGTERM/SIGINT
    std::optional<std::string> fester_text;
    long status = 200;
    long verzoegerung_ms = 0;
    long tropfen_ms = 0;
    long gross_mib = 0;
    std::string umleitung;
};

// Runs the whole program: reads the options (the fault modes only when asked), serves until told
// to stop, and returns the exit status.
int hauptprogramm(int argc, char** argv, bool pruefmodi);

}  // namespace zeitdienst
