// Stands in for schtasks.exe in the installer test, as Wine's Task Scheduler is incomplete: appends
// its command line to C:\schtasks.log and keeps the one task it knows as C:\aufgabe.xml, the
// definition /Create /XML hands it, until /Delete removes it again.
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

    for (int i = 1; i < anzahl; ++i) {
        if (i + 1 < anzahl && lstrcmpiW(argumente[i], L"/XML") == 0 &&
            !CopyFileW(argumente[i + 1], L"C:\\aufgabe.xml", FALSE))
            return 1;
        // Like schtasks, a task that is not there cannot be deleted.
        if (lstrcmpiW(argumente[i], L"/Delete") == 0 && !DeleteFileW(L"C:\\aufgabe.xml")) return 1;
    }
    return 0;
}
