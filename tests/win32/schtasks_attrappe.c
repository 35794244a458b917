// Stands in for schtasks.exe in the installer test, as Wine's Task Scheduler is incomplete: appends
// its command line to C:\schtasks.log and keeps a copy of a task definition it is handed.
// SPDX-License-Identifier: MIT
#include <windows.h>

#include <stdio.h>

int wmain(int anzahl, wchar_t** argumente) {
    const wchar_t* zeile = GetCommandLineW();
    char utf8[4096];
    const int laenge = WideCharToMultiByte(CP_UTF8, 0, zeile, -1, utf8, sizeof utf8, NULL, NULL);
    FILE* protokoll = _wfopen(L"C:\\schtasks.log", L"ab");
    if (!protokoll || laenge <= 0) return 1;
    fprintf(protokoll, "%s\n", utf8);
    fclose(protokoll);

    for (int i = 1; i + 1 < anzahl; ++i)
        if (lstrcmpiW(argumente[i], L"/XML") == 0 && !CopyFileW(argumente[i + 1], L"C:\\aufgabe.xml", FALSE)) return 1;
    return 0;
}
