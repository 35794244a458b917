// Dadaviru: synchronises the clock while its window loads, then ends.
#include "app/programm.h"

int main() { return dadaviru::Programm_starten(dadaviru::Startmodus::beim_Laden); }
