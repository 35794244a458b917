// Dadaviru_Autostart: shows its window, synchronises the clock 30 seconds later, then ends.
// SPDX-License-Identifier: MIT
#include "app/programm.h"

int main(int argc, char** argv) { return dadaviru::Programm_starten(dadaviru::Startmodus::nach_Wartezeit, argc, argv); }
