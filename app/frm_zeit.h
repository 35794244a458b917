// The program's one window, written once for every window system: its timers, the start of the
// synchronisation run in each start mode, and the end of the program.
// SPDX-License-Identifier: MIT
#pragma once

#include <optional>

#include "app/fenster.h"
#include "sync/dienste.h"
#include "sync/plattform.h"

namespace dadaviru {

// The window's design values, the same in both programs.
namespace Entwurf {
inline constexpr const char* Caption = "Zudedaruzu";
inline constexpr int Rot = 192, Gruen = 192, Blau = 255;
inline constexpr int Breite_Twips = 1815, Hoehe_Twips = 615;  // client area
// The window draws no text; the font is kept as designed for whatever a later version shows.
inline constexpr const char* Schrift = "Arial";
inline constexpr double Schrift_Punkt = 8.25;
inline constexpr int Schrift_Gewicht = 400;
}  // namespace Entwurf

// 1440 twips make an inch, so at 96 dots per inch a pixel is 15 twips.
constexpr int Twips_zu_Pixel(int twips, int dpi) { return (twips * dpi + 720) / 1440; }

enum class Startmodus {
    beim_Laden,      // Dadaviru: the run happens while the window loads
    nach_Wartezeit,  // Dadaviru_Autostart: the window shows, and the run follows Timer_start's first tick
};

// An interval timer in the manner of a form's timer control: the two properties are kept here,
// the ticking is the window system's.
class Timer final : public Timer_Dienst {
public:
    Timer(Fenstersystem& system, Timer_Name name, int interval, bool an);
    void Interval(int millisekunden) override;
    void Enabled(bool an) override;

private:
    void anwenden();
    Fenstersystem& system_;
    Timer_Name name_;
    int interval_;
    bool an_;
};

class frm_Zeit {
public:
    frm_Zeit(Startmodus modus, Inet_Dienst& inet, Fenstersystem& system, Plattform& plattform);

    // Loads the window: its timers are created, Form_Load runs, and then the window is shown.
    void Laden();

    void Form_Load();
    void Timer_start_Timer();
    void Timer_ende_Timer();
    // The user closes the window. During a run the close waits until the run has returned.
    void Schliessen();

private:
    void synchronisieren();

    Startmodus modus_;
    Inet_Dienst& Inet_Zeit;
    Fenstersystem& system_;
    Plattform& plattform_;
    std::optional<Timer> Timer_start;  // in Dadaviru_Autostart only
    Timer Timer_ende;
    bool lauf_begonnen_ = false;
    bool im_lauf_ = false;
    bool schliessen_angefragt_ = false;
};

}  // namespace dadaviru
