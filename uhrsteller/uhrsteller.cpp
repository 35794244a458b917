// uhrsteller: sets the clock to the one instant it is given, and does nothing else. In a build with
// the file capability it is the only one of Dadaviru's programs that may hold CAP_SYS_TIME, so no
// process that loads GTK, or anything else from the user's environment, ever holds it.
// SPDX-License-Identifier: MIT
#include <unistd.h>

#include <ctime>

#include "uhrsteller.h"

int main(int argc, char** argv) {
    dadaviru::posix::Gruppenbuch_Nss buch;
    dadaviru::posix::Prozessrechte_Libcap rechte;
    const dadaviru::posix::Uhrzugriff uhr{[] {
                                              timespec t{};
                                              clock_gettime(CLOCK_MONOTONIC, &t);
                                              return t;
                                          },
                                          [](const timespec& t) { return clock_settime(CLOCK_REALTIME, &t) == 0; }};
    return dadaviru::posix::Uhrsteller(argc, argv, {getuid(), buch}, rechte, uhr);
}
