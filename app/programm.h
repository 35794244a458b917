// The entry point shared by both programs: they differ only in their start mode.
#pragma once

#include "app/frm_zeit.h"

namespace dadaviru {

// Loads frm_Zeit and runs the window system's event loop until the program ends.
// Each platform implements it; the command line is never read.
int Programm_starten(Startmodus modus);

}  // namespace dadaviru
