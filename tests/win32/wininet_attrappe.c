// A WININET.DLL as an attacker would plant it beside an installed program, for the installer test:
// loaded anywhere, it leaves C:\gepflanzt.txt behind. It exports nothing of WinINet's.
// SPDX-License-Identifier: MIT
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE modul, DWORD grund, LPVOID reserviert) {
    (void)modul;
    (void)reserviert;
    if (grund == DLL_PROCESS_ATTACH) {
        HANDLE spur = CreateFileW(L"C:\\gepflanzt.txt", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        if (spur != INVALID_HANDLE_VALUE) CloseHandle(spur);
    }
    return TRUE;
}
