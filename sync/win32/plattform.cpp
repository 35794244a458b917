// The clock, conversions and file lookup of a Windows build.
#include "sync/win32/dateien_win32.h"
#include "sync/win32/uhr_win32.h"
#include "sync/win32/umwandlung_win32.h"

namespace dadaviru {

Plattform& System() {
    static win32::Umwandlung_Win32 umwandlung;
    static win32::Systemuhr systemuhr;
    static win32::Uhr_Win32 uhr(systemuhr);
    static win32::Dateien_Win32 dateien;
    static Plattform plattform{umwandlung, uhr, dateien};
    return plattform;
}

}  // namespace dadaviru
