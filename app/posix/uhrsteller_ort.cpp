// Where the helper uhrsteller lies, fixed when a program is linked, as its time services are: its
// install path in the programs as shipped, which hand it an empty environment; the build's own in
// the loopback programs of the tests, which also hand it the clock interposer's variables, so that
// the tests see its writes.
// SPDX-License-Identifier: MIT
#include <string>
#include <vector>

namespace dadaviru {
extern const char* const Uhrsteller_Pfad;
extern const std::vector<std::string> Uhrsteller_Umgebung;

const char* const Uhrsteller_Pfad = DADAVIRU_UHRSTELLER_PFAD;
#ifdef DADAVIRU_UHRSTELLER_MIT_UHRATTRAPPE
const std::vector<std::string> Uhrsteller_Umgebung = {"LD_PRELOAD", "UHRATTRAPPE_PROTOKOLL", "UHRATTRAPPE_GEMEINSAM",
                                                      "ASAN_OPTIONS"};
#else
const std::vector<std::string> Uhrsteller_Umgebung;
#endif
}  // namespace dadaviru
