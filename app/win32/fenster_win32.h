// frm_Zeit as a Win32 window: its class with the design values, window timers, and native
// messages turned into the form's handlers.
// SPDX-License-Identifier: MIT
#pragma once

#include <windows.h>

#include <functional>

#include "app/fenster.h"
#include "app/frm_zeit.h"
#include "sync/win32/griff.h"

namespace dadaviru {

template <class T>
struct Gdi_Art {
    using Typ = T;
    static Typ leer() { return nullptr; }
    static void schliessen(Typ h) { DeleteObject(h); }
};
struct Fenster_Art {
    using Typ = HWND;
    static Typ leer() { return nullptr; }
    static void schliessen(Typ h) { DestroyWindow(h); }
};

class Fenstersystem_Win32 final : public Fenstersystem {
public:
    // Creates the window, not yet shown. `beenden` stands in for ending the process, for tests;
    // without it Beenden ends the process.
    explicit Fenstersystem_Win32(HINSTANCE instanz, std::function<void()> beenden = {});
    ~Fenstersystem_Win32() override;
    Fenstersystem_Win32(const Fenstersystem_Win32&) = delete;
    Fenstersystem_Win32& operator=(const Fenstersystem_Win32&) = delete;

    // The form whose handlers the native messages call.
    void verbinden(frm_Zeit& form) { form_ = &form; }
    // Runs the message loop; the program ends from a handler, never by returning from here.
    int Schleife();
    HWND fenster() const { return fenster_.get(); }

    void Timer_starten(Timer_Name timer, int millisekunden) override;
    void Timer_anhalten(Timer_Name timer) override;
    void Zeigen() override;
    void Beenden() override;

private:
    static LRESULT CALLBACK fensterprozedur(HWND fenster, UINT nachricht, WPARAM w, LPARAM l);
    LRESULT behandeln(HWND fenster, UINT nachricht, WPARAM w, LPARAM l);
    void groesse_setzen(int dpi);

    HINSTANCE instanz_;
    std::function<void()> beenden_;
    frm_Zeit* form_ = nullptr;
    ATOM klasse_ = 0;
    // The window is destroyed and its class unregistered before the brush and font go.
    win32::Griff<Gdi_Art<HBRUSH>> hintergrund_;
    win32::Griff<Gdi_Art<HFONT>> schrift_;
    win32::Griff<Fenster_Art> fenster_;
    bool unsichtbar_ = false;  // a message-only window, when no real one could be created
    HFONT gesetzte_schrift_ = nullptr;
};

}  // namespace dadaviru
