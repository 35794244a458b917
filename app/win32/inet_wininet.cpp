// The window's HTTP client on Windows: a blocking GET with WinINet, with its redirects followed
// here so that each target's scheme is checked, and one deadline for the whole request.
// SPDX-License-Identifier: MIT
#include "app/win32/inet_wininet.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "app/win32/systemdll.h"
#include "sync/win32/utf16.h"

namespace dadaviru {

namespace {

// The WinINet functions the client calls, named once here: each is declared and looked up from it.
// clang-format off
#define DADAVIRU_WININET(X)                                                      \
    X(InternetOpenW) X(InternetCloseHandle) X(InternetCrackUrlW)                 \
    X(InternetCombineUrlW) X(InternetConnectW) X(InternetSetOptionW)             \
    X(InternetQueryDataAvailable) X(InternetReadFile) X(HttpOpenRequestW)        \
    X(HttpSendRequestW) X(HttpQueryInfoW)
// clang-format on

// Those functions, from the system's copy.
struct Wininet {
    win32::Modulgriff modul;
#define DADAVIRU_ZEIGER(name) decltype(&::name) name = nullptr;
    DADAVIRU_WININET(DADAVIRU_ZEIGER)
#undef DADAVIRU_ZEIGER
};

std::unique_ptr<Wininet> wininet_laden() {
    auto w = std::make_unique<Wininet>();
    w->modul = win32::Systemdll_laden(L"wininet.dll");
    if (!w->modul) return nullptr;
    bool vollstaendig = true;
#define DADAVIRU_HOLEN(name)                                                                                      \
    w->name =                                                                                                     \
        reinterpret_cast<decltype(w->name)>(reinterpret_cast<void (*)()>(GetProcAddress(w->modul.get(), #name))); \
    vollstaendig = vollstaendig && w->name;
    DADAVIRU_WININET(DADAVIRU_HOLEN)
#undef DADAVIRU_HOLEN
    if (!vollstaendig) return nullptr;
    return w;
}

// Null when the system's copy is missing or lacks a function. Loaded once and never unloaded:
// WinINet runs threads of its own, which must not outlive its code.
const Wininet* wininet() {
    static const Wininet* const geladen = wininet_laden().release();
    return geladen;
}
#undef DADAVIRU_WININET

using Stoppuhr = std::chrono::steady_clock;

constexpr DWORD anfrage_flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_AUTO_REDIRECT |
                                INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI;

// Longer URLs than this are no time service's; a Location header is refused beyond it as well.
constexpr DWORD laengste_url = 8 * 1024;

// What a hop needs of its URL. Only http and https get this far.
struct Ziel {
    bool https = false;
    std::wstring host, nutzer, kennwort, pfad;
    INTERNET_PORT port = 0;
};

std::wstring teil(const wchar_t* anfang, DWORD laenge) {
    return anfang ? std::wstring(anfang, laenge) : std::wstring();
}

std::optional<Ziel> zerlegen(const std::wstring& url) {
    URL_COMPONENTSW teile{};
    teile.dwStructSize = sizeof teile;
    // Lengths other than 0 without buffers: the parts are pointed to inside `url`.
    teile.dwSchemeLength = teile.dwHostNameLength = teile.dwUserNameLength = teile.dwPasswordLength = 1;
    teile.dwUrlPathLength = teile.dwExtraInfoLength = 1;
    if (!wininet()->InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &teile)) return std::nullopt;
    if (teile.nScheme != INTERNET_SCHEME_HTTP && teile.nScheme != INTERNET_SCHEME_HTTPS) return std::nullopt;
    Ziel ziel;
    ziel.https = teile.nScheme == INTERNET_SCHEME_HTTPS;
    ziel.host = teil(teile.lpszHostName, teile.dwHostNameLength);
    if (ziel.host.empty()) return std::nullopt;
    ziel.port = teile.nPort;
    ziel.nutzer = teil(teile.lpszUserName, teile.dwUserNameLength);
    ziel.kennwort = teil(teile.lpszPassword, teile.dwPasswordLength);
    // Path and query go to the server; a fragment stays with the client.
    ziel.pfad = teil(teile.lpszUrlPath, teile.dwUrlPathLength) + teil(teile.lpszExtraInfo, teile.dwExtraInfoLength);
    ziel.pfad = ziel.pfad.substr(0, ziel.pfad.find(L'#'));
    if (ziel.pfad.empty() || ziel.pfad.front() != L'/') ziel.pfad.insert(0, 1, L'/');
    return ziel;
}

// Whole milliseconds left until `frist`, at least 1 while any time is left, 0 when none is.
DWORD verbleibend(Stoppuhr::time_point frist) {
    const auto rest = std::chrono::ceil<std::chrono::milliseconds>(frist - Stoppuhr::now()).count();
    return rest > 0 ? static_cast<DWORD>(rest) : 0;
}

void zeitlimit_setzen(HINTERNET griff, DWORD option, DWORD millisekunden) {
    wininet()->InternetSetOptionW(griff, option, &millisekunden, sizeof millisekunden);
}

std::optional<DWORD> status_lesen(HINTERNET anfrage) {
    DWORD status = 0;
    DWORD laenge = sizeof status;
    if (!wininet()->HttpQueryInfoW(anfrage, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &laenge, nullptr))
        return std::nullopt;
    return status;
}

bool ist_umleitung(DWORD status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::optional<std::wstring> ziel_lesen(HINTERNET anfrage) {
    std::wstring ort(1024, L'\0');
    DWORD laenge = static_cast<DWORD>(ort.size() * sizeof(wchar_t));
    if (!wininet()->HttpQueryInfoW(anfrage, HTTP_QUERY_LOCATION, ort.data(), &laenge, nullptr)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || laenge / sizeof(wchar_t) > laengste_url) return std::nullopt;
        ort.assign(laenge / sizeof(wchar_t) + 1, L'\0');
        laenge = static_cast<DWORD>(ort.size() * sizeof(wchar_t));
        if (!wininet()->HttpQueryInfoW(anfrage, HTTP_QUERY_LOCATION, ort.data(), &laenge, nullptr)) return std::nullopt;
    }
    ort.resize(laenge / sizeof(wchar_t));
    if (ort.empty()) return std::nullopt;
    return ort;
}

// A relative Location is taken against the URL it came from.
std::optional<std::wstring> zusammensetzen(const std::wstring& basis, const std::wstring& ort) {
    std::wstring url(laengste_url + 1, L'\0');
    DWORD laenge = static_cast<DWORD>(url.size());
    if (!wininet()->InternetCombineUrlW(basis.c_str(), ort.c_str(), url.data(), &laenge, ICU_NO_ENCODE))
        return std::nullopt;
    url.resize(laenge);
    return url;
}

// The body, read under the deadline. A synchronous read waits until its buffer is full, so each
// read asks only for what has already arrived; and before each wait for more, the time-out shrinks
// to the time that is left. A server that sends a byte now and then cannot stretch the request.
std::optional<std::string> koerper_lesen(HINTERNET anfrage, Stoppuhr::time_point frist) {
    std::string koerper;
    char puffer[16 * 1024];
    for (;;) {
        const DWORD rest = verbleibend(frist);
        if (rest == 0) return std::nullopt;
        zeitlimit_setzen(anfrage, INTERNET_OPTION_RECEIVE_TIMEOUT, rest);
        DWORD verfuegbar = 0;
        if (!wininet()->InternetQueryDataAvailable(anfrage, &verfuegbar, 0, 0)) return std::nullopt;
        if (verfuegbar == 0) return koerper;  // the end of the body
        DWORD gelesen = 0;
        if (!wininet()->InternetReadFile(anfrage, puffer, std::min<DWORD>(verfuegbar, sizeof puffer), &gelesen))
            return std::nullopt;
        if (gelesen == 0) return koerper;
        if (gelesen > Inet_hoechste_Antwort - koerper.size()) return std::nullopt;
        koerper.append(puffer, gelesen);
    }
}

// A fetch's body, when it was whole, and the handles it came through, which close only after the
// answer has been handed on: closing them costs time that would count as the answer's age.
struct Geholt {
    std::optional<std::string> koerper;
    std::chrono::steady_clock::time_point angekommen;
    Inet_Griff verbindung, anfrage;
};

// The hops of one fetch, synchronous, on the thread of its own that OpenURL starts.
Geholt holen(HINTERNET sitzung, std::optional<std::wstring> aktuell, Stoppuhr::time_point frist,
             const std::atomic<bool>& aufgegeben) {
    for (long umleitungen = 0;; ++umleitungen) {
        const auto ziel = zerlegen(*aktuell);
        if (!ziel) return {};
        const DWORD rest = verbleibend(frist);
        if (rest == 0 || aufgegeben) return {};

        Inet_Griff verbindung(wininet()->InternetConnectW(
            sitzung, ziel->host.c_str(), ziel->port, ziel->nutzer.empty() ? nullptr : ziel->nutzer.c_str(),
            ziel->kennwort.empty() ? nullptr : ziel->kennwort.c_str(), INTERNET_SERVICE_HTTP, 0, 0));
        if (!verbindung) return {};
        // The hop's connect, send and wait for the headers each get no more than the time that is
        // left. Set on the connection, before the request exists, so that the request takes them on.
        for (const DWORD option :
             {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT})
            zeitlimit_setzen(verbindung.get(), option, rest);

        const wchar_t* alle_typen[] = {L"*/*", nullptr};
        Inet_Griff anfrage(wininet()->HttpOpenRequestW(verbindung.get(), L"GET", ziel->pfad.c_str(), nullptr, nullptr,
                                                       alle_typen,
                                                       anfrage_flags | (ziel->https ? INTERNET_FLAG_SECURE : 0), 0));
        if (!anfrage || !wininet()->HttpSendRequestW(anfrage.get(), nullptr, 0, nullptr, 0)) return {};

        // Given up by now: whatever came, nobody waits for it.
        const auto status = aufgegeben ? std::nullopt : status_lesen(anfrage.get());
        if (!status) return {};
        if (ist_umleitung(*status)) {
            if (umleitungen == Inet_hoechste_Umleitungen) return {};
            const auto ort = ziel_lesen(anfrage.get());
            if (!ort) return {};
            aktuell = zusammensetzen(*aktuell, *ort);
            if (!aktuell) return {};
            // Up from http to https, never down: what a service sends over https must not be
            // handed to whoever sits on the plain way to another.
            const auto naechstes = zerlegen(*aktuell);
            if (ziel->https && naechstes && !naechstes->https) return {};
            continue;  // the next hop checks the new URL's scheme
        }
        if (*status < 200 || *status > 299) return {};
        auto koerper = koerper_lesen(anfrage.get(), frist);
        return {std::move(koerper), std::chrono::steady_clock::now(), std::move(verbindung), std::move(anfrage)};
    }
}

// One fetch, shared by the caller, who waits for it until the deadline, and the thread that runs
// it, which may outlive that wait.
struct Abruf {
    std::mutex schloss;
    std::condition_variable fertig_meldung;
    bool fertig = false;
    std::optional<std::string> antwort;
    std::chrono::steady_clock::time_point angekommen;
    std::atomic<bool> aufgegeben{false};
};

}  // namespace

// Every WinINet handle comes from a session, and there is none unless WinINet was loaded: so past
// the constructor, wininet() is never null.
void Inet_Art::schliessen(Typ h) { wininet()->InternetCloseHandle(h); }

Inet_Wininet::Inet_Wininet(std::chrono::milliseconds zeitlimit) : zeitlimit_(zeitlimit) {
    if (!wininet()) return;
    const std::wstring kennung(Inet_Kennung, Inet_Kennung + std::strlen(Inet_Kennung));
    sitzung_ = std::make_shared<const Inet_Griff>(
        wininet()->InternetOpenW(kennung.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
}

// WinINet's time-outs count each wait for bytes on its own, so a service that trickles its head a
// byte at a time holds a synchronous call as long as it likes; closing the request's handle from
// another thread ends such a call on Windows, but not under Wine, and a handle closed under a call
// still running is a number the next handle may get. So the fetch runs on a thread of its own with
// handles only it closes, and the caller stops waiting at the deadline. A thread given up ends at
// its next step, or when its call does; it holds the session until then.
std::optional<std::string> Inet_Wininet::OpenURL(const std::string& url) {
    angekommen_.reset();
    if (!sitzung_ || !*sitzung_) return std::nullopt;
    auto aktuell = win32::Utf16(url);
    if (!aktuell || aktuell->size() > laengste_url) return std::nullopt;

    const auto frist = Stoppuhr::now() + zeitlimit_;
    const auto abruf = std::make_shared<Abruf>();
    try {
        std::thread([abruf, sitzung = sitzung_, aktuell = std::move(aktuell), frist]() mutable {
            auto geholt = holen(sitzung->get(), std::move(aktuell), frist, abruf->aufgegeben);
            const std::lock_guard sperre(abruf->schloss);
            abruf->antwort = std::move(geholt.koerper);
            abruf->angekommen = geholt.angekommen;
            abruf->fertig = true;
            abruf->fertig_meldung.notify_one();
        }).detach();
    } catch (const std::system_error&) {
        return std::nullopt;
    }
    std::unique_lock sperre(abruf->schloss);
    if (!abruf->fertig_meldung.wait_until(sperre, frist, [&] { return abruf->fertig; })) {
        abruf->aufgegeben = true;
        return std::nullopt;
    }
    if (abruf->antwort) angekommen_ = abruf->angekommen;
    return std::move(abruf->antwort);
}

}  // namespace dadaviru
