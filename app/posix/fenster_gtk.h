// The GTK window's C interface. The window is a module of its own, which the programs load only
// when there is a display, so a run without one never pays for loading GTK; plain C functions
// keep the module from needing any of the program's C++ symbols.
// SPDX-License-Identifier: MIT
#pragma once

extern "C" {

struct dadaviru_gtk_fenster;

// The window with its design values, not yet shown; NULL when no display can be opened.
// `schliessen(nutzer)` runs when the user closes the window or it is destroyed from outside.
dadaviru_gtk_fenster* dadaviru_gtk_oeffnen(const char** symbol_xpm, void (*schliessen)(void* nutzer), void* nutzer);
void dadaviru_gtk_zeigen(dadaviru_gtk_fenster* fenster);

using dadaviru_gtk_oeffnen_t = decltype(&dadaviru_gtk_oeffnen);
using dadaviru_gtk_zeigen_t = decltype(&dadaviru_gtk_zeigen);
}
