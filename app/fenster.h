// What a window system provides to frm_Zeit: its timers, showing the window, and ending the process.
// SPDX-License-Identifier: MIT
#pragma once

namespace dadaviru {

enum class Timer_Name { Timer_start, Timer_ende };

// The window system calls frm_Zeit's handlers; frm_Zeit drives the window system through this.
class Fenstersystem {
public:
    virtual ~Fenstersystem() = default;
    // Starts (or restarts) the timer to tick every `millisekunden` until it is stopped.
    virtual void Timer_starten(Timer_Name timer, int millisekunden) = 0;
    virtual void Timer_anhalten(Timer_Name timer) = 0;
    // Shows the window; without a display there is none, and this does nothing.
    virtual void Zeigen() = 0;
    // Ends the process at once with status 0; no clean-up runs and nothing is saved.
    virtual void Beenden() = 0;
};

}  // namespace dadaviru
