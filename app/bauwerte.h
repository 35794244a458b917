// The values a program is built with, besides its time services (sync/zeit_setzen.h): each program
// links the one set generated for it by cmake/Bauwerte.cmake, so the code is compiled once for
// every build of the programs.
// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace dadaviru {

// "1.01", as the project names it.
extern const char* const Version;
// The HTTP client's User-Agent.
extern const char* const Inet_Kennung;
// Timer_start's interval.
extern const int Wartezeit_ms;
// One request, from connect to last byte, may take this long.
extern const std::chrono::milliseconds Inet_Zeitlimit;

#ifndef _WIN32
// Where the helper uhrsteller lies, and which of the environment's variables it is handed; it gets
// no others.
extern const char* const Uhrsteller_Pfad;
extern const std::vector<std::string> Uhrsteller_Umgebung;
#endif

}  // namespace dadaviru
