// Owning wrappers for Windows handles, so every handle Dadaviru opens is closed on every path.
// SPDX-License-Identifier: MIT
#pragma once

#include <windows.h>

#include <utility>

namespace dadaviru::win32 {

// `Art` names the handle's type, its empty value and how it is closed. Each kind of handle has
// its own empty value (INVALID_HANDLE_VALUE for files and searches, NULL for the rest).
template <class Art>
class Griff {
public:
    using Typ = typename Art::Typ;

    Griff() = default;
    explicit Griff(Typ wert) : wert_(wert) {}
    ~Griff() { freigeben(); }
    Griff(Griff&& anderer) noexcept : wert_(std::exchange(anderer.wert_, Art::leer())) {}
    Griff& operator=(Griff&& anderer) noexcept {
        if (this != &anderer) {
            freigeben();
            wert_ = std::exchange(anderer.wert_, Art::leer());
        }
        return *this;
    }
    Griff(const Griff&) = delete;
    Griff& operator=(const Griff&) = delete;

    Typ get() const { return wert_; }
    explicit operator bool() const { return wert_ != Art::leer(); }
    void reset(Typ wert = Art::leer()) {
        freigeben();
        wert_ = wert;
    }

private:
    void freigeben() {
        if (wert_ != Art::leer()) Art::schliessen(wert_);
    }
    Typ wert_ = Art::leer();
};

// Files from CreateFileW.
struct Datei_Art {
    using Typ = HANDLE;
    static Typ leer() { return INVALID_HANDLE_VALUE; }
    static void schliessen(Typ h) { CloseHandle(h); }
};
// Tokens, threads and other kernel objects that are NULL when missing.
struct Kern_Art {
    using Typ = HANDLE;
    static Typ leer() { return nullptr; }
    static void schliessen(Typ h) { CloseHandle(h); }
};
// Directory searches from FindFirstFileW.
struct Suche_Art {
    using Typ = HANDLE;
    static Typ leer() { return INVALID_HANDLE_VALUE; }
    static void schliessen(Typ h) { FindClose(h); }
};

using Dateigriff = Griff<Datei_Art>;
using Kerngriff = Griff<Kern_Art>;
using Suchgriff = Griff<Suche_Art>;

}  // namespace dadaviru::win32
