// The program's one window: which event starts the run, that a process runs it at most once, and
// how the program ends. Every window system turns its native events into these handlers.
// SPDX-License-Identifier: MIT
#include "app/frm_zeit.h"

#include "app/bauwerte.h"
#include "sync/zeit_setzen.h"

namespace dadaviru {

Timer::Timer(Fenstersystem& system, Timer_Name name, int interval, bool an)
    : system_(system), name_(name), interval_(interval), an_(an) {
    anwenden();
}

void Timer::Interval(int millisekunden) {
    interval_ = millisekunden;
    anwenden();
}

void Timer::Enabled(bool an) {
    an_ = an;
    anwenden();
}

// A timer with an interval of 0 does not tick, even when enabled.
void Timer::anwenden() {
    if (an_ && interval_ > 0)
        system_.Timer_starten(name_, interval_);
    else
        system_.Timer_anhalten(name_);
}

frm_Zeit::frm_Zeit(Startmodus modus, Inet_Dienst& inet, Fenstersystem& system, Plattform& plattform)
    : modus_(modus),
      Inet_Zeit(inet),
      system_(system),
      plattform_(plattform),
      Timer_ende(system, Timer_Name::Timer_ende, 10, false) {}

void frm_Zeit::Laden() {
    // Timer_start keeps ticking after its first tick, as a form's timer does; later ticks start nothing.
    if (modus_ == Startmodus::nach_Wartezeit) Timer_start.emplace(system_, Timer_Name::Timer_start, Wartezeit_ms, true);
    Form_Load();
    system_.Zeigen();
}

void frm_Zeit::Form_Load() {
    if (modus_ == Startmodus::beim_Laden) synchronisieren();
}

void frm_Zeit::Timer_start_Timer() {
    if (modus_ == Startmodus::nach_Wartezeit) synchronisieren();
}

void frm_Zeit::Timer_ende_Timer() { system_.Beenden(); }

void frm_Zeit::Schliessen() {
    if (im_lauf_)
        schliessen_angefragt_ = true;
    else
        system_.Beenden();
}

// One process does at most one run, whatever ticks arrive during or after it.
void frm_Zeit::synchronisieren() {
    if (lauf_begonnen_) return;
    lauf_begonnen_ = true;
    im_lauf_ = true;
    Zeit_setzen(Inet_Zeit, Timer_ende, plattform_);
    im_lauf_ = false;
    if (schliessen_angefragt_) system_.Beenden();
}

}  // namespace dadaviru
