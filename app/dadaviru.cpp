// Dadaviru: synchronises the clock while its window loads, then ends.
// SPDX-License-Identifier: MIT
#include "app/programm.h"

int main(int argc, char** argv) { return dadaviru::Programm_starten(dadaviru::Startmodus::beim_Laden, argc, argv); }
