// The Windows programs' DLL search, kept to System32.
// SPDX-License-Identifier: MIT
#include "app/win32/systemdll.h"

#include <string>

namespace dadaviru::win32 {

void Dll_Suche_beschraenken() {
    // Looked up, not imported: a program importing it would not even start on a Windows 7 that lacks it.
    using Setzer = BOOL(WINAPI*)(DWORD);
    const auto setzen = reinterpret_cast<Setzer>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (setzen) setzen(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

Modulgriff Systemdll_laden(const wchar_t* name) {
    wchar_t ordner[MAX_PATH];
    const UINT laenge = GetSystemDirectoryW(ordner, MAX_PATH);
    if (laenge == 0 || laenge >= MAX_PATH) return Modulgriff();
    const std::wstring pfad = std::wstring(ordner, laenge) + L'\\' + name;
    // A full path is never searched for; the altered search takes the DLL's own imports from its
    // folder first, and all of them are there.
    return Modulgriff(LoadLibraryExW(pfad.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

}  // namespace dadaviru::win32
