// The window's HTTP client on Windows, on WinINet.
// SPDX-License-Identifier: MIT
#pragma once

#include <windows.h>
#include <wininet.h>

#include <chrono>
#include <memory>

#include "app/inet_grenzen.h"
#include "sync/dienste.h"
#include "sync/win32/griff.h"

namespace dadaviru {

struct Inet_Art {
    using Typ = HINTERNET;
    static Typ leer() { return nullptr; }
    static void schliessen(Typ h);
};
using Inet_Griff = win32::Griff<Inet_Art>;

// One WinINet session for the life of the client (and of its fetches still running), so connections carry over from one
// pass to the next. WinINet is loaded from System32 when the first client is made, not imported: it is none of the DLLs
// Windows always takes from there, so an import would be looked for in the program's folder first. Without it, every
// fetch fails. Proxies are the system's (INTERNET_OPEN_TYPE_PRECONFIG); nothing is read from or written to the cache,
// and no cookies are kept.
class Inet_Wininet final : public Inet_Dienst {
public:
    explicit Inet_Wininet(std::chrono::milliseconds zeitlimit = Inet_Zeitlimit);
    // Only http and https, also on redirects (at most Inet_hoechste_Umleitungen); a status outside
    // 2xx, a request that outlasts the time limit or an answer longer than Inet_hoechste_Antwort
    // gives nothing.
    std::optional<std::string> OpenURL(const std::string& url) override;
    // Read on the fetch's thread as the body was whole, before the caller woke and the handles closed.
    std::optional<std::chrono::steady_clock::time_point> Angekommen() const override { return angekommen_; }

private:
    std::chrono::milliseconds zeitlimit_;
    std::optional<std::chrono::steady_clock::time_point> angekommen_;
    // Shared with the fetches still running, which use it until they end.
    std::shared_ptr<const Inet_Griff> sitzung_;
};

}  // namespace dadaviru
