// Where the Windows programs load DLLs from: the system's folder only, so that a DLL planted in
// the program's folder or the working folder is never loaded in place of Windows' own.
// SPDX-License-Identifier: MIT
#pragma once

#include <windows.h>

#include "sync/win32/griff.h"

namespace dadaviru::win32 {

struct Modul_Art {
    using Typ = HMODULE;
    static Typ leer() { return nullptr; }
    static void schliessen(Typ h) { FreeLibrary(h); }
};
using Modulgriff = Griff<Modul_Art>;

// Every later load in the process, Windows' own included, searches System32 only. The first thing
// each program does. Windows 7 has it only with KB2533623; without it nothing changes, and the
// programs still run.
void Dll_Suche_beschraenken();

// `name` (such as L"wininet.dll") from System32, by its full path, with its own imports taken from
// System32 first; empty when it cannot be loaded.
Modulgriff Systemdll_laden(const wchar_t* name);

}  // namespace dadaviru::win32
