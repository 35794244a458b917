// The entry point shared by both programs: they differ only in their start mode.
// SPDX-License-Identifier: MIT
#pragma once

#include "app/frm_zeit.h"

namespace dadaviru {

// Loads frm_Zeit and runs the window system's event loop until the program ends. Each platform
// implements it; on Linux --help, -h and --version answer instead, and every other argument is
// ignored, as the whole command line is on Windows.
int Programm_starten(Startmodus modus, int argc, char** argv);

}  // namespace dadaviru
