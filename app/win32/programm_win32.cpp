// Starts either program on Windows: the clock, conversions and lookup of Windows, the window,
// created hidden, frm_Zeit with the WinINet client, and the message loop.
// SPDX-License-Identifier: MIT
#include <windows.h>

#include "app/programm.h"
#include "app/win32/fenster_win32.h"
#include "app/win32/inet_wininet.h"
#include "app/win32/systemdll.h"
#include "sync/win32/dateien_win32.h"
#include "sync/win32/uhr_win32.h"
#include "sync/win32/umwandlung_win32.h"

namespace dadaviru {

int Programm_starten(Startmodus modus, int, char**) {
    // Before anything loads a DLL by name, WinINet and whatever Windows loads for the window included.
    win32::Dll_Suche_beschraenken();
    win32::Umwandlung_Win32 umwandlung;
    win32::Systemuhr systemuhr;
    win32::Uhr_Win32 uhr(systemuhr);
    win32::Dateien_Win32 dateien;
    Plattform plattform{umwandlung, uhr, dateien};
    Inet_Wininet inet;
    Fenstersystem_Win32 system(GetModuleHandleW(nullptr));
    frm_Zeit form(modus, inet, system, plattform);
    system.verbinden(form);
    form.Laden();
    return system.Schleife();
}

}  // namespace dadaviru
