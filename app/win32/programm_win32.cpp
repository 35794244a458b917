// Starts either program on Windows: the window, created hidden, frm_Zeit with the WinINet
// client, and the message loop.
#include <windows.h>

#include "app/programm.h"
#include "app/win32/fenster_win32.h"
#include "app/win32/inet_wininet.h"

namespace dadaviru {

int Programm_starten(Startmodus modus, int, char**) {
    Inet_Wininet inet;
    Fenstersystem_Win32 system(GetModuleHandleW(nullptr));
    frm_Zeit form(modus, inet, system);
    system.verbinden(form);
    form.Laden();
    return system.Schleife();
}

}  // namespace dadaviru
