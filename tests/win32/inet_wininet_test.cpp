// The WinINet client in the HTTP client's tests.
// SPDX-License-Identifier: MIT
#include "app/win32/inet_wininet.h"

#include <psapi.h>

#include <chrono>
#include <memory>

#include "inet_dienste.h"

namespace dadaviru::test {

std::unique_ptr<Inet_Dienst> Inet_neu(std::chrono::milliseconds zeitlimit) {
    return std::make_unique<Inet_Wininet>(zeitlimit);
}

std::size_t Hoechster_Speicher() {
    PROCESS_MEMORY_COUNTERS zaehler{};
    zaehler.cb = sizeof zaehler;
    GetProcessMemoryInfo(GetCurrentProcess(), &zaehler, sizeof zaehler);
    return zaehler.PeakPagefileUsage;
}

}  // namespace dadaviru::test
